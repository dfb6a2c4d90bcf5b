// SPDX-License-Identifier: MIT
#pragma once

// The update engine: drives one firmware update of one device, from waiting for
// it to the end of programming, on the main thread in short steps. The program
// that links the engine defines the four callbacks below.

#include <cstdint>
#include <functional>
#include <string>

#include "update/update.hpp"

namespace zal {

enum class kind_t : int32_t { any = 0, ventaro = 1, ruvo = 2 };
enum class end_t : int32_t { success = 0, failure = 1, cancelled = 2 };

// "Ventaro", "Ruvo" or "undefined", as log lines name a kind.
const char* kind_name(kind_t kind);

namespace updater {

using phase_t = int32_t;

// Begins a run; false when one is live already. Throws std::runtime_error, in
// the current language, when USB HID or MIDI access cannot be set up.
// `usb_port`: update only the device plugged in there ("1-1.4"); empty: the
// one device found. With several devices connected, the run follows the one it
// chose across its reboots by its USB port.
bool start(kind_t kind, const update_t& update, const std::string& usb_port = {});

// Ends a live run as cancelled; does nothing otherwise.
void cancel();

// Whether a run is live.
bool running();

// For a program about to exit, on the main thread: cancels a live run and
// returns once the programming worker has stopped, which it does only where
// the device can still start. Drives the main queue meanwhile.
void shut_down();

// Told, on the main thread, when a run begins to act on a device (the reboot
// request, or programming a bootloader found waiting) with true, and when that
// run ends, however it ends, with false: what the program must hold off meanwhile
// (logout, suspend, shutdown). Empty by default.
void set_device_phases_hook(std::function<void(bool in_device_phases)> hook);

// --- defined by the program that links the engine; always called on the main thread
void on_announce(const char* title, const char* subtitle);
void on_progress(float progress);
// The engine is idle again when this is called: it may start the next run.
void on_end(end_t end, kind_t kind, const char* message);
// Which kind the connected bootloader is; kind_t::any when the user declines.
kind_t on_ask_kind_modal();

}  // namespace updater
}  // namespace zal
