// SPDX-License-Identifier: MIT
#include "update/firmware.hpp"
#include "common/text/marked.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zal {

namespace {

constexpr flash_map_t make_stm32f40x_41x_map() {
    flash_map_t map{};
    const uint32_t sizes[12] = {0x4000,  0x4000,  0x4000,  0x4000,  0x10000, 0x20000,
                                0x20000, 0x20000, 0x20000, 0x20000, 0x20000, 0x20000};
    uint32_t address = 0x08000000;
    for (int i = 0; i < 16; ++i) {
        if (i < 12) {
            map.sectors[i] = {address, sizes[i]};
            address += sizes[i];
        } else {
            map.sectors[i] = {0xFFFFFFFF, 0};
        }
    }
    map.base_address = 0x08000000;
    map.size = 12;
    return map;
}

// The first valid sector whose end lies beyond `address`, or -1.
int sector_ending_after(const flash_map_t& map, uint32_t address) {
    for (int i = 0; i < map.size && i < int(map.sectors.size()); ++i) {
        const flash_sector_t& s = map.sectors[i];
        if (uint32_t(s.base_address + s.size) > address) return i;
    }
    return -1;
}

void put_le32(unsigned char* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t get_le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Thumb-2 MOVW (top false) or MOVT (top true) of `v` into r0.
void put_mov_r0(unsigned char* p, bool top, uint16_t v) {
    p[0] = uint8_t((top ? 0xC0 : 0x40) | (v >> 12));
    p[1] = uint8_t(0xF2 | (((v >> 11) & 1) << 2));
    p[2] = uint8_t(v & 0xFF);
    p[3] = uint8_t(((v >> 8) & 7) << 4);
}

}  // namespace

const flash_map_t flash_map_stm32f40x_41x = make_stm32f40x_41x_map();

namespace {

constexpr std::array<int8_t, 256> hex_digit_lut = [] {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 10; ++i) t['0' + i] = int8_t(i);
    for (int i = 0; i < 6; ++i) {
        t['A' + i] = int8_t(10 + i);
        t['a' + i] = int8_t(10 + i);
    }
    return t;
}();

// Decodes `count` bytes from pairs of hex digits; false at the first non-digit.
inline bool decode_hex_bytewise(const char* p, std::size_t count, uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i) {
        const int8_t hi = hex_digit_lut[uint8_t(p[2 * i])];
        const int8_t lo = hex_digit_lut[uint8_t(p[2 * i + 1])];
        if ((hi | lo) < 0) return false;
        out[i] = uint8_t(hi << 4 | lo);
    }
    return true;
}

#if defined(__SSE2__)
// The values of 16 hex digits, as 8 pairs, each in a 16-bit lane with its first
// digit in the low byte; false when any character is not a digit.
bool digit_pairs(__m128i c, __m128i& pairs) {
    // Zero where a character is in range.
    const __m128i digit = _mm_subs_epu8(_mm_sub_epi8(c, _mm_set1_epi8('0')), _mm_set1_epi8(9));
    const __m128i letter =
        _mm_subs_epu8(_mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a')), _mm_set1_epi8(5));
    const __m128i ok =
        _mm_or_si128(_mm_cmpeq_epi8(digit, _mm_setzero_si128()), _mm_cmpeq_epi8(letter, _mm_setzero_si128()));
    if (_mm_movemask_epi8(ok) != 0xFFFF) return false;
    // '0'-'9' are 0x30-0x39; 'A'-'F' and 'a'-'f' have bit 6 set and 1-6 below.
    const __m128i is_letter = _mm_cmpeq_epi8(_mm_and_si128(c, _mm_set1_epi8(0x40)), _mm_set1_epi8(0x40));
    const __m128i nibbles =
        _mm_add_epi8(_mm_and_si128(c, _mm_set1_epi8(0x0F)), _mm_and_si128(is_letter, _mm_set1_epi8(9)));
    pairs = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0x00FF)), 4), _mm_srli_epi16(nibbles, 8));
    return true;
}

// 32 digits into 16 bytes; false when any is not a digit.
bool decode_16_bytes(const char* p, uint8_t* out) {
    __m128i low, high;
    if (!digit_pairs(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), low) ||
        !digit_pairs(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), high))
        return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
    return true;
}
#endif

// Decodes `count` bytes from pairs of hex digits; false when any is not a digit.
bool decode_hex(const char* p, std::size_t count, uint8_t* out) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= count; i += 16)
        if (!decode_16_bytes(p + 2 * i, out + i)) return false;
