#pragma once

// The bootloaders' USB HID report protocol: command codes, the information
// record and the checks of the device's responses.

#include <cstddef>
#include <cstdint>

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

// Where the bootloader begins, from the flash base: the record's boot start
// (given as an address or an offset), or the known device's top sector when the
// record leaves it out.
constexpr uint32_t known_bootloader_offset = 0xE0000;
uint32_t bootloader_offset(const info_t& info, uint32_t flash_base);

template <cmd_code Code>
bool check_response(const uint8_t* data, std::size_t length, const char*& error);

}  // namespace zal::updater::uhb
