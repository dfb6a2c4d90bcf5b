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
#include "common/text/marked.hpp"
#include "common/text/printable.hpp"
#include "updater/hid.hpp"
#include "updater/midi.hpp"
#include "updater/programming.hpp"

namespace zal {

const char* kind_name(kind_t kind) {
    switch (kind) {
        case kind_t::ventaro: return "Ventaro";
        case kind_t::ruvo: return "Ruvo";
        default: return "undefined";
    }
}

const char* kind_word(kind_t kind) {
    return kind == kind_t::ventaro ? "ventaro" : kind == kind_t::ruvo ? "ruvo" : "any";
}

std::optional<kind_t> kind_of_word(const std::string& word) {
    if (word == "ventaro") return kind_t::ventaro;
    if (word == "ruvo") return kind_t::ruvo;
    return std::nullopt;
}

namespace updater {

namespace {

namespace io = zal::midi::io;

// The texts a user reads are English; whoever shows them translates them.
const char* const waiting_title_ventaro = ZAL_TEXT("Engine", "Waiting for the Ventaro...");
const char* const waiting_title_ruvo = ZAL_TEXT("Engine", "Waiting for the Ruvo...");
const char* const keep_connected =
    ZAL_TEXT("Engine", "Please do not move, turn off, or disconnect the device until the update ends.");
const char* const will_continue = ZAL_TEXT("Engine", "The update will continue in a few moments.");
const char* const updating_components_title = ZAL_TEXT("Engine", "Updating internal components...");
const char* const silent_stage2 =
    ZAL_TEXT("Engine", "The device does not answer. Turn it off, then on again, and run the update again.");

// The run goes on without a time limit while it waits for the device. But after
// a minute without news, the user is told what can be done.
constexpr uint32_t no_news_ms = 60000;
const char* const no_news =
    ZAL_TEXT("Engine",
             "Still waiting. You can wait, or cancel, turn the device off and on again, and run the update "
             "again: it will finish the job.");

// A run that finds the device already in its stage-2 firmware (an earlier run
// was cancelled or failed there) cannot know what that firmware is doing; if it
// stays silent for this many status requests, only a power cycle restarts it.
constexpr int recovery_requests = 10;

const char* waiting_title(kind_t kind) { return kind == kind_t::ventaro ? waiting_title_ventaro : waiting_title_ruvo; }

// The MIDI and USB HID layers belong to the process: the first run of any
// engine sets them up, and they stay so until exit. The MIDI layer's one
// setup-change hook tells every engine (main thread).
bool device_layers_ready = false;
std::vector<std::weak_ptr<engine_t::run_t>> engines;

void on_midi_setup_changed();

}  // namespace

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

// The engine's state and its phases, in the order a run goes. Everything runs on
// the main thread, except what the MIDI thread and the programming worker read:
// the phase, the run's number and whether stage-2 progress came.
struct engine_t::run_t : std::enable_shared_from_this<engine_t::run_t> {
    explicit run_t(callbacks_t c) : callbacks(std::move(c)) {}

    const callbacks_t callbacks;

    std::atomic<phase_t> phase{phase_t::idle};
    // Advanced by every start, and when a run starts over. A deferred step runs
    // only in the attempt that made it: comparing phases alone would let a timer
    // of a cancelled run act in the same phase of the next run (a stale re-send
    // to a port that no longer exists).
    std::atomic<uint32_t> number{0};
    std::atomic<bool> received_progress{false};

    bool live = false;
    kind_t requested_kind = kind_t::any;
    update_t update;
    followed_device_t followed;
    // What a change of the MIDI setup brings about in the live phase.
    std::function<void()> on_midi_update;
    // The MIDI input the run attached, detached whenever the run ends: an input left
    // attached would keep its old handlers and deafen the next run that attaches it.
    std::optional<io::in_t> attached_input;
    bool in_device_phases = false;  // the live run acts on a device
    bool told_device_phases = false;
    uint32_t news = 0;  // counts what the device said
    bool recovering = false;
    bool received_report = false;

    // --- starting ---------------------------------------------------------------
    void start(kind_t requested, const update_t& package, const std::string& usb_port) {
        live = true;
        ++number;
        requested_kind = requested;
        update = package;
        followed = {usb_port, {}, {}, {}, false};
        wait_for_device(requested);
    }

