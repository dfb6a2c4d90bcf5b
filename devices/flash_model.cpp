// SPDX-License-Identifier: MIT
#include "devices/flash_model.hpp"

#include <algorithm>
#include <random>

namespace zal::devices {

namespace {

constexpr uint32_t stub_offset = bootloader_offset - 20;

uint32_t le32(const std::vector<uint8_t>& bytes, std::size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

const flash_sector_t& sector(int index) { return flash_map_stm32f40x_41x.sectors[std::size_t(index)]; }

}  // namespace

int sector_index(uint32_t offset) {
    for (int i = 0; i < flash_map_stm32f40x_41x.size; ++i) {
        const uint32_t start = sector(i).base_address - flash_base;
        if (offset >= start && offset < start + sector(i).size) return i;
    }
    return -1;
}

flash_model_t::flash_model_t(const std::vector<uint8_t>& given) : bytes_(flash_size, 0xFF) {
    // Bytes the simulation keeps in the bootloader's own sector.
    for (uint32_t i = bootloader_offset; i < flash_size; ++i) bytes_[i] = uint8_t(i * 7 + 3);
    if (!given.empty()) {
        std::copy_n(given.begin(), std::min(given.size(), std::size_t(bootloader_offset)), bytes_.begin());
        return;
    }
    const uint32_t words[] = {0x20020000, flash_base + bootloader_offset + 1};
    for (std::size_t w = 0; w < 2; ++w)
        for (std::size_t i = 0; i < 4; ++i) bytes_[w * 4 + i] = uint8_t(words[w] >> (8 * i));
    std::fill(bytes_.begin() + stub_offset, bytes_.begin() + bootloader_offset, 0x47);
}

bool flash_model_t::erase(uint32_t offset, uint32_t count) {
    std::vector<int> sectors;
    for (int i = sector_index(offset); i >= 0 && sectors.size() < count && i < flash_map_stm32f40x_41x.size; ++i)
        sectors.push_back(i);
    for (int i : sectors)
        if (sector(i).base_address - flash_base >= bootloader_offset) return false;
    for (int i : sectors) {
        const uint32_t start = sector(i).base_address - flash_base;
        std::fill(bytes_.begin() + start, bytes_.begin() + start + sector(i).size, 0xFF);
        mark_written(start);
    }
    return true;
}

void flash_model_t::program(uint32_t offset, const uint8_t* data, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const uint32_t at = offset + uint32_t(i);
        if (at >= bootloader_offset) continue;  // acknowledged, never stored
        bytes_[at] &= data[i];
    }
    if (length > 0) mark_written(offset);
}

void flash_model_t::mark_written(uint32_t offset) {
    if (const int i = sector_index(offset); i >= 0) sector_written_[std::size_t(i)] = ++serial_;
}

flash_model_t::start_t flash_model_t::reset_start() const {
    const uint32_t reset = le32(bytes_, 4);
    const uint32_t target = (reset & ~1u) >= flash_base ? (reset & ~1u) - flash_base : (reset & ~1u);
    if (reset == 0xFFFFFFFF || target >= flash_size) return start_t::nothing;
    return target >= bootloader_offset ? start_t::bootloader : start_t::application;
}

bool flash_model_t::application_present() const {
    const uint32_t reset = le32(bytes_, 4);
    if (reset == 0xFFFFFFFF) return false;  // an erased vector table is no jump through the stub
    const bool via_stub = (reset & ~1u) % flash_base >= bootloader_offset;
    if (!via_stub) return reset != 0xFFFFFFFF;
    return !std::all_of(bytes_.begin() + stub_offset, bytes_.begin() + bootloader_offset,
                        [](uint8_t b) { return b == 0xFF; });
}

bool flash_model_t::holds_newest(const firmware_t& image) const {
    uint64_t own = 0, others = 0;
    for (int i = 0; i < int(sector_written_.size()); ++i) {
        const auto block = image.sectors.find(uint64_t(i));
        if (block == image.sectors.end()) {
            others = std::max(others, sector_written_[std::size_t(i)]);
            continue;
        }
        const uint32_t start = image.flash_map.sectors[std::size_t(i)].base_address - flash_base;
        if (start + block->second.size() > bytes_.size() ||
            !std::equal(block->second.begin(), block->second.end(), bytes_.begin() + start))
            return false;
        own = std::max(own, sector_written_[std::size_t(i)]);
    }
    return own >= others;
}

std::vector<uint8_t> expected_flash(const std::vector<uint8_t>& before, const firmware_t& image) {
    std::vector<uint8_t> flash = before;
    for (const auto& [index, block] : image.sectors) {
        const flash_sector_t& s = image.flash_map.sectors[index];
        const uint32_t start = s.base_address - flash_base;
        if (start >= bootloader_offset) continue;  // the bootloader keeps its sector
        std::fill(flash.begin() + start, flash.begin() + start + s.size, 0xFF);
        std::copy(block.begin(), block.end(), flash.begin() + start);
    }
    return flash;
}

std::vector<uint8_t> older_application_flash(uint32_t seed, std::size_t code_size) {
    code_size = std::clamp<std::size_t>(code_size, 8, entry_stub_address - flash_base);
    std::mt19937 random(seed);
    std::vector<uint8_t> code(code_size);
    for (uint8_t& b : code) b = uint8_t(random());
    // A vector table: the stack at the top of RAM, the reset handler just after the table.
    const uint32_t vectors[] = {0x20020000, flash_base + 0x189};
    for (std::size_t w = 0; w < 2; ++w)
        for (std::size_t i = 0; i < 4; ++i) code[w * 4 + i] = uint8_t(vectors[w] >> (8 * i));

    firmware_t image{flash_map_stm32f40x_41x, {}};
    for (std::size_t at = 0; at < code.size();) {
        const int index = sector_index(uint32_t(at));
        const flash_sector_t& s = sector(index);
        const std::size_t start = s.base_address - flash_base;
        const std::size_t end = std::min<std::size_t>(start + s.size, code.size());
        image.sectors[uint64_t(index)].assign(code.begin() + long(at), code.begin() + long(end));
        at = end;
    }
    apply_bootloader_entry_patch(image);
    return expected_flash(flash_model_t().bytes(), image);
}

}  // namespace zal::devices
