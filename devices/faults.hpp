// SPDX-License-Identifier: MIT
#pragma once

// Faults a simulated device can be told to show, and the list that lets each
// strike once: a second run on the same device finds it healthy.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zal::devices {

struct fault_t {
    enum class type_t {
        unplug_at_request,    // unplugged shortly after the first bootloader request, unanswered
        unplug_at_stage2,     // unplugged shortly after the first stage-2 status request
        unplug_at_roundtrip,  // unplugged when HID report `value` arrives
        no_answer,            // HID report `value` gets no answer
        wrong_answer,         // HID report `value` gets a wrong answer
        power_cut,            // power lost when HID report `value` arrives; back a second later
        stage2_error,         // the stage-2 firmware reports `text` instead of completing
        stage2_stall,         // the stage-2 firmware falls silent after `value` reports (0: never reports)
        refuse_send,          // nothing can be sent to the device's MIDI ports
        slow_erase,           // the next erase of sector 0 takes `value` milliseconds
        late_answer,          // the answer to HID report `value` comes 4.5 s late, after any time-out
        duplicate_answer,     // the answer to HID report `value` comes twice
        short_answer,         // the answer to HID report `value` is one byte long
        short_info,           // the next information record is 55 bytes long
        slow_enumeration,     // the next re-enumeration takes `value` milliseconds
        refuse_open,          // the next bootloader node refuses to open for `value` milliseconds
    };
    type_t type;
    uint64_t value = 0;  // a HID report counted over the device's life, a count or milliseconds
    std::string text = {};
};

// Reads "unplug-at-request", "unplug-at-stage2", "unplug-at-roundtrip:K",
// "no-answer:K", "wrong-answer:K", "power-cut:K", "stage2-error:TEXT",
// "stage2-stall[:K]" (K reports, 1 by default), "refuse-send", "slow-erase:MS",
// "late-answer:K", "duplicate-answer:K", "short-answer:K", "short-info",
// "slow-enumeration:MS", "refuse-open:MS". Nothing, with `error` set, when the
// text is none of them.
std::optional<fault_t> parse_fault(const std::string& fault, std::string& error);

class fault_list_t {
public:
    explicit fault_list_t(std::vector<fault_t> faults = {})
        : faults_(std::move(faults)), fired_(faults_.size(), false) {}

    // The first fault of this type that has not struck yet.
    const fault_t* pending(fault_t::type_t type) const;
    // Strikes the first pending fault of this type (for those counted in HID
    // reports, only at report `report`); whether one did.
    bool take(fault_t::type_t type, uint64_t report = 0);

private:
    std::vector<fault_t> faults_;
    std::vector<bool> fired_;
};

}  // namespace zal::devices