    // --- waiting_for_device -----------------------------------------------------
    void wait_for_device(kind_t requested) {
        phase = phase_t::waiting_for_device;
        kind_t kind = requested;
        if (update.ventaro && !update.ruvo) kind = kind_t::ventaro;
        if (update.ruvo && !update.ventaro) kind = kind_t::ruvo;
        switch (kind) {
            case kind_t::ventaro:
                announce(ZAL_TEXT("Engine", "Connect your Ventaro"),
                         ZAL_TEXT("Engine",
                                  "Please connect your Ventaro to your computer using a USB cable, and turn it on."));
                break;
            case kind_t::ruvo:
                announce(
                    ZAL_TEXT("Engine", "Connect your Ruvo receiver"),
                    ZAL_TEXT("Engine",
                             "Please connect your Ruvo receiver to your computer using a USB cable, and turn it on."));
                break;
            default:
                announce(
                    ZAL_TEXT("Engine", "Connect your Ventaro or your Ruvo receiver"),
                    ZAL_TEXT("Engine",
                             "Please connect your Ventaro or your Ruvo receiver to your computer using a USB cable, "
                             "and turn it on."));
                break;
        }
        on_midi_update = [this, kind] { look_for_running_device(kind); };
        look_for_bootloader(kind);
        look_for_running_device(kind);
    }

    // A device found waiting in its bootloader is programmed at once; one of
    // undetermined kind makes the user say what it is.
    void look_for_bootloader(kind_t kind) {
        if (phase != phase_t::waiting_for_device) return;
        std::vector<hid::device_t> found = hid::matching_devices(kind);
        std::erase_if(found, [this](const hid::device_t& d) { return !on_requested_port(d.usb_port); });
        const auto identified =
            std::find_if(found.begin(), found.end(), [](const auto& d) { return !d.first_generation; });
        hid::device_t d = identified != found.end() ? *identified : found.empty() ? hid::device_t{} : found.front();
        if (d.first_generation && d.kind != kind_t::any && d.path != followed.answered_bootloader &&
            another_candidate_connected(kind)) {
            if (!followed.told_first_generation_left_alone)
                std::fprintf(stderr,
                             "A first-generation bootloader is connected too; it may be another device and is "
                             "left alone.\n");
            followed.told_first_generation_left_alone = true;
            d = {};
        }
        if (d.kind != kind_t::any) {
            std::fprintf(stderr, "Found a matching HID device (%s).\n", kind_name(d.kind));
            follow(d.usb_port);
            program_stage2(d);
            return;
        }
        if (!d.path.empty()) {
            // The search goes on with the answer.
            callbacks.ask_kind([self = weak_from_this(), of_run = number.load(), path = d.path](kind_t answer) {
                const auto run = self.lock();
                if (!run || run->number != of_run) return;  // that run ended while the question was open
                if (answer == kind_t::any) {
                    run->cancel();
                    return;
                }
                run->followed.answered_bootloader = path;  // the user said what it is
                run->later([r = run.get(), answer] { r->look_for_bootloader(answer); }, 1000);
            });
            return;
        }
        later([this, kind] { look_for_bootloader(kind); }, 1000);
    }

    // A first-generation bootloader tells no kind, and both products have one: it
    // is taken for the asked kind only when no other device of that kind is there.
    bool another_candidate_connected(kind_t kind) const {
        const midi::device_t running = midi::first_matching_device(
            kind, false, [this](const midi::device_t& m) { return on_requested_port(m.usb_port); });
        return running.usable();
    }

    void look_for_running_device(kind_t kind) {
        if (phase != phase_t::waiting_for_device) return;
        const midi::device_t m = midi::first_matching_device(
            kind, false, [this](const midi::device_t& d) { return on_requested_port(d.usb_port); });
        if (!m.usable()) {
            later([this, kind] { look_for_running_device(kind); }, 5000);
            return;
        }
        std::fprintf(stderr, "Found a matching MIDI device (%s).\n", kind_name(m.kind));
        follow(m.usb_port);
        on_midi_update = nullptr;
        if (midi::runs_stage2_firmware(m)) {
            // Its stage-2 firmware never answers a bootloader request: finish its
            // internal update first, then the main firmware follows as usual.
            std::fprintf(stderr, "The device runs its stage-2 firmware: continuing its update.\n");
            update_components(m, true);
            return;
        }
        reboot(m);
    }