#endif
    return decode_hex_bytewise(p + 2 * i, count - i, out + i);
}

}  // namespace

bool ihex_parser_t::process(char c) {
    if (c == ':') {
        nibble_pending = false;
        value = 0;
        type = record_type_t::none;
        sum = 0;
        length = 0;
        expected = 1;
        index = 0;
        state = state_t::byte_count;
        return false;
    }

    const int8_t digit = hex_digit_lut[uint8_t(c)];
    if (digit < 0 || state == state_t::idle) return false;

    if (!nibble_pending) {
        value = uint8_t(digit << 4);
        nibble_pending = true;
        return false;
    }
    value = uint8_t(value | digit);
    nibble_pending = false;
    return complete_byte();
}

std::size_t ihex_parser_t::process_record(const char* p, std::size_t n, bool& completed) {
    uint8_t header[4];  // byte count, address high and low, record type
    if (n < 1 + 2 * 5 || p[0] != ':' || !decode_hex_bytewise(p + 1, 4, header)) return 0;
    int payload;
    record_type_t record_type;
    switch (header[3]) {
        case 0x00:
            payload = header[0];
            record_type = record_type_t::data;
            break;
        case 0x01:
            payload = 0;
            record_type = record_type_t::end_of_file;
            break;
        case 0x02:
            payload = 2;
            record_type = record_type_t::extended_segment_address;
            break;
        case 0x03:
            payload = 4;
            record_type = record_type_t::start_segment_address;
            break;
        case 0x04:
            payload = 2;
            record_type = record_type_t::extended_linear_address;
            break;
        case 0x05:
            payload = 4;
            record_type = record_type_t::start_linear_address;
            break;
        default: return 0;
    }
    const std::size_t used = 1 + 2 * (4 + std::size_t(payload) + 1);
    uint8_t checksum;
    if (n < used || !decode_hex(p + 9, std::size_t(payload), data) ||
        !decode_hex_bytewise(p + 9 + 2 * std::size_t(payload), 1, &checksum))
        return 0;

    uint8_t total = 0;
    for (uint8_t b : header) total = uint8_t(total + b);
    for (int i = 0; i < payload; ++i) total = uint8_t(total + data[i]);

    address = (address & 0xFFFF0000u) | uint32_t(header[1]) << 8 | header[2];
    nibble_pending = false;
    value = checksum;
    sum = total;
    length = header[0];
    type = record_type;
    index = 0;
    expected = 1;
    state = state_t::checksum;
    completed = complete_record();
    return used;
}

bool ihex_parser_t::complete_byte() {
    if (state == state_t::checksum) return complete_record();
    data[index] = value;
    sum = uint8_t(sum + value);
    if (++index < expected) return false;
    index = 0;
    return complete_field();
}

bool ihex_parser_t::complete_field() {
    switch (state) {
        case state_t::byte_count:
            length = data[0];
            state = state_t::address;
            expected = 2;
            return false;
        case state_t::address:
            address = (address & 0xFFFF0000u) | uint32_t(data[0]) << 8 | data[1];
            state = state_t::record_type;
            expected = 1;
            return false;
        case state_t::record_type:
            switch (data[0]) {
                case 0x00:
                    type = record_type_t::data;
                    state = length == 0 ? state_t::checksum : state_t::data;
                    expected = length == 0 ? 1 : length;
                    return false;
                case 0x01:
                    type = record_type_t::end_of_file;
                    state = state_t::checksum;
                    expected = 1;
                    return false;
                case 0x02: type = record_type_t::extended_segment_address; break;
                case 0x03: type = record_type_t::start_segment_address; break;
                case 0x04: type = record_type_t::extended_linear_address; break;
                case 0x05: type = record_type_t::start_linear_address; break;
                default:
                    type = record_type_t::none;
                    state = state_t::idle;
                    return false;
            }
            state = state_t::data;
            expected =
                (type == record_type_t::extended_segment_address || type == record_type_t::extended_linear_address) ? 2
                                                                                                                    : 4;
            return false;
        case state_t::data:
            state = state_t::checksum;
            expected = 1;
            return false;
        case state_t::idle:
        case state_t::checksum: break;
    }
    return false;
}

