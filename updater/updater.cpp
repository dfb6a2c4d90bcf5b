// SPDX-License-Identifier: MIT
#include "updater/updater.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
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
#include "updater/connected.hpp"
#include "updater/hid.hpp"
#include "updater/log.hpp"
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

const char* failure_word(failure_kind_t kind) {
    switch (kind) {
        case failure_kind_t::none: return "none";
        case failure_kind_t::disconnected: return "disconnected";
        case failure_kind_t::silent: return "silent";
        case failure_kind_t::refused: return "refused";
        case failure_kind_t::unknown_bootloader: return "unknown-bootloader";
        case failure_kind_t::no_firmware: return "no-firmware";
        case failure_kind_t::would_overwrite_bootloader: return "would-overwrite-bootloader";
        case failure_kind_t::access_denied: return "access-denied";
        case failure_kind_t::device_report: return "device-report";
        case failure_kind_t::midi_unavailable: return "midi-unavailable";
        case failure_kind_t::hid_unavailable: return "hid-unavailable";
    }
    return "none";
}

const char* outcome_word(end_t end) {
    switch (end) {
        case end_t::success: return "success";
        case end_t::cancelled: return "cancelled";
        case end_t::failure: break;
    }
    return "failure";
}

const char* state_word(device_state_t state) {
    static const char* const words[] = {"running", "stage-2", "bootloader", "first-generation-bootloader"};
    const auto index = std::size_t(state);
    return index < std::size(words) ? words[index] : "running";
}

std::optional<kind_t> kind_of_word(const std::string& word) {
    if (word == "ventaro") return kind_t::ventaro;
    if (word == "ruvo") return kind_t::ruvo;
    return std::nullopt;
}

namespace updater {

const char* phase_word(phase_t phase) {
    static const char* const words[] = {"idle",
                                        "waiting-for-device",
                                        "rebooting",
                                        "waiting-for-bootloader",
                                        "programming-stage2",
                                        "waiting-for-stage2-device",
                                        "updating-components",
                                        "waiting-for-second-bootloader",
                                        "programming-main-firmware"};
    const auto index = std::size_t(phase);
    return index < std::size(words) ? words[index] : "idle";
}

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

// The progress a run reports: stage 2 is written up to 0.2, the stage-2
// firmware's own reports fill up to 0.8, the main firmware the rest. A run
// without stage 2 writes the main firmware from 0.
constexpr float stage2_written = 0.2f;
constexpr float components_updated = 0.8f;

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
    std::string told_connected;                   // the other ports last named to the user
    std::optional<std::string> told_midi_inputs;  // the MIDI inputs last logged: a list repeated says nothing new
};

// The engine's state and its phases, in the order a run goes. Everything runs on
// the main thread, except what the MIDI thread and the programming worker read:
// the phase, the run's number and whether stage-2 progress came.
struct engine_t::run_t : std::enable_shared_from_this<engine_t::run_t> {
    explicit run_t(callbacks_t c) : callbacks(std::move(c)) {}

    const callbacks_t callbacks;
    // This engine's programming workers that may still write.
    const writers_t writers = std::make_shared<std::atomic<std::size_t>>(0);
    // Heard while the engine lives; acts only for a live run.
    io::setup_subscription_t midi_setup;

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
    kind_t device_kind = kind_t::any;  // the followed device's, once found
    // What a change of the MIDI setup brings about in the live phase.
    std::function<void()> on_midi_update;
    // The kind the waiting phase's HID looks ask for: the run's, or the user's
    // answer about a first-generation bootloader. No look asks while a question is open.
    kind_t bootloader_kind = kind_t::any;
    bool asking_kind = false;
    // The MIDI input the run attached, detached whenever the run ends: an input left
    // attached would keep its old handlers and deafen the next run that attaches it.
    std::optional<io::in_t> attached_input;
    bool in_device_phases = false;  // the live run acts on a device
    bool told_device_phases = false;
    bool waiting_for_writers = false;  // a check of the writers is queued
    // The minute without news of the phase that waits, on one timer that news
    // only pushes back: a device that reports often leaves no pile of timers.
    struct quiet_t {
        uint32_t run = 0;
        phase_t phase = phase_t::idle;
        main_queue::queue_clock_t::time_point due{};
        bool armed = false;
    } quiet;
    bool recovering = false;
    bool received_report = false;
    std::optional<device_state_t> found_as;
    phase_t ended_phase = phase_t::idle;
    uint32_t roundtrips = 0;  // exchanges of the run's finished programming jobs
    uint32_t roundtrips_of_job = 0;