    // --- rebooting ----------------------------------------------------------------
    void reboot(const midi::device_t& m) {
        enter_device_phases();
        phase = phase_t::rebooting;
        const bool ventaro = m.kind == kind_t::ventaro;
        announce(ventaro ? ZAL_TEXT("Engine", "Rebooting the Ventaro...") : ZAL_TEXT("Engine", "Rebooting the Ruvo..."),
                 ZAL_TEXT("Engine", "Your device will be rebooted now in order to update it."));
        send_bootloader_request(m.out);
        if (phase != phase_t::rebooting) return;
        const bool attached = attach_input(
            m,
            [self = weak_from_this(), m, of_run = number.load()](const uint8_t* body, std::size_t length, bool) {
                if (auto run = self.lock()) run->on_reboot_sysex(of_run, m, body, length);
            },
            disconnect_handler(phase_t::rebooting));
        if (!attached) fail("Could not connect to MIDI device.");
    }

    void send_bootloader_request(io::out_t out) {
        if (phase != phase_t::rebooting) return;
        if (!midi::send_bootloader_request(out)) {
            fail("Could not send a MIDI SysEx.");
            return;
        }
        std::fprintf(stderr, "Sent bootloader request.\n");
        later([this, out] { send_bootloader_request(out); }, 1000);
    }

    // MIDI receive thread.
    void on_reboot_sysex(uint32_t of_run, const midi::device_t& m, const uint8_t* body, std::size_t length) {
        midi::bootloader_magic_key_t key;
        if (key.read(body, length)) post(of_run, [this, m, key] { on_key(m, key); });
    }

    void on_key(const midi::device_t& m, const midi::bootloader_magic_key_t& key) {
        if (phase != phase_t::rebooting) return;
        detach_input();
        std::fprintf(stderr, "Received bootloader request response.\n");
        note_bootloaders_before_reboot();
        if (!midi::send_bootloader_confirmation(m.out, key)) {
            fail("Could not send a MIDI SysEx.");
            return;
        }
        std::fprintf(stderr, "Sent bootloader request confirmation: device rebooted.\n");
        wait_for_bootloader(m.kind);
    }

    // --- waiting_for_bootloader -----------------------------------------------------
    void wait_for_bootloader(kind_t kind) {
        phase = phase_t::waiting_for_bootloader;
        announce(waiting_title(kind), ZAL_TEXT("Engine", "The update will start in a few moments."));
        tell_what_to_do_without_news(phase_t::waiting_for_bootloader, waiting_title(kind));
        look_for_rebooted_device(phase_t::waiting_for_bootloader, kind,
                                 [this](const hid::device_t& d) { program_stage2(d); });
    }

    // --- programming_stage2 ---------------------------------------------------------
    void program_stage2(const hid::device_t& d) {
        enter_device_phases();
        const std::optional<device_update_t>& device_update = device_update_of(d.kind);
        if (!device_update || !device_update->stage2 || device_update->stage2->sectors.empty()) {
            program_main_firmware(d, 0.0f);
            return;
        }
        phase = phase_t::programming_stage2;
        announce(ZAL_TEXT("Engine", "Preparing to update internal components..."),
                 ZAL_TEXT("Engine", "Please do not move, turn off, or disconnect the device."));
        const kind_t kind = d.kind;
        program(
            d, *device_update->stage2, 0.0f, 0.2f, [this, kind] { wait_for_stage2_device(kind); }, waiting_again());
    }

    // --- waiting_for_stage2_device --------------------------------------------------
    void wait_for_stage2_device(kind_t kind) {
        phase = phase_t::waiting_for_stage2_device;
        announce(waiting_title(kind), will_continue);
        tell_what_to_do_without_news(phase_t::waiting_for_stage2_device, waiting_title(kind));
        on_midi_update = [this, kind] { look_for_stage2_device(kind); };
        look_for_stage2_device(kind);
    }

