// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

namespace zal {

struct flash_sector_t {
    uint32_t base_address;
    uint32_t size;
};

struct flash_map_t {
    std::array<flash_sector_t, 16> sectors;
    uint32_t base_address;
    uint8_t size;
};

// The 1 MiB flash of the STM32F40x/41x; sector 11 holds the device's bootloader.
extern const flash_map_t flash_map_stm32f40x_41x;

// Where the flash and the bootloader start (sector 11), and where the jump stub
// that starts the application lies.
constexpr uint32_t flash_base_address = 0x08000000;
constexpr uint32_t bootloader_address = 0x080E0000;
constexpr uint32_t bootloader_offset = bootloader_address - flash_base_address;
constexpr uint32_t entry_stub_address = bootloader_address - 20;

struct firmware_t {
    flash_map_t flash_map;
    std::unordered_map<uint64_t, std::vector<unsigned char>> sectors;
};

// The text of an Intel HEX file; need not be terminated.
struct ihex_t {
    const char* text;
    std::size_t length;
};

struct ihex_parser_t {
    enum class state_t : uint8_t { idle, byte_count, address, record_type, data, checksum };
    enum class record_type_t : uint8_t {
        none,
        data,
        end_of_file,
        extended_segment_address,
        start_segment_address,
        extended_linear_address,
        start_linear_address,
    };

    uint32_t address = 0;
    uint16_t segment = 0;
    bool nibble_pending = false;
    uint8_t value = 0;
    uint8_t data[255] = {};
    uint8_t length = 0;
    state_t state = state_t::idle;
    uint8_t expected = 0;
    uint8_t index = 0;
    record_type_t type = record_type_t::none;
    uint8_t sum = 0;

    // True exactly when a data or end-of-file record has just completed with a
    // correct checksum; `length` (0 at end of file) and `data` then hold it.
    bool process(char c);

    uint32_t load_address() const { return uint32_t(segment) * 16u + address; }

    // Reads the record that starts with the ':' at `p` in one go when its fields
    // are written without interruption, with the same effect as feeding its
    // characters to `process`. Returns how many characters it consumed, 0 when
    // the record needs the character-wise path; `completed` is what `process`
    // would have returned for the record's last character.
    std::size_t process_record(const char* p, std::size_t n, bool& completed);

    // Feeds a whole text: records at once where it can, characters elsewhere,
    // and what lies between records skipped in one go (the parser ignores all
    // but ':' there). Calls `completed()` after each completed record, and stops
    // early when that returns false.
    template <typename F>
    void read(const char* text, std::size_t size, F&& completed);

private:
    bool complete_byte();
    bool complete_field();
    bool complete_record();
};

template <typename F>
void ihex_parser_t::read(const char* text, std::size_t size, F&& completed) {
    const char* const end = text + size;
    for (const char* p = text; p < end;) {
        if (state == state_t::idle && *p != ':') {
            // Usually a line end, then the next record.
            if (++p < end && *p != ':' && ++p < end && *p != ':')
                p = static_cast<const char*>(std::memchr(p, ':', std::size_t(end - p)));
            if (p == nullptr || p >= end) return;
        }
        bool done = false;
        const std::size_t used = *p == ':' ? process_record(p, std::size_t(end - p), done) : 0;
        if (used != 0) {
            p += used;
        } else {
            done = process(*p);
            ++p;
        }
        if (done && !completed()) return;
    }
}

// Stores every data record of the text into `image`, which carries its flash map.
// Throws std::runtime_error when a byte falls outside the map.
void store_ihex(firmware_t& image, ihex_t text);

// Makes the reset vector of sector 0 point at the bootloader and puts the stub
// that starts the application right below it.
void apply_bootloader_entry_patch(firmware_t& image);

// Reads a firmware file: `write` into an empty image of `flash_map`, then the patch.
firmware_t load_firmware(ihex_t text, const flash_map_t& flash_map);

}  // namespace zal
