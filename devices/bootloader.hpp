// SPDX-License-Identifier: MIT
#pragma once

// The devices' USB HID bootloader: answers the host's command and data reports
// and programs the flash model. It decides nothing about the connection; what
// follows a report (answers, a reboot, a lost connection) is its result.

#include <cstdint>
#include <vector>

#include "devices/faults.hpp"
#include "devices/flash_model.hpp"
#include "updater/kind.hpp"

namespace zal::devices {

// The information record as an STM32F4 board's bootloader sends it, with our
// device's name.
std::vector<uint8_t> info_record(kind_t kind);

class bootloader_t {
public:
    bootloader_t(flash_model_t& flash, fault_list_t& faults, kind_t kind, uint32_t answer_ms)
        : flash_(flash), faults_(faults), kind_(kind), answer_ms_(answer_ms) {}

    struct answer_t {
        std::vector<uint8_t> bytes;
        uint32_t delay_ms;
    };
    struct outcome_t {
        enum class then_t { stay, reboot, power_cut, unplug } then = then_t::stay;
        std::vector<answer_t> answers;
    };

    // A new start: nothing in progress, the application not yet held back.
    void reset();
    // Report `index` (counted over the device's life), without its report number.
    outcome_t on_report(const uint8_t* report, uint64_t index);
    // Whether the host took over with `boot`, so that the application waits.
    bool booted() const { return booted_; }

private:
    flash_model_t& flash_;
    fault_list_t& faults_;
    kind_t kind_;
    uint32_t answer_ms_;
    bool booted_ = false;
    uint32_t write_address_ = 0;
    uint32_t write_remaining_ = 0;
};

}  // namespace zal::devices