    void look_for_stage2_device(kind_t kind) {
        if (phase != phase_t::waiting_for_stage2_device) return;
        const midi::device_t m = midi::first_matching_device(
            kind, false, [this](const midi::device_t& d) { return is_followed_midi_device(d); });
        if (!m.usable()) return;  // the next setup change brings the next attempt
        std::fprintf(stderr, "Found a matching MIDI device (%s).\n", kind_name(m.kind));
        on_midi_update = nullptr;
        update_components(m);
    }

    // --- updating_components ----------------------------------------------------------
    // `recovery`: the device was found running its stage-2 firmware at the start.
    void update_components(const midi::device_t& m, bool recovery = false) {
        enter_device_phases();
        phase = phase_t::updating_components;
        received_progress = false;
        recovering = recovery;
        received_report = false;
        announce(updating_components_title, keep_connected);
        tell_what_to_do_without_news(phase_t::updating_components, updating_components_title);
        send_status_request(m.out);
        if (phase != phase_t::updating_components) return;
        const bool attached = attach_input(
            m,
            [self = weak_from_this(), m, of_run = number.load()](const uint8_t* body, std::size_t length, bool) {
                if (auto run = self.lock()) run->on_stage2_sysex(of_run, m, body, length);
            },
            disconnect_handler(phase_t::updating_components));
        if (!attached) fail("Could not connect to MIDI device.");
    }

    void send_status_request(io::out_t out, int sent = 0) {
        if (phase != phase_t::updating_components || received_progress) return;
        if (recovering && !received_report && sent == recovery_requests) {
            fail(silent_stage2);
            return;
        }
        if (!io::send(out, midi::stage2_status_request.data(), midi::stage2_status_request.size())) {
            fail("Could not send a MIDI SysEx.");
            return;
        }
        later([this, out, sent] { send_status_request(out, sent + 1); }, 1000);
    }

    // MIDI receive thread: decode, then hand over to the main thread.
    void on_stage2_sysex(uint32_t of_run, const midi::device_t& m, const uint8_t* body, std::size_t length) {
        if (phase != phase_t::updating_components || number != of_run) return;
        const std::optional<midi::stage2_report_t> report = midi::read_stage2_report(body, length);
        if (!report) return;
        post(of_run, [this] {
            received_report = true;
            ++news;
            if (phase == phase_t::updating_components)
                tell_what_to_do_without_news(phase_t::updating_components, updating_components_title);
        });
        switch (report->type) {
            case midi::stage2_report_t::type_t::progress: {
                received_progress = true;
                const float value = report->progress;
                post(of_run, [this, value] {
                    if (phase == phase_t::updating_components) callbacks.progress(0.2f + 0.6f * value);
                });
                break;
            }
            case midi::stage2_report_t::type_t::error:
                post(of_run, [this, text = report->text] {
                    if (phase == phase_t::updating_components) fail(text.c_str());
                });
                break;
            case midi::stage2_report_t::type_t::complete:
                post(
                    of_run, [this, m] { finish_components(m); }, 500);
                break;
        }
    }

    void finish_components(const midi::device_t& m) {
        if (phase != phase_t::updating_components) return;
        // Detached first: the device drops its ports as soon as it hears the request.
        detach_input();
        note_bootloaders_before_reboot();
        if (!io::send(m.out, midi::stage2_finish_request.data(), midi::stage2_finish_request.size())) {
            fail("Could not send a MIDI SysEx.");
            return;
        }
        wait_for_second_bootloader(m.kind);
    }

    // --- waiting_for_second_bootloader ------------------------------------------------
    void wait_for_second_bootloader(kind_t kind) {
        phase = phase_t::waiting_for_second_bootloader;
        announce(waiting_title(kind), will_continue);
        tell_what_to_do_without_news(phase_t::waiting_for_second_bootloader, waiting_title(kind));
        look_for_rebooted_device(phase_t::waiting_for_second_bootloader, kind,
                                 [this](const hid::device_t& d) { program_main_firmware(d, 0.8f); });
    }

    // --- programming_main_firmware -----------------------------------------------------
    void program_main_firmware(const hid::device_t& d, float start_fraction) {
        const std::optional<device_update_t>& device_update = device_update_of(d.kind);
        if (!device_update || device_update->main.sectors.empty() || device_update->main.flash_map.size == 0) {
            fail("No firmware found.");
            return;
        }
        phase = phase_t::programming_main_firmware;
        announce(ZAL_TEXT("Engine", "Updating..."), keep_connected);
        const kind_t kind = d.kind;
        program(
            d, device_update->main, start_fraction, 1.0f - start_fraction,
            [this, kind] { end(end_t::success, kind, nullptr); }, waiting_again());
    }