    // --- starting ---------------------------------------------------------------
    void start(kind_t requested, const update_t& package, const std::string& usb_port) {
        live = true;
        ++number;
        requested_kind = requested;
        update = package;
        followed = {};
        followed.requested_port = usb_port;
        device_kind = kind_t::any;
        found_as.reset();
        roundtrips = roundtrips_of_job = 0;
        wait_for_device(requested);
    }

    // A run that cannot begin ends as a failure at once, like any other run.
    void start_failed(failure_kind_t why, const char* message, const std::string& system_words) {
        live = true;
        ++number;
        if (system_words.empty())
            log("%s", message);
        else
            log("%s (%s)", message, system_words.c_str());
        fail(why, message);
    }

    // --- waiting_for_device -----------------------------------------------------
    void wait_for_device(kind_t requested) {
        enter(phase_t::waiting_for_device);
        kind_t kind = requested;
        if (update.ventaro && !update.ruvo) kind = kind_t::ventaro;
        if (update.ruvo && !update.ventaro) kind = kind_t::ruvo;
        const char* title = nullptr;
        switch (kind) {
            case kind_t::ventaro:
                title = ZAL_TEXT("Engine", "Connect your Ventaro");
                announce(title, ZAL_TEXT("Engine",
                                         "Please connect your Ventaro to your computer using a USB cable, and turn it "
                                         "on."));
                break;
            case kind_t::ruvo:
                title = ZAL_TEXT("Engine", "Connect your Ruvo receiver");
                announce(title, ZAL_TEXT("Engine",
                                         "Please connect your Ruvo receiver to your computer using a USB cable, and "
                                         "turn it on."));
                break;
            default:
                title = ZAL_TEXT("Engine", "Connect your Ventaro or your Ruvo receiver");
                announce(title,
                         ZAL_TEXT("Engine",
                                  "Please connect your Ventaro or your Ruvo receiver to your computer using a USB "
                                  "cable, and turn it on."));
                break;
        }
        bootloader_kind = kind;
        asking_kind = false;
        // A setup change looks at once; the timers keep their own pace.
        on_midi_update = [this, kind] { look_for_running_device(kind); };
        const uint32_t attempt = number;
        look_for_bootloader();
        look_for_running_device(kind);
        if (number != attempt) return;  // the looks ended this attempt, and may have begun the next
        repeat(phase_t::waiting_for_device, 1000, [this] { look_for_bootloader(); });
        repeat(phase_t::waiting_for_device, 5000, [this, kind] { look_for_running_device(kind); });
        if (phase == phase_t::waiting_for_device && !followed.requested_port.empty())
            tell_what_to_do_without_news(phase_t::waiting_for_device, title);
    }

    // A port that holds none of our devices may be a typo: say which ports do,
    // at the first look and whenever that changes.
    void tell_which_ports_hold_devices() {
        std::string others;
        for (const connected_device_t& d : connected_devices()) {
            if (d.usb_port == followed.requested_port) return;  // ours, in a state the run waits out
            if (d.usb_port.empty()) continue;
            const bool first_generation = d.state == device_state_t::first_generation_bootloader;
            others += (others.empty() ? "" : ", ") + printable(d.usb_port) + " (" +
                      (first_generation ? "first-generation bootloader" : kind_name(d.kind)) + ")";
        }
        if (others.empty()) others = "none";
        if (others == followed.told_connected) return;
        followed.told_connected = others;
        log("No Ventaro or Ruvo on USB port %s; connected: %s.", printable(followed.requested_port).c_str(),
            others.c_str());
    }

