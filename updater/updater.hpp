// SPDX-License-Identifier: MIT
#pragma once

// The update engine: drives one firmware update of one device, from waiting for
// it to the end of programming, on the main thread in short steps; the writing
// itself runs on a thread of its own (updater/programming.hpp).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "update/update.hpp"
#include "updater/kind.hpp"

namespace zal::updater {

// Where a run stands, in the order a run goes through them. A run that finds
// the device waiting in its bootloader starts at programming_stage2; one that
// finds it in its stage-2 firmware, at updating_components.
enum class phase_t : int32_t {
    idle = 0,
    waiting_for_device,             // neither a running device nor a bootloader yet
    rebooting,                      // asking the running device to restart into its bootloader
    waiting_for_bootloader,         // until that bootloader shows up
    programming_stage2,             // writing the stage-2 firmware that updates the internal components
    waiting_for_stage2_device,      // until that firmware shows up as a MIDI device
    updating_components,            // it reports its progress, then is asked to restart
    waiting_for_second_bootloader,  // until the bootloader shows up again
    programming_main_firmware,      // writing the main firmware; the run then ends
};

// "idle", "waiting-for-device", ..., "programming-main-firmware": as records write a phase.
const char* phase_word(phase_t phase);

// Where a run stands, for a record of it.
struct run_state_t {
    phase_t phase = phase_t::idle;
    std::optional<device_state_t> found;  // what the device was doing when the run first saw it
    kind_t device_kind = kind_t::any;     // once found
    std::string usb_port;                 // once known
    uint32_t roundtrips = 0;              // HID exchanges the run has completed
};

// How a run ended.
struct outcome_t {
    end_t end = end_t::success;
    kind_t kind = kind_t::any;                      // the device updated, on success
    failure_kind_t failure = failure_kind_t::none;  // why it failed, in a user's terms
    std::string message;                            // the engine's English words on a failure, for the log
    std::string usb_port;                           // where the device is plugged in, when known
    run_state_t last;                               // where the run stood when it ended
};

// What the engine tells the program that runs it. Every callback but `log` is
// called on the main thread; `log` is called on the thread that logs the line,
// a programming worker among them, so it must be safe to call from any thread.
// `device_phases`, `entered` and `log` may be empty, the others may not. Titles,
// subtitles and failure messages are English: the program translates them in the
// catalogues' context "Engine", where a failure message without a translation
// (a device's own report) shows as it is.
struct callbacks_t {
    std::function<void(const char* title, const char* subtitle)> announce;
    std::function<void(float progress)> progress;
    // The engine is idle again when this is called: it may start the next run.
    std::function<void(const outcome_t& outcome)> end;
    // Asks which kind the connected bootloader is. `answer`, called once, at
    // once or later, gets it, or nothing when the user declines; the run goes
    // on meanwhile, and takes no answer once it has ended.
    std::function<void(std::function<void(std::optional<kind_t>)> answer)> ask_kind;
    // Told when a run begins to act on a device (the reboot request, or
    // programming a bootloader found waiting) with true, and once that run has
    // ended and its writing has stopped with false: what the program must hold
    // off meanwhile (logout, suspend, shutdown).
    std::function<void(bool in_device_phases)> device_phases;
    // Told as the run enters each phase.
    std::function<void(const run_state_t& state)> entered;
    // Each line the run logs (as on stderr, without the newline), on the thread
    // that logs it: the main thread or a programming worker (`program_on_worker`,
    // updater/programming.cpp), possibly while the main thread logs too.
    std::function<void(const std::string& line)> log;
    // False: the lines go to `log` only, not to stderr (a terminal that shows
    // them only when asked).
    bool log_on_stderr = true;
};

class engine_t {
public:
    explicit engine_t(callbacks_t callbacks);
    // Shuts down.
    ~engine_t();
    engine_t(const engine_t&) = delete;
    engine_t& operator=(const engine_t&) = delete;

    // Begins a run; false when one is live already. `kind` any: whichever the
    // package has firmware for. When USB HID or MIDI access cannot be set up,
    // the run ends at once, through `end`, as a failure of that kind.
    // `usb_port`: update only the device plugged in there ("1-1.4"); empty: the
    // one device found. With several devices connected, the run follows the one
    // it chose across its reboots by its USB port.
    bool start(kind_t kind, const update_t& update, const std::string& usb_port = {});

    // Ends a live run as cancelled; does nothing otherwise.
    void cancel();

    bool running() const;
    phase_t phase() const;

    // For a program about to exit, on the main thread: cancels a live run and
    // returns once the programming worker has stopped, which it does only where
    // the device can still start. Drives the main queue meanwhile.
    void shut_down();

    struct run_t;

private:
    std::shared_ptr<run_t> run_;
};

}  // namespace zal::updater
