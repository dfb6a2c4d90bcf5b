// SPDX-License-Identifier: MIT
#pragma once

// Which device a run is for, what it is doing, and how a run ends.

#include <cstdint>
#include <optional>
#include <string>

namespace zal {

// `any`: either, as asked for. A user who declines to say is no kind: std::nullopt.
enum class kind_t : int32_t { any = 0, ventaro = 1, ruvo = 2 };
enum class end_t : int32_t { success = 0, failure = 1, cancelled = 2 };

// What a device is doing as it is seen. Both products' first bootloader shares
// one identity, the first generation's, which does not tell which device it is.
enum class device_state_t : int32_t { running, stage2, bootloader, first_generation_bootloader };

// Why a run failed, as a user is told it. The engine's own words (for the log
// and an alert's details) travel beside it; rewording them changes nothing a
// user reads.
enum class failure_kind_t : int32_t {
    none = 0,                    // the run did not fail
    disconnected,                // the connection with the device was lost
    silent,                      // the device stopped answering
    refused,                     // the device answered, but not what was asked
    unknown_bootloader,          // a bootloader that says it is not one this program writes
    no_firmware,                 // the package holds nothing for this device
    would_overwrite_bootloader,  // the image reaches into the device's bootloader; nothing was written
    access_denied,               // the system does not let this user open the device
    device_report,               // the device's own report of a problem, in its words
    midi_unavailable,            // the system's MIDI sequencer cannot be opened: the run could not start
    hid_unavailable,             // the system's HID devices cannot be listed: the run could not start
};

// Every kind a failure can have, for tables and tests.
constexpr failure_kind_t failure_kinds[] = {
    failure_kind_t::disconnected,       failure_kind_t::silent,        failure_kind_t::refused,
    failure_kind_t::unknown_bootloader, failure_kind_t::no_firmware,   failure_kind_t::would_overwrite_bootloader,
    failure_kind_t::access_denied,      failure_kind_t::device_report, failure_kind_t::midi_unavailable,
    failure_kind_t::hid_unavailable,
};

// "disconnected", "would-overwrite-bootloader", ...: the kind as JSON and logs write it.
const char* failure_word(failure_kind_t kind);
// "success", "failure" or "cancelled": how a run ended, as JSON and records write it.
const char* outcome_word(end_t end);
// "running", "stage-2", "bootloader" or "first-generation-bootloader".
const char* state_word(device_state_t state);

// "Ventaro", "Ruvo" or "undefined", as log lines and users read a kind.
const char* kind_name(kind_t kind);

// "ventaro", "ruvo" or "any", as command lines and JSON write a kind.
const char* kind_word(kind_t kind);
// The kind a word names, if any ("any" names none).
std::optional<kind_t> kind_of_word(const std::string& word);

}  // namespace zal
