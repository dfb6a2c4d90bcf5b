// SPDX-License-Identifier: MIT
#include "devices/bootloader.hpp"

#include <algorithm>
#include <cstring>

#include "updater/uhb.hpp"

namespace zal::devices {

namespace {

namespace uhb = updater::uhb;
constexpr uint32_t late_answer_ms = 4500;  // past the longest time-out of the engine

}  // namespace

std::vector<uint8_t> info_record(kind_t kind) {
    uhb::info_t info;
    info.mcu_type = uhb::stm32f4_mcu_type;
    info.flash_size = 0x100000;
    info.erase_block_size = 0x4000;
    info.write_block_size = 4;
    info.boot_revision = 0x1310;
    info.boot_start = bootloader_offset;
    std::strncpy(info.device_name, kind == kind_t::ruvo ? "Ruvo" : "Ventaro", sizeof info.device_name - 1);
    return uhb::encode_info(info);
}

void bootloader_t::reset() {
    booted_ = false;
    write_remaining_ = 0;
}

bootloader_t::outcome_t bootloader_t::on_report(const uint8_t* report, uint64_t index) {
    using type_t = fault_t::type_t;
    outcome_t outcome;
    if (faults_.take(type_t::power_cut, index)) return {outcome_t::then_t::power_cut, {}};
    if (faults_.take(type_t::unplug_at_roundtrip, index)) return {outcome_t::then_t::unplug, {}};
    const bool silent = faults_.take(type_t::no_answer, index);
    const bool wrong = faults_.take(type_t::wrong_answer, index);
    const bool late = faults_.take(type_t::late_answer, index);
    const bool twice = faults_.take(type_t::duplicate_answer, index);
    const bool short_answer = faults_.take(type_t::short_answer, index);
    uint32_t delay = answer_ms_;
    auto answer = [&](std::vector<uint8_t> bytes) {
        if (silent) return;
        if (short_answer) bytes.resize(1);
        const uint32_t at = late ? late_answer_ms : delay;
        if (twice) outcome.answers.push_back({bytes, at});
        outcome.answers.push_back({std::move(bytes), at});
    };
    auto echo = [&](uhb::cmd_code code) {
        const auto bytes = uhb::echo_of(wrong ? uhb::cmd_code(0) : code);
        answer({bytes.begin(), bytes.end()});
    };

    if (write_remaining_ > 0) {  // a data report of the write in progress
        const uint32_t n = std::min<uint32_t>(write_remaining_, uhb::report_size);
        flash_.program(write_address_, report, n);
        write_address_ += n;
        write_remaining_ -= n;
        if (write_remaining_ == 0) echo(uhb::cmd_code::write);
        return outcome;
    }
    const std::optional<uhb::command_t> command = uhb::decode_command(report, uhb::report_size);
    if (!command) return outcome;  // not a command: ignored
    switch (command->code) {
        case uhb::cmd_code::info: {
            std::vector<uint8_t> record = info_record(kind_);
            if (wrong) record[2] = 36;
            if (faults_.take(type_t::short_info)) record.resize(55);
            answer(std::move(record));
            break;
        }
        case uhb::cmd_code::boot:  // the host takes over: no more waiting for the application
            booted_ = true;
            echo(command->code);
            break;
        case uhb::cmd_code::sync: echo(command->code); break;
        case uhb::cmd_code::erase:
            // It refuses to erase its own sector, and then erases nothing.
            if (!flash_.erase(command->address, command->count)) {
                answer({uhb::start_byte, 0x00});
                break;
            }
            if (const fault_t* slow = faults_.pending(type_t::slow_erase); slow && command->address == 0) {
                delay = uint32_t(slow->value);
                faults_.take(type_t::slow_erase);
            }
            echo(command->code);
            break;
        case uhb::cmd_code::write:  // data reports follow
            write_address_ = command->address;
            write_remaining_ = command->count;
            break;
        case uhb::cmd_code::reboot: outcome.then = outcome_t::then_t::reboot; break;
        default: break;
    }
    return outcome;
}

}  // namespace zal::devices