    // A device found waiting in its bootloader is programmed at once; one of
    // undetermined kind makes the user say what it is.
    void look_for_bootloader() {
        if (phase != phase_t::waiting_for_device || asking_kind) return;
        const kind_t kind = bootloader_kind;
        std::vector<hid::found_bootloader_t> found = hid::matching_devices(kind);
        std::erase_if(found, [this](const hid::found_bootloader_t& d) { return !on_requested_port(d.usb_port); });
        const auto identified = std::find_if(found.begin(), found.end(), [](const auto& d) {
            return d.state != device_state_t::first_generation_bootloader;
        });
        hid::found_bootloader_t d = identified != found.end() ? *identified
                                    : found.empty()           ? hid::found_bootloader_t{}
                                                              : found.front();
        if (d.state == device_state_t::first_generation_bootloader && d.kind != kind_t::any &&
            d.path != followed.answered_bootloader && another_candidate_connected(kind)) {
            if (!followed.told_first_generation_left_alone)
                log("A first-generation bootloader is connected too; it may be another device and is left alone.");
            followed.told_first_generation_left_alone = true;
            d = {};
        }
        if (d.kind != kind_t::any) {
            follow(d.usb_port, d.kind, d.state);
            log("Found a matching HID device (%s).", kind_name(d.kind));
            program_stage2(d);
            return;
        }
        if (!d.path.empty()) {
            // The timer's next look goes on with the answer.
            asking_kind = true;
            callbacks.ask_kind(
                [self = weak_from_this(), of_run = number.load(), path = d.path](std::optional<kind_t> answer) {
                    const auto run = self.lock();
                    // That run ended while the question was open, or this answer came already.
                    if (!run || run->number != of_run || !run->asking_kind) return;
                    run->asking_kind = false;
                    if (!answer) {
                        run->cancel();
                        return;
                    }
                    run->followed.answered_bootloader = path;  // the user said what it is
                    run->bootloader_kind = *answer;
                });
            return;
        }
        if (!followed.requested_port.empty()) tell_which_ports_hold_devices();
    }

    // A first-generation bootloader tells no kind, and both products have one: it
    // is taken for the asked kind only when no other device of that kind is there.
    bool another_candidate_connected(kind_t kind) {
        const midi::running_device_t running = midi::first_matching_device(
            kind, [this](const midi::running_device_t& m) { return on_requested_port(m.usb_port); }, log_label(),
            &followed.told_midi_inputs);
        return running.usable();
    }

    void look_for_running_device(kind_t kind) {
        if (phase != phase_t::waiting_for_device) return;
        const midi::running_device_t m = midi::first_matching_device(
            kind, [this](const midi::running_device_t& d) { return on_requested_port(d.usb_port); }, log_label(),
            &followed.told_midi_inputs);
        if (!m.usable()) return;  // the timer or the next setup change looks again
        follow(m.usb_port, m.kind, midi::runs_stage2_firmware(m) ? device_state_t::stage2 : device_state_t::running);
        log("Found a matching MIDI device (%s).", kind_name(m.kind));
        on_midi_update = nullptr;
        if (midi::runs_stage2_firmware(m)) {
            // Its stage-2 firmware never answers a bootloader request: finish its
            // internal update first, then the main firmware follows as usual.
            log("The device runs its stage-2 firmware: continuing its update.");
            update_components(m, true);
            return;
        }
        reboot(m);
    }

    // --- rebooting ----------------------------------------------------------------
    void reboot(const midi::running_device_t& m) {
        enter_device_phases();
        enter(phase_t::rebooting);
        const bool ventaro = m.kind == kind_t::ventaro;
        announce(ventaro ? ZAL_TEXT("Engine", "Rebooting the Ventaro...") : ZAL_TEXT("Engine", "Rebooting the Ruvo..."),
                 ZAL_TEXT("Engine", "Your device will be rebooted now in order to update it."));
        send_bootloader_request(m.out);
        if (phase != phase_t::rebooting) return;
        attach_input(
            m,
            [self = weak_from_this(), m, of_run = number.load()](const uint8_t* body, std::size_t length, bool) {
                if (auto run = self.lock()) run->on_reboot_sysex(of_run, m, body, length);
            },
            disconnect_handler(phase_t::rebooting));
    }

    void send_bootloader_request(io::out_t out) {
        if (phase != phase_t::rebooting) return;
        if (const result_t<void> sent = midi::send_bootloader_request(out); !sent) {
            fail_to_send(sent.failure());
            return;
        }
        log("Sent bootloader request.");
        later([this, out] { send_bootloader_request(out); }, 1000);
    }

    // MIDI receive thread.
    void on_reboot_sysex(uint32_t of_run, const midi::running_device_t& m, const uint8_t* body, std::size_t length) {
        midi::bootloader_magic_key_t key;
        if (key.read(body, length)) post(of_run, [this, m, key] { on_key(m, key); });
    }

