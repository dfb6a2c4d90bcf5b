// SPDX-License-Identifier: MIT
#include "cli/failure_text.hpp"

#include "cli/catalogue.hpp"

namespace zal::cli {

const char* plain_failure(failure_kind_t kind) {
    switch (kind) {
        case failure_kind_t::disconnected:
            return translated("Cli",
                              "The connection with your device was lost: it may have been unplugged or turned off.");
        case failure_kind_t::silent: return translated("Cli", "Your device stopped answering during the update.");
        case failure_kind_t::refused: return translated("Cli", "Your device did not accept what the updater sent it.");
        case failure_kind_t::unknown_bootloader:
            return translated("Cli", "The device waiting for its firmware is not one this updater can write.");
        case failure_kind_t::no_firmware:
            return translated("Cli", "This update holds no firmware that fits the connected device.");
        case failure_kind_t::would_overwrite_bootloader:
            return translated("Cli",
                              "This update does not fit the connected device: it would overwrite the part that lets "
                              "the device be updated. Nothing was written.");
        case failure_kind_t::access_denied:
            return translated("Cli",
                              "This computer does not let the updater use your device. Install Ventaro Update from "
                              "its package (it installs the device rules), then disconnect the device and connect it "
                              "again.");
        case failure_kind_t::device_report:
        case failure_kind_t::none: break;
    }
    return translated("Cli", "Your device reported a problem during the update.");
}

}  // namespace zal::cli
