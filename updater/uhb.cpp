// SPDX-License-Identifier: MIT
#include "updater/uhb.hpp"
#include "common/text/marked.hpp"

#include "update/firmware.hpp"

namespace zal::updater::uhb {

bool info_t::read(const uint8_t* data, std::size_t length) {
    if (length < info_record_size || length > report_size || data[0] != info_record_size) return false;

    // Bytes after the identifier that each field takes, and where its value starts.
    struct layout_t {
        uint8_t size;
        uint8_t value_from;
    };
    auto layout_of = [](uint8_t id) -> layout_t {
        switch (id) {
            case 1: return {1, 0};
            case 3:
            case 4:
            case 5: return {3, 1};
            case 6:
            case 8: return {7, 3};
            default: return {0, 0};
        }
    };

    uint8_t field = 0;
    std::size_t index = 0;
    uint32_t value = 0;
    std::size_t name_length = 0;
    for (std::size_t i = 1; i < info_record_size; ++i) {
        const uint8_t b = data[i];
        if (field == 0) {
            if (b == 0) continue;
            field = b;
            index = 0;
            value = 0;
            name_length = 0;
            continue;
        }
        if (field == 2 || field > 8) return false;
        if (field == 7) {
            if (b == 0) {
                device_name[name_length] = 0;
                field = 0;
            } else if (name_length < sizeof device_name - 1) {
                device_name[name_length++] = char(b);
                device_name[name_length] = 0;
            }
            continue;
        }
        const layout_t layout = layout_of(field);
        if (index >= layout.value_from) value |= uint32_t(b) << (8 * (index - layout.value_from));
        if (++index < layout.size) continue;
        switch (field) {
            case 1: mcu_type = uint8_t(value); break;
            case 3: erase_block_size = uint16_t(value); break;
            case 4: write_block_size = uint16_t(value); break;
            case 5: boot_revision = uint16_t(value); break;
            case 6: boot_start = value; break;
            case 8: flash_size = value; break;
            default: break;
        }
        field = 0;
    }
    return true;
}

std::array<uint8_t, report_size> encode(const command_t& command) {
    std::array<uint8_t, report_size> report{};
    report[0] = start_byte;
    report[1] = uint8_t(command.code);
    for (int i = 0; i < 4; ++i) report[2 + std::size_t(i)] = uint8_t(command.address >> (8 * i));
    report[6] = uint8_t(command.count);
    report[7] = uint8_t(command.count >> 8);
    return report;
}

std::optional<command_t> decode_command(const uint8_t* report, std::size_t length) {
    if (length < 8 || report[0] != start_byte) return std::nullopt;
    const uint32_t address =
        uint32_t(report[2]) | uint32_t(report[3]) << 8 | uint32_t(report[4]) << 16 | uint32_t(report[5]) << 24;
    return command_t{cmd_code(report[1]), address, uint16_t(report[6] | report[7] << 8)};
}

std::array<uint8_t, 2> echo_of(cmd_code code) { return {start_byte, uint8_t(code)}; }

std::vector<uint8_t> encode_info(const info_t& info) {
    std::vector<uint8_t> record = {info_record_size, 1, info.mcu_type, 0};
    auto put = [&](uint8_t field, std::size_t skip, uint32_t value, std::size_t bytes) {
        record.push_back(field);
        record.insert(record.end(), skip, 0);
        for (std::size_t i = 0; i < bytes; ++i) record.push_back(uint8_t(value >> (8 * i)));
    };
    put(8, 3, info.flash_size, 4);
    put(3, 1, info.erase_block_size, 2);
    put(4, 1, info.write_block_size, 2);
    put(5, 1, info.boot_revision, 2);
    put(6, 3, info.boot_start, 4);
    record.push_back(7);
    for (std::size_t i = 0; i < sizeof info.device_name - 1 && info.device_name[i] != 0; ++i)
        record.push_back(uint8_t(info.device_name[i]));
    record.push_back(0);
    record.resize(report_size, 0);
    return record;
}

uint32_t bootloader_offset_of(const info_t& info, uint32_t flash_base) {
    if (info.boot_start == 0) return bootloader_offset;
    return info.boot_start >= flash_base && flash_base != 0 ? info.boot_start - flash_base : info.boot_start;
}

template <cmd_code Code>
std::optional<wrong_answer_t> check_response(const uint8_t* data, std::size_t length) {
    if (length >= 2 && data[0] == start_byte && data[1] == uint8_t(Code)) return std::nullopt;
    return wrong_answer_t{};
}

template <>
std::optional<wrong_answer_t> check_response<cmd_code::info>(const uint8_t* data, std::size_t length) {
    info_t info;
    if (!info.read(data, length))
        return wrong_answer_t{failure_kind_t::refused, ZAL_TEXT("Engine", "Invalid bootloader info data.")};
    if (info.mcu_type != stm32f4_mcu_type)
        return wrong_answer_t{failure_kind_t::unknown_bootloader, ZAL_TEXT("Engine", "Invalid bootloader info.")};
    return std::nullopt;
}

template std::optional<wrong_answer_t> check_response<cmd_code::sync>(const uint8_t*, std::size_t);
template std::optional<wrong_answer_t> check_response<cmd_code::boot>(const uint8_t*, std::size_t);
template std::optional<wrong_answer_t> check_response<cmd_code::write>(const uint8_t*, std::size_t);
template std::optional<wrong_answer_t> check_response<cmd_code::erase>(const uint8_t*, std::size_t);

}  // namespace zal::updater::uhb