    void on_key(const midi::running_device_t& m, const midi::bootloader_magic_key_t& key) {
        if (phase != phase_t::rebooting) return;
        detach_input();
        log("Received bootloader request response.");
        note_bootloaders_before_reboot();
        if (const result_t<void> sent = midi::send_bootloader_confirmation(m.out, key); !sent) {
            fail_to_send(sent.failure());
            return;
        }
        log("Sent bootloader request confirmation: device rebooted.");
        wait_for_bootloader(m.kind);
    }

    // --- waiting_for_bootloader -----------------------------------------------------
    void wait_for_bootloader(kind_t kind) {
        enter(phase_t::waiting_for_bootloader);
        announce(waiting_title(kind), ZAL_TEXT("Engine", "The update will start in a few moments."));
        tell_what_to_do_without_news(phase_t::waiting_for_bootloader, waiting_title(kind));
        look_for_rebooted_device(phase_t::waiting_for_bootloader, kind,
                                 [this](const hid::found_bootloader_t& d) { program_stage2(d); });
    }

    // --- programming_stage2 ---------------------------------------------------------
    void program_stage2(const hid::found_bootloader_t& d) {
        enter_device_phases();
        const std::optional<device_update_t>& device_update = device_update_of(d.kind);
        if (!device_update || !device_update->stage2 || device_update->stage2->sectors.empty()) {
            program_main_firmware(d, 0.0f);
            return;
        }
        enter(phase_t::programming_stage2);
        announce(ZAL_TEXT("Engine", "Preparing to update internal components..."),
                 ZAL_TEXT("Engine", "Please do not move, turn off, or disconnect the device."));
        const kind_t kind = d.kind;
        program(
            d, *device_update->stage2, 0.0f, stage2_written, [this, kind] { wait_for_stage2_device(kind); },
            waiting_again());
    }

    // --- waiting_for_stage2_device --------------------------------------------------
    void wait_for_stage2_device(kind_t kind) {
        enter(phase_t::waiting_for_stage2_device);
        announce(waiting_title(kind), will_continue);
        tell_what_to_do_without_news(phase_t::waiting_for_stage2_device, waiting_title(kind));
        on_midi_update = [this, kind] { look_for_stage2_device(kind); };
        look_for_stage2_device(kind);
    }

    void look_for_stage2_device(kind_t kind) {
        if (phase != phase_t::waiting_for_stage2_device) return;
        const midi::running_device_t m = midi::first_matching_device(
            kind, [this](const midi::running_device_t& d) { return is_followed_midi_device(d); }, log_label(),
            &followed.told_midi_inputs);
        if (!m.usable()) return;  // the next setup change brings the next attempt
        log("Found a matching MIDI device (%s).", kind_name(m.kind));
        on_midi_update = nullptr;
        update_components(m);
    }

    // --- updating_components ----------------------------------------------------------
    // `recovery`: the device was found running its stage-2 firmware at the start.
    void update_components(const midi::running_device_t& m, bool recovery = false) {
        enter_device_phases();
        enter(phase_t::updating_components);
        received_progress = false;
        recovering = recovery;
        received_report = false;
        announce(updating_components_title, keep_connected);
        tell_what_to_do_without_news(phase_t::updating_components, updating_components_title);
        send_status_request(m.out);
        if (phase != phase_t::updating_components) return;
        attach_input(
            m,
            [self = weak_from_this(), m, of_run = number.load()](const uint8_t* body, std::size_t length, bool) {
                if (auto run = self.lock()) run->on_stage2_sysex(of_run, m, body, length);
            },
            disconnect_handler(phase_t::updating_components));
    }

    void send_status_request(io::out_t out, int sent = 0) {
        if (phase != phase_t::updating_components || received_progress) return;
        if (recovering && !received_report && sent == recovery_requests) {
            fail(failure_kind_t::silent, silent_stage2);
            return;
        }
        if (const result_t<void> request =
                io::send(out, midi::stage2_status_request.data(), midi::stage2_status_request.size());
            !request) {
            fail_to_send(request.failure());
            return;
        }
        later([this, out, sent] { send_status_request(out, sent + 1); }, 1000);
    }

