// SPDX-License-Identifier: MIT
#include "devices/faults.hpp"

#include <algorithm>

namespace zal::devices {

std::optional<fault_t> parse_fault(const std::string& fault, std::string& error) {
    const std::size_t colon = fault.find(':');
    const std::string name = fault.substr(0, colon);
    const std::string value = colon == std::string::npos ? std::string() : fault.substr(colon + 1);
    auto counted = [&](fault_t::type_t type, const char* what) -> std::optional<fault_t> {
        const bool digits = !value.empty() && value.size() <= 9 &&
                            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits) {
            error = "fault '" + fault + "' needs " + what + ", as in " + name + ":12";
            return std::nullopt;
        }
        return fault_t{type, std::stoull(value), {}};
    };
    using type_t = fault_t::type_t;
    if (name == "unplug-at-request" && value.empty()) return fault_t{type_t::unplug_at_request, 0, {}};
    if (name == "unplug-at-stage2" && value.empty()) return fault_t{type_t::unplug_at_stage2, 0, {}};
    if (name == "refuse-send" && value.empty()) return fault_t{type_t::refuse_send, 0, {}};
    if (name == "short-info" && value.empty()) return fault_t{type_t::short_info, 0, {}};
    if (name == "stage2-stall" && value.empty()) return fault_t{type_t::stage2_stall, 1, {}};
    if (name == "stage2-stall") return counted(type_t::stage2_stall, "a number of reports");
    if (name == "unplug-at-roundtrip") return counted(type_t::unplug_at_roundtrip, "a roundtrip number");
    if (name == "no-answer") return counted(type_t::no_answer, "a roundtrip number");
    if (name == "wrong-answer") return counted(type_t::wrong_answer, "a roundtrip number");
    if (name == "power-cut") return counted(type_t::power_cut, "a roundtrip number");
    if (name == "late-answer") return counted(type_t::late_answer, "a roundtrip number");
    if (name == "duplicate-answer") return counted(type_t::duplicate_answer, "a roundtrip number");
    if (name == "short-answer") return counted(type_t::short_answer, "a roundtrip number");
    if (name == "slow-erase") return counted(type_t::slow_erase, "a time in milliseconds");
    if (name == "slow-enumeration") return counted(type_t::slow_enumeration, "a time in milliseconds");
    if (name == "refuse-open") return counted(type_t::refuse_open, "a time in milliseconds");
    if (name == "stage2-error" && !value.empty()) return fault_t{type_t::stage2_error, 0, value};
    error = "unknown fault '" + fault + "'";
    return std::nullopt;
}

const fault_t* fault_list_t::pending(fault_t::type_t type) const {
    for (std::size_t i = 0; i < faults_.size(); ++i)
        if (faults_[i].type == type && !fired_[i]) return &faults_[i];
    return nullptr;
}

bool fault_list_t::take(fault_t::type_t type, uint64_t report) {
    using t = fault_t::type_t;
    const bool counted = type == t::unplug_at_roundtrip || type == t::no_answer || type == t::wrong_answer ||
                         type == t::power_cut || type == t::late_answer || type == t::duplicate_answer ||
                         type == t::short_answer;
    for (std::size_t i = 0; i < faults_.size(); ++i) {
        if (faults_[i].type == type && !fired_[i] && (!counted || faults_[i].value == report)) {
            fired_[i] = true;
            return true;
        }
    }
    return false;
}

}  // namespace zal::devices