bool ihex_parser_t::complete_record() {
    state = state_t::idle;
    if (uint8_t(sum + value) != 0) return false;
    switch (type) {
        case record_type_t::data: return true;
        case record_type_t::end_of_file: length = 0; return true;
        case record_type_t::extended_segment_address: segment = uint16_t(data[0] << 8 | data[1]); return false;
        case record_type_t::extended_linear_address:
            address = uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | (address & 0xFFFFu);
            return false;
        case record_type_t::none:
        case record_type_t::start_segment_address:
        case record_type_t::start_linear_address: return false;
    }
    return false;
}

namespace {

// Writes records into an image. Records follow each other, so most land in
// the sector of the one before: that sector is kept at hand, filled with 0xFF
// to its end once, and cut back to the last byte written when left.
class sector_writer_t {
public:
    explicit sector_writer_t(firmware_t& image) : image_(image) {}
    ~sector_writer_t() { leave_sector(); }
    sector_writer_t(const sector_writer_t&) = delete;
    sector_writer_t& operator=(const sector_writer_t&) = delete;

    // Throws when a byte falls outside the flash map.
    void write(uint32_t address, const unsigned char* bytes, std::size_t count) {
        while (count > 0) {
            if (block_ == nullptr || address < base_ || address - base_ >= size_) enter_sector_of(address);
            const std::size_t offset = address - base_;
            const std::size_t n = std::min<std::size_t>(count, size_ - offset);
            std::memcpy(block_->data() + offset, bytes, n);
            written_end_ = std::max(written_end_, offset + n);
            address += uint32_t(n);
            bytes += n;
            count -= n;
        }
    }

private:
    void enter_sector_of(uint32_t address) {
        leave_sector();
        const flash_map_t& map = image_.flash_map;
        const int index = address < map.base_address ? -1 : sector_ending_after(map, address);
        if (index < 0 || map.sectors[index].base_address > address)
            throw std::runtime_error(ZAL_TEXT("Engine", "Firmware does not fit the target product."));
        base_ = map.sectors[index].base_address;
        size_ = map.sectors[index].size;
        block_ = &image_.sectors[uint64_t(index)];
        written_end_ = block_->size();
        block_->resize(size_, 0xFF);
    }

    void leave_sector() {
        if (block_ != nullptr) block_->resize(written_end_);
        block_ = nullptr;
    }

    firmware_t& image_;
    std::vector<unsigned char>* block_ = nullptr;  // of the sector [base_, base_ + size_)
    uint32_t base_ = 0;
    uint32_t size_ = 0;
    std::size_t written_end_ = 0;  // in the sector, past the last byte written
};

}  // namespace

void store_ihex(firmware_t& image, ihex_t text) {
    ihex_parser_t parser;
    sector_writer_t writer(image);
    parser.read(text.text, text.length, [&] {
        if (parser.length == 0) return false;
        writer.write(parser.load_address(), parser.data, parser.length);
        return true;
    });
}

void apply_bootloader_entry_patch(firmware_t& image) {
    const auto block0 = image.sectors.find(0);
    if (block0 == image.sectors.end() || block0->second.size() < 8) return;

    const flash_map_t& map = image.flash_map;
    const uint32_t sp = get_le32(block0->second.data());
    const uint32_t reset = get_le32(block0->second.data() + 4);
    put_le32(block0->second.data() + 4, (bootloader_address - map.base_address) | 1);

    const int index = sector_ending_after(map, entry_stub_address);
    if (index < 0 || map.sectors[index].base_address > entry_stub_address)
        throw std::runtime_error(ZAL_TEXT("Engine", "Firmware does not fit the target product."));
    const uint32_t sector_address = map.sectors[index].base_address;
    std::vector<unsigned char>& block = image.sectors[uint64_t(index)];
    const std::size_t stub_end = bootloader_address - sector_address;
    if (block.size() < stub_end) block.resize(stub_end, 0xFF);

    unsigned char* stub = block.data() + (entry_stub_address - sector_address);
    put_mov_r0(stub + 0, false, uint16_t(sp & 0xFFFF));
    put_mov_r0(stub + 4, true, uint16_t(sp >> 16));
    stub[8] = 0x85;  // MOV sp, r0
    stub[9] = 0x46;
    put_mov_r0(stub + 10, false, uint16_t((reset | 1) & 0xFFFF));
    put_mov_r0(stub + 14, true, uint16_t(reset >> 16));
    stub[18] = 0x00;  // BX r0
    stub[19] = 0x47;
}

firmware_t load_firmware(ihex_t text, const flash_map_t& flash_map) {
    firmware_t image{flash_map, {}};
    store_ihex(image, text);
    apply_bootloader_entry_patch(image);
    return image;
}

}  // namespace zal