    // MIDI receive thread: decode, then hand over to the main thread.
    void on_stage2_sysex(uint32_t of_run, const midi::running_device_t& m, const uint8_t* body, std::size_t length) {
        if (phase != phase_t::updating_components || number != of_run) return;
        const std::optional<midi::stage2_report_t> report = midi::read_stage2_report(body, length);
        if (!report) return;
        post(of_run, [this] {
            received_report = true;
            if (phase == phase_t::updating_components)
                tell_what_to_do_without_news(phase_t::updating_components, updating_components_title);
        });
        switch (report->type) {
            case midi::stage2_report_t::type_t::progress: {
                received_progress = true;
                const float value = report->progress;
                post(of_run, [this, value] {
                    if (phase == phase_t::updating_components)
                        callbacks.progress(stage2_written + (components_updated - stage2_written) * value);
                });
                break;
            }
            case midi::stage2_report_t::type_t::error:
                post(of_run, [this, text = report->text] {
                    if (phase == phase_t::updating_components) fail(failure_kind_t::device_report, text);
                });
                break;
            case midi::stage2_report_t::type_t::complete:
                post(
                    of_run, [this, m] { finish_components(m); }, 500);
                break;
        }
    }

    void finish_components(const midi::running_device_t& m) {
        if (phase != phase_t::updating_components) return;
        // Detached first: the device drops its ports as soon as it hears the request.
        detach_input();
        note_bootloaders_before_reboot();
        if (const result_t<void> sent =
                io::send(m.out, midi::stage2_finish_request.data(), midi::stage2_finish_request.size());
            !sent) {
            fail_to_send(sent.failure());
            return;
        }
        wait_for_second_bootloader(m.kind);
    }

    // --- waiting_for_second_bootloader ------------------------------------------------
    void wait_for_second_bootloader(kind_t kind) {
        enter(phase_t::waiting_for_second_bootloader);
        announce(waiting_title(kind), will_continue);
        tell_what_to_do_without_news(phase_t::waiting_for_second_bootloader, waiting_title(kind));
        look_for_rebooted_device(
            phase_t::waiting_for_second_bootloader, kind,
            [this](const hid::found_bootloader_t& d) { program_main_firmware(d, components_updated); });
    }

    // --- programming_main_firmware -----------------------------------------------------
    void program_main_firmware(const hid::found_bootloader_t& d, float start_fraction) {
        const std::optional<device_update_t>& device_update = device_update_of(d.kind);
        if (!device_update || device_update->main.sectors.empty() || device_update->main.flash_map.size == 0) {
            fail(failure_kind_t::no_firmware, ZAL_TEXT("Engine", "No firmware found."));
            return;
        }
        enter(phase_t::programming_main_firmware);
        announce(ZAL_TEXT("Engine", "Updating..."), keep_connected);
        const kind_t kind = d.kind;
        program(
            d, device_update->main, start_fraction, 1.0f - start_fraction, [this, kind] { end(end_t::success, kind); },
            waiting_again());
    }

    // --- ending -------------------------------------------------------------------------
    // The one way a run ends: the engine is reset, then the program is told.
    void end(end_t how, kind_t kind, const std::string& message = {}, failure_kind_t why = failure_kind_t::none) {
        on_midi_update = nullptr;
        const phase_t ended_in = phase;
        phase = phase_t::idle;
        ended_phase = ended_in;
        live = false;
        detach_input();
        in_device_phases = false;
        leave_device_phases_when_written();
        const run_state_t last = state();
        callbacks.end({.end = how,
                       .kind = kind,
                       .failure = why,
                       .message = message,
                       .usb_port = followed.usb_port,
                       .last = last});
    }

    void cancel() {
        if (live) end(end_t::cancelled, device_kind);
    }

    void fail(failure_kind_t why, const std::string& message) { end(end_t::failure, device_kind, message, why); }

    // The port layer's own line goes to the log; the run ends with its sentence.
    void fail_to_send(const failure_t& failure) {
        log("%s", failure.text.c_str());
        fail(failure_kind_t::disconnected, ZAL_TEXT("Engine", "Could not send a MIDI SysEx."));
    }

    // Names the run's device in each line, once it is known.
    __attribute__((format(printf, 2, 3))) void log(const char* format, ...) const {
        va_list arguments;
        va_start(arguments, format);
        vlog_line(log_label(), format, arguments);
        va_end(arguments);
    }

