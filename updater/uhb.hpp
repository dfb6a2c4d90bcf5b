// SPDX-License-Identifier: MIT
#pragma once

// The bootloaders' USB HID report protocol: command codes, the information
// record and the checks of the device's responses.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "updater/kind.hpp"
#include "common/text/marked.hpp"

namespace zal::updater::uhb {

enum class cmd_code : uint8_t { sync = 1, info = 2, boot = 3, reboot = 4, write = 11, erase = 21 };

constexpr uint8_t start_byte = 0x0F;
constexpr std::size_t report_size = 64;
constexpr uint8_t info_record_size = 56;
constexpr uint8_t stm32f4_mcu_type = 37;

struct info_t {
    uint8_t mcu_type = 0;
    uint32_t flash_size = 0;
    uint16_t erase_block_size = 0;
    uint16_t write_block_size = 0;
    uint16_t boot_revision = 0;
    uint32_t boot_start = 0;
    char device_name[32] = {};  // a longer name is cut to 31 characters

    bool read(const uint8_t* data, std::size_t length);
};

// A command report: start byte, code, then the address and the count, little-endian.
struct command_t {
    cmd_code code;
    uint32_t address = 0;
    uint16_t count = 0;
};
std::array<uint8_t, report_size> encode(const command_t& command);
// The command a report carries; nothing for a report that is none (write data).
std::optional<command_t> decode_command(const uint8_t* report, std::size_t length);
// The bootloader's answer to a command: the start byte and the command's code.
std::array<uint8_t, 2> echo_of(cmd_code code);
// The information record as a bootloader sends it (`device_name` cut to 31).
std::vector<uint8_t> encode_info(const info_t& info);

// Where the bootloader begins, from the flash base: the record's boot start
// (given as an address or an offset), or the known device's top sector when the
// record leaves it out.
uint32_t bootloader_offset_of(const info_t& info, uint32_t flash_base);

// What is wrong with a bootloader's answer: why, in a user's terms and in the log's.
struct wrong_answer_t {
    failure_kind_t kind = failure_kind_t::refused;
    const char* text = ZAL_TEXT("Engine", "Wrong response in HID report.");
};

// Nothing when the answer is right.
template <cmd_code Code>
std::optional<wrong_answer_t> check_response(const uint8_t* data, std::size_t length);
// The information record has more to check than its command code.
template <>
std::optional<wrong_answer_t> check_response<cmd_code::info>(const uint8_t* data, std::size_t length);

}  // namespace zal::updater::uhb