    // --- ending -------------------------------------------------------------------------
    // The one way a run ends: the engine is reset, then the program is told.
    void end(end_t how, kind_t kind, const char* message) {
        on_midi_update = nullptr;
        phase = phase_t::idle;
        live = false;
        detach_input();
        in_device_phases = false;
        leave_device_phases_when_written();
        callbacks.end(how, kind, message);
    }

    void cancel() {
        if (live) end(end_t::cancelled, kind_t::any, nullptr);
    }

    void fail(const char* message) { end(end_t::failure, kind_t::any, message); }

    // --- what the phases share ----------------------------------------------------------
    void announce(const char* title, const char* subtitle) const { callbacks.announce(title, subtitle); }

    // A main-thread step of run `of_run`, after `delay_ms`; dropped if another run
    // began or the engine is gone. Any thread.
    void post(uint32_t of_run, std::function<void()> step, uint32_t delay_ms = 0) {
        async_main(
            [self = weak_from_this(), of_run, step = std::move(step)] {
                if (auto run = self.lock(); run && run->number == of_run) step();
            },
            delay_ms);
    }

    // The same for a step of the live run, from the main thread.
    void later(std::function<void()> step, uint32_t delay_ms) { post(number, std::move(step), delay_ms); }

    // Armed when a waiting phase begins and again at every news.
    void tell_what_to_do_without_news(phase_t own, const char* title) {
        later(
            [this, own, title, seen = news] {
                if (phase == own && news == seen) announce(title, no_news);
            },
            no_news_ms);
    }

    // The rebooted device's bootloader, looked for every 500 ms; one of
    // undetermined kind, or another device's, is never taken.
    void look_for_rebooted_device(phase_t own, kind_t kind, std::function<void(const hid::device_t&)> found) {
        if (phase != own) return;
        for (const hid::device_t& d : hid::matching_devices(kind)) {
            if (d.kind == kind_t::any || !is_followed_bootloader(d)) continue;
            if (d.usb_port.empty())
                std::fprintf(stderr, "Found the rebooted device as HID.\n");
            else
                std::fprintf(stderr, "Found the rebooted device as HID on USB port %s.\n",
                             printable(d.usb_port).c_str());
            found(d);
            return;
        }
        later([this, own, kind, found = std::move(found)] { look_for_rebooted_device(own, kind, found); }, 500);
    }

    // A bootloader that was gone before it could be opened was leaving as it
    // was found, or was unplugged: the run starts over on the same device (on
    // its port, where known), whatever it shows next, and drops every deferred
    // step of the attempt that found it.
    std::function<void()> waiting_again() {
        return [this] {
            std::fprintf(stderr, "The bootloader went away before it could be opened; waiting for it again.\n");
            ++number;
            if (!followed.usb_port.empty()) followed.requested_port = followed.usb_port;
            wait_for_device(requested_kind);
        };
    }

    // Writes an image on the programming worker, in the phase just entered; a
    // plan that cannot be built ends the run.
    void program(const hid::device_t& d, const firmware_t& image, float offset, float span,
                 std::function<void()> continuation, std::function<void()> gone) {
        const phase_t own = phase;
        const uint32_t own_run = number;
        // The worker holds the engine only while it asks where the run stands;
        // the other callbacks come on the main thread only while it stands there.
        auto current = [self = weak_from_this(), own, own_run] {
            const auto run = self.lock();
            return run && run->phase == own && run->number == own_run;
        };
        try {
            program_on_worker(make_update_plan(image),
                              {.device = d,
                               .offset = offset,
                               .span = span,
                               .current = std::move(current),
                               .progress = [this](float progress) { callbacks.progress(progress); },
                               .done = std::move(continuation),
                               .failed = [this](const std::string& message) { fail(message.c_str()); },
                               .gone = std::move(gone)});
        } catch (const std::exception& e) {
            fail(e.what());
        }
    }