    log_target_t log_label() const {
        return {device_label(followed.usb_port.empty() ? followed.requested_port : followed.usb_port, device_kind),
                callbacks.log, callbacks.log_on_stderr};
    }

    void enter(phase_t next) {
        phase = next;
        if (callbacks.entered) callbacks.entered(state());
    }

    // Once the run has ended, `phase` is idle: the state tells where it ended.
    run_state_t state() const {
        return {.phase = phase == phase_t::idle ? ended_phase : phase.load(),
                .found = found_as,
                .device_kind = device_kind,
                .usb_port = followed.usb_port,
                .roundtrips = roundtrips + roundtrips_of_job};
    }

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

    // A look made every `period_ms` while the phase `own` of this attempt lasts,
    // on one timer: armed when the phase begins and re-armed only by itself, so
    // that the looks made in between (a setup change, an answer) never add one.
    void repeat(phase_t own, uint32_t period_ms, std::function<void()> look) {
        if (phase != own) return;
        const uint32_t of_run = number;
        post(
            of_run,
            [this, own, period_ms, of_run, look = std::move(look)] {
                if (phase != own) return;
                look();
                if (number == of_run) repeat(own, period_ms, look);  // a look that ended the attempt ends its timer
            },
            period_ms);
    }

    // Called when a waiting phase begins and again at every news.
    void tell_what_to_do_without_news(phase_t own, const char* title) {
        const auto due = main_queue::now() + std::chrono::milliseconds(no_news_ms);
        if (quiet.armed && quiet.run == number && quiet.phase == own) {
            quiet.due = due;  // its timer follows
            return;
        }
        quiet = {.run = number, .phase = own, .due = due, .armed = true};
        wait_for_news(own, title, no_news_ms);
    }

    void wait_for_news(phase_t own, const char* title, uint32_t delay_ms) {
        later(
            [this, own, title, of_run = number.load()] {
                if (!quiet.armed || quiet.run != of_run || quiet.phase != own) return;  // another phase's now
                if (phase != own) {
                    quiet.armed = false;
                    return;
                }
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(quiet.due - main_queue::now()).count();
                if (left > 0) {
                    wait_for_news(own, title, uint32_t(left));
                    return;
                }
                quiet.armed = false;
                announce(title, no_news);
            },
            delay_ms);
    }

    // The rebooted device's bootloader, looked for every 500 ms; one of
    // undetermined kind, or another device's, is never taken.
    void look_for_rebooted_device(phase_t own, kind_t kind, std::function<void(const hid::found_bootloader_t&)> found) {
        if (phase != own) return;
        for (const hid::found_bootloader_t& d : hid::matching_devices(kind)) {
            if (d.kind == kind_t::any || !is_followed_bootloader(d)) continue;
            if (d.usb_port.empty())
                log("Found the rebooted device as HID.");
            else
                log("Found the rebooted device as HID on USB port %s.", printable(d.usb_port).c_str());
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
            log("The bootloader went away before it could be opened; waiting for it again.");
            ++number;
            if (!followed.usb_port.empty()) followed.requested_port = followed.usb_port;
            wait_for_device(requested_kind);
        };
    }

