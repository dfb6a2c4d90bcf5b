// SPDX-License-Identifier: MIT
#include "updater/sentences.hpp"

#include "common/text/marked.hpp"

namespace zal {

const char* failure_sentence(failure_kind_t kind) {
    switch (kind) {
        case failure_kind_t::disconnected:
            return ZAL_TEXT("Engine",
                            "The connection with your device was lost: it may have been unplugged or turned off.");
        case failure_kind_t::silent: return ZAL_TEXT("Engine", "Your device stopped answering during the update.");
        case failure_kind_t::refused: return ZAL_TEXT("Engine", "Your device did not accept what the updater sent it.");
        case failure_kind_t::unknown_bootloader:
            return ZAL_TEXT("Engine", "The device waiting for its firmware is not one this updater can write.");
        case failure_kind_t::no_firmware:
            return ZAL_TEXT("Engine", "This update holds no firmware that fits the connected device.");
        case failure_kind_t::would_overwrite_bootloader:
            return ZAL_TEXT("Engine",
                            "This update does not fit the connected device: it would overwrite the part that lets "
                            "the device be updated. Nothing was written.");
        case failure_kind_t::access_denied:
            return ZAL_TEXT("Engine",
                            "This computer does not let the updater use your device. Install Ventaro Update from its "
                            "package (it installs the device rules), then disconnect the device and connect it again.");
        case failure_kind_t::midi_unavailable:
            return ZAL_TEXT("Engine",
                            "This computer's MIDI sequencer is not available, so the updater cannot reach your device. "
                            "Load it (sudo modprobe snd-seq), or restart the computer, then run the update again.");
        case failure_kind_t::hid_unavailable:
            return ZAL_TEXT("Engine",
                            "This computer's USB HID devices cannot be listed, so the updater cannot reach your "
                            "device. Restart the computer, then run the update again.");
        case failure_kind_t::device_report:
        case failure_kind_t::none: break;
    }
    return ZAL_TEXT("Engine", "Your device reported a problem during the update.");
}

run_end_text_t run_end_text(const std::string& outcome, const std::string& failure) {
    if (outcome == "success") return {ZAL_TEXT("Engine", "Succeeded")};
    if (outcome == "cancelled") return {ZAL_TEXT("Engine", "Cancelled")};
    if (outcome == "running") return {ZAL_TEXT("Engine", "In progress")};
    if (outcome == "interrupted") return {ZAL_TEXT("Engine", "Interrupted (the program was stopped)")};
    for (const failure_kind_t kind : failure_kinds)
        if (failure == failure_word(kind)) return {ZAL_TEXT("Engine", "Failed: %1"), failure_sentence(kind)};
    return {ZAL_TEXT("Engine", "Failed")};
}

const char* const history_empty = ZAL_TEXT("Engine", "No update recorded on this computer yet.");
const char* const history_unreadable = ZAL_TEXT("Engine", "The update history cannot be read: %1.");

bool failure_says_next_step(failure_kind_t kind) {
    return kind == failure_kind_t::access_denied || kind == failure_kind_t::midi_unavailable ||
           kind == failure_kind_t::hid_unavailable;
}

const char* failure_next_step(failure_kind_t kind) {
    if (failure_says_next_step(kind)) return nullptr;
    return ZAL_TEXT("Engine",
                    "Disconnect your device, connect it again and run the update once more: it will finish the job.");
}

const char* run_outcome_sentence(const std::string& outcome, const std::string& failure) {
    if (outcome == "success") return ZAL_TEXT("Engine", "The update succeeded.");
    if (outcome == "cancelled") return ZAL_TEXT("Engine", "The update was cancelled.");
    if (outcome == "running") return ZAL_TEXT("Engine", "The update is still running.");
    if (outcome == "interrupted") return ZAL_TEXT("Engine", "The update was interrupted: the program was stopped.");
    for (const failure_kind_t kind : failure_kinds)
        if (failure == failure_word(kind)) return failure_sentence(kind);
    return failure_sentence(failure_kind_t::none);
}

}  // namespace zal
