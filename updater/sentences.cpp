// SPDX-License-Identifier: MIT
#include "updater/sentences.hpp"

#include <cerrno>

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

sentence_t feed_failure_sentence(const failure_t& failure) {
    switch (failure.code) {
        case EDESTADDRREQ:
            return {ZAL_TEXT("Engine",
                             "No list of firmware is configured on this computer. An administrator can name one with "
                             "feed-url= in /etc/ventaro-update/ventaro-update.conf."),
                    {}};
        case EPROTONOSUPPORT:
            return {ZAL_TEXT("Engine",
                             "The list of firmware was not fetched: its address, or one the server sent the updater "
                             "to, is not a secure (https://) address. Ask the maker or your administrator for the "
                             "right address."),
                    {}};
        case ENOENT:
            return {ZAL_TEXT("Engine",
                             "The list of firmware, or a package it names, is not where its address says. Check its "
                             "address (feed-url= in /etc/ventaro-update/ventaro-update.conf), then check again; if "
                             "this stays, tell the maker."),
                    {}};
        case ECONNREFUSED:
            return {ZAL_TEXT("Engine",
                             "The maker's server could not prove who it is, so nothing was fetched from it. Check "
                             "this computer's date and time and its network (some networks intercept secure "
                             "connections), then check again."),
                    {}};
        case ETIMEDOUT:
            return {ZAL_TEXT("Engine",
                             "The maker's server stopped sending, or sent too slowly. Check your network connection, "
                             "then check again."),
                    {}};
        case EFBIG:
            return {ZAL_TEXT("Engine",
                             "The maker's server sent more than expected, so the transfer was stopped and nothing was "
                             "kept. Check again later; if this stays, tell the maker."),
                    {}};
        case ENOKEY:
            return {ZAL_TEXT("Engine",
                             "The list of firmware is not signed by a key this computer trusts for it, so it was not "
                             "believed. Check again later; if this stays, tell the maker."),
                    {}};
        case EBADMSG:
            return {ZAL_TEXT("Engine",
                             "The list of firmware was changed after the maker signed it, or its signature is "
                             "damaged, so it was not believed. Check again later; if this stays, tell the maker."),
                    {}};
        case EINVAL:
            return {ZAL_TEXT("Engine",
                             "The list of firmware cannot be read. Check again later; if this stays, tell the maker."),
                    {}};
        case EIO:
            return {ZAL_TEXT("Engine",
                             "The update history cannot be read, so an old list of firmware could not be told from a "
                             "new one. See ventaro-update-cli history for why, then check again."),
                    {}};
        case EILSEQ:
            return {ZAL_TEXT("Engine",
                             "The downloaded package is not the one the list of firmware describes, so it was deleted. "
                             "Try again later; if this stays, tell the maker."),
                    {}};
        case EKEYREJECTED:
            return {ZAL_TEXT("Engine",
                             "The downloaded package is not signed by a key this computer trusts, so it was deleted. "
                             "Tell the maker."),
                    {}};
        case EACCES:
            return {ZAL_TEXT("Engine",
                             "The downloaded package could not be kept in this user's cache folder "
                             "(~/.cache/ventaro-update). Check that the folder is yours and the disk has room, then "
                             "try again."),
                    {}};
        case ECANCELED: return {ZAL_TEXT("Engine", "The download was cancelled; nothing was kept."), {}};
        default: break;
    }
    return {ZAL_TEXT("Engine",
                     "The maker's server could not be reached, or the transfer broke off. Check your network "
                     "connection, then check again."),
            {}};
}

sentence_t offer_sentence(kind_t kind, const std::string& version, const std::string& release_date) {
    return {ZAL_TEXT("Engine", "%1 firmware %2 (%3) is available."), {kind_name(kind), version, release_date}};
}

const char* const feed_up_to_date =
    ZAL_TEXT("Engine", "Your firmware is up to date: the maker lists nothing newer than what this computer installed.");
const char* const feed_replayed =
    ZAL_TEXT("Engine",
             "The list of firmware was refused: it is older (number %1) than one already read (number %2), so "
             "someone may be sending an old list again. Check again later; if this stays, tell the maker.");
const char* const feed_expired =
    ZAL_TEXT("Engine",
             "The list of firmware is out of date (it expired on %1); the maker's "
             "server may be stale or held back. Check again later; if this stays, tell the maker.");
const char* const feed_from_future =
    ZAL_TEXT("Engine",
             "The list of firmware says it was made on %1, more than a day from now: this computer's clock may be "
             "wrong. Set its date and time, then check again.");

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