    // Writes an image on the programming worker, in the phase just entered; a
    // plan that cannot be built ends the run.
    void program(const hid::found_bootloader_t& d, const firmware_t& image, float offset, float span,
                 std::function<void()> continuation, std::function<void()> gone) {
        roundtrips += roundtrips_of_job;
        roundtrips_of_job = 0;
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
                               .log = {device_label(d.usb_port, d.kind), callbacks.log, callbacks.log_on_stderr},
                               .writers = writers,
                               .offset = offset,
                               .span = span,
                               .current = std::move(current),
                               .progress =
                                   [this](float progress, std::size_t exchanged) {
                                       roundtrips_of_job = uint32_t(exchanged);
                                       callbacks.progress(progress);
                                   },
                               .done = std::move(continuation),
                               .failed = [this](failure_kind_t why, const std::string& message) { fail(why, message); },
                               .gone = std::move(gone)});
        } catch (const std::exception& e) {
            fail(failure_kind_t::no_firmware, e.what());  // the image does not fit the device
        }
    }

    // The attached input went away. A handler of an earlier run leaves the live
    // run's attachment alone.
    io::on_disconnect_t disconnect_handler(phase_t own) {
        return [self = weak_from_this(), own, of_run = number.load()] {
            const auto run = self.lock();
            if (!run || run->number != of_run) return;
            run->attached_input.reset();  // the port layer drops the handler itself
            if (run->phase == own) run->fail(failure_kind_t::disconnected, ZAL_TEXT("Engine", "Device disconnected."));
        };
    }

    // Ends the run when the input cannot be attached.
    void attach_input(const midi::running_device_t& m, io::on_sysex_t on_sysex, io::on_disconnect_t on_disconnect) {
        if (const result_t<void> attached = io::attach(m.in, {}, std::move(on_sysex), std::move(on_disconnect));
            !attached) {
            log("%s", attached.failure().text.c_str());
            fail(failure_kind_t::disconnected, ZAL_TEXT("Engine", "Could not connect to MIDI device."));
            return;
        }
        attached_input = m.in;
    }

    void detach_input() {
        if (!attached_input) return;
        // A port that vanished has no connection left to undo.
        if (const result_t<void> detached = io::detach(*attached_input); !detached)
            log("%s", detached.failure().text.c_str());
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
    void follow(const std::string& usb_port, kind_t kind, device_state_t how) {
        followed.usb_port = usb_port;
        device_kind = kind;
        if (!found_as) found_as = how;
        if (!usb_port.empty()) log("The device is on USB port %s.", printable(usb_port).c_str());
    }

    // The followed device is about to restart: the bootloaders connected now are
    // someone else's.
    void note_bootloaders_before_reboot() {
        followed.bootloaders_before_reboot.clear();
        for (const hid::found_bootloader_t& d : hid::matching_devices(kind_t::any))
            followed.bootloaders_before_reboot.insert(d.path);
    }

    bool is_followed_bootloader(const hid::found_bootloader_t& d) const {
        if (!followed.usb_port.empty() && !d.usb_port.empty()) return d.usb_port == followed.usb_port;
        return followed.bootloaders_before_reboot.count(d.path) == 0;
    }

    bool is_followed_midi_device(const midi::running_device_t& m) const {
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
        if (*writers > 0) {
            // One check at a time, however many runs end meanwhile.
            if (waiting_for_writers) return;
            waiting_for_writers = true;
            async_main(
                [self = weak_from_this()] {
                    if (auto run = self.lock()) {
                        run->waiting_for_writers = false;
                        run->leave_device_phases_when_written();
                    }
                },
                50);
            return;
        }
        told_device_phases = false;
        if (callbacks.device_phases) callbacks.device_phases(false);
    }
};

engine_t::engine_t(callbacks_t callbacks) : run_(std::make_shared<run_t>(std::move(callbacks))) {}

engine_t::~engine_t() { shut_down(); }

bool engine_t::start(kind_t kind, const update_t& update, const std::string& usb_port) {
    if (run_->live) return false;
    run_->on_midi_update = nullptr;
    // The system's HID and MIDI layers are set up once for the process (both
    // calls return at once when they are); each engine hears MIDI changes itself.
    if (const result_t<void> hid = hid_io::backend().init(); !hid) {
        run_->start_failed(failure_kind_t::hid_unavailable, ZAL_TEXT("Engine", "Could not access USB HID devices."),
                           hid.failure().text);
        return true;
    }
    if (const result_t<void> midi = io::init("VentaroUpdate"); !midi) {
        run_->start_failed(failure_kind_t::midi_unavailable, ZAL_TEXT("Engine", "Could not access MIDI devices."),
                           midi.failure().text);
        return true;
    }
    if (!run_->midi_setup)
        run_->midi_setup = io::subscribe_to_setup_changes([weak = std::weak_ptr<run_t>(run_)] {
            const auto run = weak.lock();
            if (!run || !run->live || !run->on_midi_update) return;
            const std::function<void()> hook = run->on_midi_update;  // the hook may replace itself
            hook();
        });
    run_->start(kind, update, usb_port);
    return true;
}

void engine_t::cancel() { run_->cancel(); }

bool engine_t::running() const { return run_->live; }

phase_t engine_t::phase() const { return run_->phase; }

void engine_t::shut_down() {
    cancel();
    main_queue::run_until([this] { return *run_->writers == 0; });
    run_->leave_device_phases_when_written();
}

}  // namespace updater
}  // namespace zal