    // The attached input went away. A handler of an earlier run leaves the live
    // run's attachment alone.
    io::on_disconnect_t disconnect_handler(phase_t own) {
        return [self = weak_from_this(), own, of_run = number.load()] {
            const auto run = self.lock();
            if (!run || run->number != of_run) return;
            run->attached_input.reset();  // the port layer drops the handler itself
            if (run->phase == own) run->fail("Device disconnected.");
        };
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

    const std::optional<device_update_t>& device_update_of(kind_t kind) const {
        static const std::optional<device_update_t> none;
        return kind == kind_t::ventaro ? update.ventaro : kind == kind_t::ruvo ? update.ruvo : none;
    }

    bool on_requested_port(const std::string& usb_port) const {
        return followed.requested_port.empty() || usb_port == followed.requested_port;
    }

    // The run has chosen its device.
    void follow(const std::string& usb_port) {
        followed.usb_port = usb_port;
        if (!usb_port.empty()) std::fprintf(stderr, "The device is on USB port %s.\n", printable(usb_port).c_str());
    }

    // The followed device is about to restart: the bootloaders connected now are
    // someone else's.
    void note_bootloaders_before_reboot() {
        followed.bootloaders_before_reboot.clear();
        for (const hid::device_t& d : hid::matching_devices(kind_t::any))
            followed.bootloaders_before_reboot.insert(d.path);
    }

    bool is_followed_bootloader(const hid::device_t& d) const {
        if (!followed.usb_port.empty() && !d.usb_port.empty()) return d.usb_port == followed.usb_port;
        return followed.bootloaders_before_reboot.count(d.path) == 0;
    }

    bool is_followed_midi_device(const midi::device_t& m) const {
        return followed.usb_port.empty() || m.usb_port.empty() || m.usb_port == followed.usb_port;
    }

    // The run acts on a device from now on, until it ends.
    void enter_device_phases() {
        in_device_phases = true;
        if (told_device_phases) return;
        told_device_phases = true;
        if (callbacks.device_phases) callbacks.device_phases(true);
    }

    // A cancelled run's programming worker goes on until sector 0 is whole: the
    // device is written until it stops.
    void leave_device_phases_when_written() {
        if (in_device_phases || !told_device_phases) return;
        if (main_queue::background_tasks() > 0) {
            async_main(
                [self = weak_from_this()] {
                    if (auto run = self.lock()) run->leave_device_phases_when_written();
                },
                50);
            return;
        }
        told_device_phases = false;
        if (callbacks.device_phases) callbacks.device_phases(false);
    }
};

namespace {

void on_midi_setup_changed() {
    async_main([] {
        // A copy: a hook may make or drop an engine.
        const std::vector<std::weak_ptr<engine_t::run_t>> told = engines;
        for (const std::weak_ptr<engine_t::run_t>& engine : told) {
            const auto run = engine.lock();
            if (!run || !run->live || !run->on_midi_update) continue;
            const std::function<void()> hook = run->on_midi_update;  // the hook may replace itself
            hook();
        }
    });
}

}  // namespace

engine_t::engine_t(callbacks_t callbacks) : run_(std::make_shared<run_t>(std::move(callbacks))) {
    engines.push_back(run_);
}

engine_t::~engine_t() {
    shut_down();
    std::erase_if(engines, [this](const std::weak_ptr<run_t>& e) { return e.expired() || e.lock() == run_; });
}

bool engine_t::start(kind_t kind, const update_t& update, const std::string& usb_port) {
    if (run_->live) return false;
    run_->on_midi_update = nullptr;
    if (!device_layers_ready) {
        if (!hid_io::backend().init())
            throw std::runtime_error(ZAL_TEXT("Engine", "Could not access USB HID devices."));
        if (!io::init("VentaroUpdate", on_midi_setup_changed)) {
            hid_io::backend().exit();
            throw std::runtime_error(ZAL_TEXT("Engine", "Could not access MIDI devices."));
        }
        device_layers_ready = true;
    }
    run_->start(kind, update, usb_port);
    return true;
}

void engine_t::cancel() { run_->cancel(); }

bool engine_t::running() const { return run_->live; }

phase_t engine_t::phase() const { return run_->phase; }

void engine_t::shut_down() {
    cancel();
    main_queue::run_until([] { return main_queue::background_tasks() == 0; });
    run_->leave_device_phases_when_written();
}

}  // namespace updater
}  // namespace zal
