// SPDX-License-Identifier: MIT
#pragma once

// The 1 MiB flash of an STM32F40x as the devices' firmware sees it: erasing a
// sector sets it to 0xFF, writing can only clear bits, and the bootloader's top
// sector is never changed. It also knows what the flash would start.

#include <array>
#include <cstdint>
#include <vector>

#include "update/firmware.hpp"

namespace zal::devices {

constexpr uint32_t flash_base = flash_base_address;
constexpr std::size_t flash_size = 0x100000;

class flash_model_t {
public:
    // `given`: 1 MiB from the flash base (the bootloader's sector is kept as the
    // model has it); empty: a factory flash, whose vector table enters the
    // bootloader and whose jump stub is set, the rest erased.
    explicit flash_model_t(const std::vector<uint8_t>& given = {});

    const std::vector<uint8_t>& bytes() const { return bytes_; }

    // Erases `count` sectors from the one holding `offset`; false, erasing
    // nothing, when that would reach the bootloader's sector.
    bool erase(uint32_t offset, uint32_t count);
    // Writes below the bootloader's sector; what falls in it is dropped.
    void program(uint32_t offset, const uint8_t* data, std::size_t length);

    enum class start_t { nothing, bootloader, application };
    // What a reset starts, from the vector table in sector 0.
    start_t reset_start() const;
    // Whether an application is there for the bootloader to start.
    bool application_present() const;
    // Whether the flash holds this image whole, and nothing was erased or
    // written after it: the firmware that starts is the one written last.
    bool holds_newest(const firmware_t& image) const;

private:
    void mark_written(uint32_t offset);

    std::vector<uint8_t> bytes_;
    std::array<uint64_t, 12> sector_written_{};  // when each sector was last changed
    uint64_t serial_ = 0;
};

// The sector of the STM32F40x map holding `offset` (from the flash base), or -1.
int sector_index(uint32_t offset);

// What the flash holds after a plan-driven update with this image, as the
// flash model computes it: for checking a simulated device's flash.
std::vector<uint8_t> expected_flash(const std::vector<uint8_t>& before, const firmware_t& image);

// A flash as an earlier firmware left it: `code_size` bytes of random code from
// the flash base, installed as the bootloader installs an image (sector 0's
// reset vector entering the bootloader, the jump stub at the end of sector 10).
std::vector<uint8_t> older_application_flash(uint32_t seed, std::size_t code_size = 60000);

}  // namespace zal::devices
