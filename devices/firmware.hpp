// SPDX-License-Identifier: MIT
#pragma once

// The devices' two firmwares as the update sees them over MIDI: the normal
// firmware, which reboots into its bootloader on the handshake, and the stage-2
// updater firmware, which reports its progress and ends with an error or
// completion. Each answers the host's messages; the device decides when.

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "devices/faults.hpp"
#include "updater/kind.hpp"

namespace zal::devices {

class normal_firmware_t {
public:
    explicit normal_firmware_t(kind_t kind, bool unnamed_jacks = false) : kind_(kind), unnamed_(unnamed_jacks) {}

    // The USB-MIDI device it shows: its name and its ports' jack names, the main
    // one first; "" for a jack without a string.
    std::string name() const;
    std::vector<std::string> ports() const;

    // A start: a new key for the handshake.
    void start(std::mt19937& random);

    enum class then_t { nothing, send_key, unplug_soon, reboot_into_bootloader };
    then_t on_message(std::size_t port, const std::vector<uint8_t>& message, fault_list_t& faults) const;
    std::vector<uint8_t> key_message() const;

private:
    kind_t kind_;
    bool unnamed_;
    std::array<uint8_t, 4> key_{};
};

class stage2_firmware_t {
public:
    explicit stage2_firmware_t(kind_t kind) : kind_(kind) {}

    std::string name() const;
    std::vector<std::string> ports() const { return {"MIDI 1"}; }

    void start();

    enum class then_t { nothing, start_reporting, report_complete, unplug_soon, reboot };
    then_t on_message(const std::vector<uint8_t>& message, fault_list_t& faults);
    // The next report while it works; `more` says whether another follows.
    std::vector<uint8_t> next_report(fault_list_t& faults, bool& more);
    std::vector<uint8_t> complete_message() const;

    int status_requests() const { return status_requests_; }

private:
    static constexpr int steps = 10;
    kind_t kind_;
    bool reporting_ = false;
    bool done_ = false;
    int step_ = 0;
    int status_requests_ = 0;
};

}  // namespace zal::devices
