// SPDX-License-Identifier: MIT
#include "devices/firmware.hpp"

#include <algorithm>

#include "updater/midi.hpp"

namespace zal::devices {

namespace {

namespace midi = updater::midi;

template <typename A>
bool is(const std::vector<uint8_t>& message, const A& expected) {
    return std::equal(message.begin(), message.end(), expected.begin(), expected.end());
}

}  // namespace

std::string normal_firmware_t::name() const { return kind_ == kind_t::ruvo ? "Ventaro Ruvo" : "Ventaro"; }

std::vector<std::string> normal_firmware_t::ports() const {
    if (kind_ == kind_t::ruvo && unnamed_) return {"", "", ""};
    if (kind_ == kind_t::ruvo) return {"Ventaro", "MIDI DIN", "USB-MIDI Host"};
    return {"MIDI 1"};
}

void normal_firmware_t::start(std::mt19937& random) {
    for (uint8_t& k : key_) k = uint8_t(random() & 0x7F);
}

normal_firmware_t::then_t normal_firmware_t::on_message(std::size_t port, const std::vector<uint8_t>& message,
                                                        fault_list_t& faults) const {
    if (port != 0) return then_t::nothing;  // only the main port takes the handshake
    if (is(message, midi::bootloader_request)) {
        // Unplugged once the host listens, unanswered.
        return faults.take(fault_t::type_t::unplug_at_request) ? then_t::unplug_soon : then_t::send_key;
    }
    midi::bootloader_magic_key_t key;
    key.k = key_;
    if (is(message, midi::bootloader_confirmation(key))) return then_t::reboot_into_bootloader;
    return then_t::nothing;
}

std::vector<uint8_t> normal_firmware_t::key_message() const {
    midi::bootloader_magic_key_t key;
    key.k = key_;
    return midi::bootloader_key_message(key);
}

std::string stage2_firmware_t::name() const { return kind_ == kind_t::ruvo ? "Ruvo Updater" : "Ventaro Updater"; }

void stage2_firmware_t::start() {
    reporting_ = false;
    done_ = false;
    step_ = 0;
}

stage2_firmware_t::then_t stage2_firmware_t::on_message(const std::vector<uint8_t>& message, fault_list_t& faults) {
    if (is(message, midi::stage2_finish_request)) return then_t::reboot;
    if (!is(message, midi::stage2_status_request)) return then_t::nothing;
    ++status_requests_;
    if (faults.take(fault_t::type_t::unplug_at_stage2)) return then_t::unplug_soon;
    const fault_t* stall = faults.pending(fault_t::type_t::stage2_stall);
    if (stall && stall->value == 0) return then_t::nothing;  // a firmware that never answers
    if (done_) return then_t::report_complete;               // asked again: it is still done
    if (reporting_) return then_t::nothing;
    // Asked after an error too: it starts its work over.
    reporting_ = true;
    step_ = 0;
    return then_t::start_reporting;
}

std::vector<uint8_t> stage2_firmware_t::next_report(fault_list_t& faults, bool& more) {
    more = false;
    using report_t = midi::stage2_report_t;
    const fault_t* error = faults.pending(fault_t::type_t::stage2_error);
    if (error && step_ == steps / 2) {
        const std::string text = error->text;
        faults.take(fault_t::type_t::stage2_error);
        reporting_ = false;
        return midi::stage2_report_message({report_t::type_t::error, 0, text});
    }
    if (step_ > steps) {
        done_ = true;
        return complete_message();
    }
    const float value = float(step_) / float(steps);
    ++step_;
    more = true;
    if (const fault_t* stall = faults.pending(fault_t::type_t::stage2_stall); stall && step_ == int(stall->value)) {
        faults.take(fault_t::type_t::stage2_stall);
        more = false;
    }
    return midi::stage2_report_message({report_t::type_t::progress, value, {}});
}

std::vector<uint8_t> stage2_firmware_t::complete_message() const {
    return midi::stage2_report_message({midi::stage2_report_t::type_t::complete, 0, {}});
}

}  // namespace zal::devices
