// SPDX-License-Identifier: MIT
#include "updater/updater.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/async/async.hpp"
#include "common/async/main_queue.hpp"
#include "common/midi_io/midi_io.hpp"
#include "updater/hid.hpp"
#include "updater/midi.hpp"
#include "updater/run.hpp"

namespace zal {

const char* kind_name(kind_t kind) {
    switch (kind) {
        case kind_t::ventaro: return "Ventaro";
        case kind_t::ruvo: return "Ruvo";
        default: return "undefined";
    }
}

namespace updater {

namespace {

namespace io = zal::midi::io;

// An English/French pair, chosen by `lang` when it is used.
struct text_t {
    const char* en;
    const char* fr;
    const char* get() const { return lang == lang_t::fr ? fr : en; }
};

// --- module state; all but `phase` and `received_progress` belong to the main thread
std::atomic<phase_t> phase{0};
std::atomic<bool> received_progress{false};
// Advanced by every start. A deferred step runs only in the run that made it:
// comparing phases alone would let a timer of a cancelled run act in the same
// phase of the next run (a stale re-send to a port that no longer exists).
std::atomic<uint32_t> run{0};
bool initialized = false;
bool midi_hid_initialized = false;
update_t update;
std::function<void()> on_midi_update;
// The MIDI input the run attached, detached whenever the run ends: an input left
// attached would keep its old handlers and deafen the next run that attaches it.
std::optional<io::in_t> attached_input;

// The one device a run updates, followed across its reboots: only a bootloader
// or a stage-2 firmware on its USB port is taken for it. Where no port is known,
// no bootloader that was already connected when the device was asked to reboot
// is taken for it.
struct followed_device_t {
    std::string requested_port;  // the caller's choice of device; empty: any
    std::string usb_port;        // the device's port, once the run has chosen it
    std::set<std::string> bootloaders_before_reboot;
    std::string answered_bootloader;  // the first-generation bootloader whose kind the user gave
    bool told_first_generation_left_alone = false;
};
followed_device_t followed;

std::function<void(bool)> device_phases_hook;
bool in_device_phases = false;  // the live run acts on a device
bool hook_told_active = false;

// The run acts on a device from now on, until it ends.
void enter_device_phases() {
    in_device_phases = true;
    if (hook_told_active) return;
    hook_told_active = true;
    if (device_phases_hook) device_phases_hook(true);
}

// A cancelled run's programming worker goes on until sector 0 is whole: the
// device is written until it stops.
void leave_device_phases_when_written() {
    if (in_device_phases || !hook_told_active) return;
    if (main_queue::background_tasks() > 0) {
        async_main(leave_device_phases_when_written, 50);
        return;
    }
    hook_told_active = false;
    if (device_phases_hook) device_phases_hook(false);
}

bool on_requested_port(const std::string& usb_port) {
    return followed.requested_port.empty() || usb_port == followed.requested_port;
}

// The run has chosen its device.
void follow(const std::string& usb_port) {
    followed.usb_port = usb_port;
    if (!usb_port.empty()) std::fprintf(stderr, "The device is on USB port %s.\n", usb_port.c_str());
}

// The followed device is about to restart: the bootloaders connected now are
// someone else's.
void note_bootloaders_before_reboot() {
    followed.bootloaders_before_reboot.clear();
    for (const hid::device_t& d : hid::matching_devices(kind_t::any)) followed.bootloaders_before_reboot.insert(d.path);
}

bool is_followed_bootloader(const hid::device_t& d) {
    if (!followed.usb_port.empty() && !d.usb_port.empty()) return d.usb_port == followed.usb_port;
    return followed.bootloaders_before_reboot.count(d.path) == 0;
}

bool is_followed_midi_device(const midi::device_t& m) {
    return followed.usb_port.empty() || m.usb_port.empty() || m.usb_port == followed.usb_port;
}

const text_t waiting_title_ventaro{"Waiting for the Ventaro...", "En attente du Ventaro..."};
const text_t waiting_title_ruvo{"Waiting for the Ruvo...", "En attente du Ruvo..."};
const text_t keep_connected{
    "Please do not move, turn off, or disconnect the device until the update ends.",
    "Veuillez éviter de déplacer, éteindre ou déconnecter l'appareil avant la fin de la mise à jour."};

void announce(const text_t& title, const text_t& subtitle) { on_announce(title.get(), subtitle.get()); }

const text_t will_continue{"The update will continue in a few moments.",
                           "La mise à jour va continuer dans quelques instants."};

const text_t& waiting_title(kind_t kind) {
    return kind == kind_t::ventaro ? waiting_title_ventaro : waiting_title_ruvo;
}

bool attach_input(const midi::device_t& m, io::on_sysex_t on_sysex, io::on_disconnect_t on_disconnect) {
    if (!io::attach(m.in, {}, std::move(on_sysex), std::move(on_disconnect))) return false;
    attached_input = m.in;
    return true;
}

void detach_input() {
    if (!attached_input) return;
    io::detach(*attached_input);
    attached_input.reset();
}

const std::optional<device_update_t>& device_update_of(kind_t kind) {
    static const std::optional<device_update_t> none;
    return kind == kind_t::ventaro ? update.ventaro : kind == kind_t::ruvo ? update.ruvo : none;
}

void fail(const char* message) { end_run(end_t::failure, kind_t::any, message); }

// A main-thread step of run `of_run`, after `delay_ms`; dropped if another run began.
void post(uint32_t of_run, std::function<void()> step, uint32_t delay_ms = 0) {
    async_main(
        [of_run, step = std::move(step)] {
            if (run == of_run) step();
        },
        delay_ms);
}

// The same for a step of the live run, from the main thread.
void later(std::function<void()> step, uint32_t delay_ms) { post(run, std::move(step), delay_ms); }

// The run goes on without a time limit while it waits for the device. But after
// a minute without news, the user is told what can be done.
constexpr uint32_t no_news_ms = 60000;
const text_t no_news{
    "Still waiting. You can wait, or cancel, turn the device off and on again, and run the update "
    "again: it will finish the job.",
    "Toujours en attente. Vous pouvez patienter, ou annuler, éteindre puis rallumer l'appareil et "
    "relancer la mise à jour : elle ira jusqu'au bout."};
uint32_t news = 0;  // counts what the device said; main thread

// Armed when a waiting phase begins and again at every news.
void tell_what_to_do_without_news(phase_t own, text_t title) {
    later(
        [own, title, seen = news] {
            if (phase == own && news == seen) announce(title, no_news);
        },
        no_news_ms);
}

// Phases 4 and 8: writes an image on the programming worker, in the phase just
// entered; a plan that cannot be built ends the run.
void program(const hid::device_t& d, const firmware_t& image, float offset, float span,
             std::function<void()> continuation) {
    try {
        program_asynchronously_or_fail(d, make_update_plan(image), phase, offset, span, std::move(continuation));
    } catch (const std::exception& e) {
        fail(e.what());
    }
}

// Phases 3 and 7: the rebooted device's bootloader, looked for every 500 ms;
// one of undetermined kind, or another device's, is never taken.
void look_for_rebooted_device(phase_t own, kind_t kind, std::function<void(const hid::device_t&)> found) {
    if (phase != own) return;
    for (const hid::device_t& d : hid::matching_devices(kind)) {
        if (d.kind == kind_t::any || !is_followed_bootloader(d)) continue;
        if (d.usb_port.empty())
            std::fprintf(stderr, "Found the rebooted device as HID.\n");
        else
            std::fprintf(stderr, "Found the rebooted device as HID on USB port %s.\n", d.usb_port.c_str());
        found(d);
        return;
    }
    later([own, kind, found = std::move(found)] { look_for_rebooted_device(own, kind, found); }, 500);
}

// Phases 2 and 6: the attached input went away. A handler of an earlier run
// leaves the live run's attachment alone.
io::on_disconnect_t disconnect_handler(phase_t own) {
    return [own, of_run = run.load()] {
        if (run != of_run) return;
        attached_input.reset();  // the port layer drops the handler itself
        if (phase == own) fail("Device disconnected.");
    };
}

// --- phase 8 -------------------------------------------------------------------
namespace phase8_programming_main_firmware {
void enter(const hid::device_t& d, float start_fraction) {
    const std::optional<device_update_t>& device_update = device_update_of(d.kind);
    if (!device_update || device_update->main.sectors.empty() || device_update->main.flash_map.size == 0) {
        fail("No firmware found.");
        return;
    }
    phase = 8;
    announce({"Updating...", "Mise à jour..."}, keep_connected);
    const kind_t kind = d.kind;
    program(d, device_update->main, start_fraction, 1.0f - start_fraction,
            [kind] { end_run(end_t::success, kind, nullptr); });
}
}  // namespace phase8_programming_main_firmware

// --- phase 7 -------------------------------------------------------------------
namespace phase7_waiting_for_bootloader {
void enter(kind_t kind) {
    phase = 7;
    announce(waiting_title(kind), will_continue);
    tell_what_to_do_without_news(7, waiting_title(kind));
    look_for_rebooted_device(7, kind, [](const hid::device_t& d) { phase8_programming_main_firmware::enter(d, 0.8f); });
}
}  // namespace phase7_waiting_for_bootloader

// --- phase 6 -------------------------------------------------------------------
namespace phase6_waiting_for_stage2_completion {
// A run that finds the device already in its stage-2 firmware (an earlier run
// was cancelled or failed there) cannot know what that firmware is doing; if it
// stays silent this long, only a power cycle restarts it.
constexpr int recovery_requests = 10;
bool recovering = false;
bool received_report = false;

const text_t updating_components{"Updating internal components...", "Mise à jour des composants internes..."};

const text_t silent_stage2{"The device does not answer. Turn it off, then on again, and run the update again.",
                           "L'appareil ne répond pas. Éteignez-le puis rallumez-le, et relancez la mise à jour."};

void send_request(io::out_t out, int sent = 0) {
    if (phase != 6 || received_progress) return;
    if (recovering && !received_report && sent == recovery_requests) {
        fail(silent_stage2.get());
        return;
    }
    if (!io::send(out, midi::stage2_status_request.data(), midi::stage2_status_request.size())) {
        fail("Could not send a MIDI SysEx.");
        return;
    }
    later([out, sent] { send_request(out, sent + 1); }, 1000);
}

void finish(const midi::device_t& m) {
    if (phase != 6) return;
    // Detached first: the device drops its ports as soon as it hears the request.
    detach_input();
    note_bootloaders_before_reboot();
    if (!io::send(m.out, midi::stage2_finish_request.data(), midi::stage2_finish_request.size())) {
        fail("Could not send a MIDI SysEx.");
        return;
    }
    phase7_waiting_for_bootloader::enter(m.kind);
}

// MIDI receive thread: decode, then hand over to the main thread.
void on_sysex(uint32_t of_run, const midi::device_t& m, const uint8_t* body, std::size_t length) {
    if (phase != 6 || run != of_run) return;
    const std::optional<midi::stage2_report_t> report = midi::read_stage2_report(body, length);
    if (!report) return;
    post(of_run, [] {
        received_report = true;
        ++news;
        if (phase == 6) tell_what_to_do_without_news(6, updating_components);
    });
    switch (report->type) {
        case midi::stage2_report_t::type_t::progress: {
            received_progress = true;
            const float value = report->progress;
            post(of_run, [value] {
                if (phase == 6) on_progress(0.2f + 0.6f * value);
            });
            break;
        }
        case midi::stage2_report_t::type_t::error:
            post(of_run, [text = report->text] {
                if (phase == 6) fail(text.c_str());
            });
            break;
        case midi::stage2_report_t::type_t::complete:
            post(
                of_run, [m] { finish(m); }, 500);
            break;
    }
}

// `recovery`: the device was found running its stage-2 firmware at the start.
void enter(const midi::device_t& m, bool recovery = false) {
    enter_device_phases();
    phase = 6;
    received_progress = false;
    recovering = recovery;
    received_report = false;
    announce(updating_components, keep_connected);
    tell_what_to_do_without_news(6, updating_components);
    send_request(m.out);
    if (phase != 6) return;
    const bool attached = attach_input(
        m,
        [m, of_run = run.load()](const uint8_t* body, std::size_t length, bool) { on_sysex(of_run, m, body, length); },
        disconnect_handler(6));
    if (!attached) fail("Could not connect to MIDI device.");
}
}  // namespace phase6_waiting_for_stage2_completion

// --- phase 5 -------------------------------------------------------------------
namespace phase5_waiting_for_stage2_midi_device {
void look_for_midi_device(kind_t kind) {
    if (phase != 5) return;
    const midi::device_t m = midi::first_matching_device(kind, false, is_followed_midi_device);
    if (!m.usable()) return;  // the next setup change brings the next attempt
    std::fprintf(stderr, "Found a matching MIDI device (%s).\n", kind_name(m.kind));
    on_midi_update = nullptr;
    phase6_waiting_for_stage2_completion::enter(m);
}

void enter(kind_t kind) {
    phase = 5;
    announce(waiting_title(kind), will_continue);
    tell_what_to_do_without_news(5, waiting_title(kind));
    on_midi_update = [kind] { look_for_midi_device(kind); };
    look_for_midi_device(kind);
}
}  // namespace phase5_waiting_for_stage2_midi_device

// --- phase 4 -------------------------------------------------------------------
namespace phase4_programming_stage2 {
void enter(const hid::device_t& d) {
    enter_device_phases();
    const std::optional<device_update_t>& device_update = device_update_of(d.kind);
    if (!device_update || !device_update->stage2 || device_update->stage2->sectors.empty()) {
        phase8_programming_main_firmware::enter(d, 0.0f);
        return;
    }
    phase = 4;
    announce({"Preparing to update internal components...", "Préparation de la mise à jour des composants internes..."},
             {"Please do not move, turn off, or disconnect the device.",
              "Veuillez éviter de déplacer, éteindre ou déconnecter l'appareil."});
    const kind_t kind = d.kind;
    program(d, *device_update->stage2, 0.0f, 0.2f, [kind] { phase5_waiting_for_stage2_midi_device::enter(kind); });
}
}  // namespace phase4_programming_stage2

// --- phase 3 -------------------------------------------------------------------
namespace phase3_waiting_for_bootloader {
void enter(kind_t kind) {
    phase = 3;
    announce(waiting_title(kind),
             {"The update will start in a few moments.", "La mise à jour va commencer dans quelques instants."});
    tell_what_to_do_without_news(3, waiting_title(kind));
    look_for_rebooted_device(3, kind, phase4_programming_stage2::enter);
}
}  // namespace phase3_waiting_for_bootloader

// --- phase 2 -------------------------------------------------------------------
namespace phase2_rebooting {
void send_request(io::out_t out) {
    if (phase != 2) return;
    if (!midi::send_bootloader_request(out)) {
        fail("Could not send a MIDI SysEx.");
        return;
    }
    std::fprintf(stderr, "Sent bootloader request.\n");
    later([out] { send_request(out); }, 1000);
}

void on_key(const midi::device_t& m, const midi::bootloader_magic_key_t& key) {
    if (phase != 2) return;
    detach_input();
    std::fprintf(stderr, "Received bootloader request response.\n");
    note_bootloaders_before_reboot();
    if (!midi::send_bootloader_confirmation(m.out, key)) {
        fail("Could not send a MIDI SysEx.");
        return;
    }
    std::fprintf(stderr, "Sent bootloader request confirmation: device rebooted.\n");
    phase3_waiting_for_bootloader::enter(m.kind);
}

void enter(const midi::device_t& m) {
    enter_device_phases();
    phase = 2;
    const bool ventaro = m.kind == kind_t::ventaro;
    announce(ventaro ? text_t{"Rebooting the Ventaro...", "Redémarrage du Ventaro..."}
                     : text_t{"Rebooting the Ruvo...", "Redémarrage du Ruvo..."},
             {"Your device will be rebooted now in order to update it.",
              "Votre appareil va être redémarré pour pouvoir le mettre à jour."});
    send_request(m.out);
    if (phase != 2) return;
    const bool attached = attach_input(
        m,
        [m, of_run = run.load()](const uint8_t* body, std::size_t length, bool) {
            midi::bootloader_magic_key_t key;
            if (key.read(body, length)) post(of_run, [m, key] { on_key(m, key); });
        },
        disconnect_handler(2));
    if (!attached) fail("Could not connect to MIDI device.");
}
}  // namespace phase2_rebooting

// --- phase 1 -------------------------------------------------------------------
namespace phase1_waiting_for_any_device {
// A first-generation bootloader tells no kind, and both products have one: it
// is taken for the asked kind only when no other device of that kind is there.
bool another_candidate_connected(kind_t kind) {
    const midi::device_t running =
        midi::first_matching_device(kind, false, [](const midi::device_t& m) { return on_requested_port(m.usb_port); });
    return running.usable();
}

void look_for_hid_device(kind_t kind) {
    if (phase != 1) return;
    std::vector<hid::device_t> found = hid::matching_devices(kind);
    std::erase_if(found, [](const hid::device_t& d) { return !on_requested_port(d.usb_port); });
    const auto identified = std::find_if(found.begin(), found.end(), [](const auto& d) { return !d.first_generation; });
    hid::device_t d = identified != found.end() ? *identified : found.empty() ? hid::device_t{} : found.front();
    if (d.first_generation && d.kind != kind_t::any && d.path != followed.answered_bootloader &&
        another_candidate_connected(kind)) {
        if (!followed.told_first_generation_left_alone)
            std::fprintf(stderr,
                         "A first-generation bootloader is connected too; it may be another device and is left "
                         "alone.\n");
        followed.told_first_generation_left_alone = true;
        d = {};
    }
    if (d.kind != kind_t::any) {
        std::fprintf(stderr, "Found a matching HID device (%s).\n", kind_name(d.kind));
        follow(d.usb_port);
        phase4_programming_stage2::enter(d);
        return;
    }
    if (!d.path.empty()) {
        const uint32_t asking_run = run;
        const kind_t answer = on_ask_kind_modal();
        if (run != asking_run) return;  // that run ended while the question was open
        if (answer == kind_t::any) {
            cancel();
            return;
        }
        kind = answer;
        followed.answered_bootloader = d.path;  // the user said what it is
    }
    later([kind] { look_for_hid_device(kind); }, 1000);
}

void look_for_midi_device(kind_t kind) {
    if (phase != 1) return;
    const midi::device_t m =
        midi::first_matching_device(kind, false, [](const midi::device_t& d) { return on_requested_port(d.usb_port); });
    if (!m.usable()) {
        later([kind] { look_for_midi_device(kind); }, 5000);
        return;
    }
    std::fprintf(stderr, "Found a matching MIDI device (%s).\n", kind_name(m.kind));
    follow(m.usb_port);
    on_midi_update = nullptr;
    if (midi::runs_stage2_firmware(m)) {
        // Its stage-2 firmware never answers a bootloader request: finish its
        // internal update first, then the main firmware follows as usual.
        std::fprintf(stderr, "The device runs its stage-2 firmware: continuing its update.\n");
        phase6_waiting_for_stage2_completion::enter(m, true);
        return;
    }
    phase2_rebooting::enter(m);
}

void enter(kind_t requested) {
    phase = 1;
    kind_t kind = requested;
    if (update.ventaro && !update.ruvo) kind = kind_t::ventaro;
    if (update.ruvo && !update.ventaro) kind = kind_t::ruvo;
    switch (kind) {
        case kind_t::ventaro:
            announce({"Connect your Ventaro", "Branchez votre Ventaro"},
                     {"Please connect your Ventaro to your computer using a USB cable, and turn it on.",
                      "Veuillez brancher votre Ventaro à votre ordinateur à l'aide d'un câble USB puis l'allumer."});
            break;
        case kind_t::ruvo:
            announce(
                {"Connect your Ruvo receiver", "Branchez votre boîtier Ruvo"},
                {"Please connect your Ruvo receiver to your computer using a USB cable, and turn it on.",
                 "Veuillez brancher votre boîtier Ruvo à votre ordinateur à l'aide d'un câble USB puis l'allumer."});
            break;
        default:
            announce({"Connect your Ventaro or your Ruvo receiver", "Branchez votre Ventaro ou votre boîtier Ruvo"},
                     {"Please connect your Ventaro or your Ruvo receiver to your computer using a USB cable, and turn "
                      "it on.",
                      "Veuillez brancher votre Ventaro ou votre boîtier Ruvo à votre ordinateur à l'aide d'un câble "
                      "USB puis "
                      "l'allumer."});
            break;
    }
    on_midi_update = [kind] { look_for_midi_device(kind); };
    look_for_hid_device(kind);
    look_for_midi_device(kind);
}
}  // namespace phase1_waiting_for_any_device

void on_midi_setup_changed() {
    async_main([] {
        if (initialized && on_midi_update) {
            const std::function<void()> hook = on_midi_update;  // the hook may replace itself
            hook();
        }
    });
}

}  // namespace

phase_t current_phase() { return phase; }

uint32_t current_run() { return run; }

void end_run(end_t end, kind_t kind, const char* message) {
    on_midi_update = nullptr;
    phase = 0;
    initialized = false;
    detach_input();
    in_device_phases = false;
    leave_device_phases_when_written();
    on_end(end, kind, message);
}

bool running() { return initialized; }

void set_device_phases_hook(std::function<void(bool)> hook) { device_phases_hook = std::move(hook); }

bool start(kind_t kind, const update_t& package, const std::string& usb_port) {
    if (initialized) return false;
    on_midi_update = nullptr;
    if (!midi_hid_initialized) {
        if (!hid_io::backend().init())
            throw std::runtime_error(
                text_t{"Could not access USB HID devices.", "Impossible d'accéder aux périphériques USB HID."}.get());
        if (!io::init("VentaroUpdate", on_midi_setup_changed)) {
            hid_io::backend().exit();
            throw std::runtime_error(
                text_t{"Could not access MIDI devices.", "Impossible d'accéder aux périphériques MIDI."}.get());
        }
        midi_hid_initialized = true;
    }
    initialized = true;
    ++run;
    update = package;
    followed = {usb_port, {}, {}, {}, false};
    phase1_waiting_for_any_device::enter(kind);
    return true;
}

void cancel() {
    if (initialized) end_run(end_t::cancelled, kind_t::any, nullptr);
}

void shut_down() {
    cancel();
    main_queue::run_until([] { return main_queue::background_tasks() == 0; });
}

}  // namespace updater
}  // namespace zal
