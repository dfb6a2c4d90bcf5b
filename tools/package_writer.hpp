// SPDX-License-Identifier: MIT
#pragma once

// Writes Intel HEX text and update packages: for tests, benchmarks, fuzz seeds
// and the synthetic sample package. Never used by the application itself.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zal::tools {

struct hex_chunk_t {
    uint32_t address;
    std::vector<unsigned char> bytes;
};

struct hex_options_t {
    std::size_t record_size = 16;
    const char* line_end = "\n";
    // Extended segment instead of extended linear address records; the
    // addresses must then lie below 1 MiB.
    bool segment_addresses = false;
    bool lowercase = false;
};

// HEX records for the chunks, in order, with an end-of-file record. Records
// never cross a 64 KiB boundary (in segment mode: of their segment's offset).
std::string make_ihex(const std::vector<hex_chunk_t>& chunks, const hex_options_t& options = {});

// One record line (without line end): ':' count, address, type, data, checksum.
std::string make_ihex_record(uint8_t type, uint16_t address, const std::vector<unsigned char>& data);

struct zip_entry_t {
    std::string name;
    std::string content;
};

// A zip archive holding the entries in order; `compress` deflates them.
std::vector<unsigned char> make_zip(const std::vector<zip_entry_t>& entries, bool compress = true);

// Deterministic firmware-like bytes with a Cortex-M vector table at the start:
// stack pointer 0x20020000 and a reset handler inside the image.
std::vector<unsigned char> make_synthetic_firmware(std::size_t size, uint32_t seed);

// The info.txt text of a package.
std::string make_info_text(const std::string& product, const std::string& version, const std::string& release_date);

// What a package for tests holds: the images (synthetic firmware at the start of
// the flash, each from its own seed; a receiver's images are a little larger
// than the instrument's), its info and any other entries, such as notes.
struct package_contents_t {
    bool ventaro = true, ventaro_stage2 = true, ruvo = false, ruvo_stage2 = false;
    std::size_t main_size = 48 * 1024, stage2_size = 20 * 1024;
    std::string product = "Test", version = "1.0.0", release_date = "2026-01-01";
    std::vector<zip_entry_t> extra = {};
};

// The one package builder of the tests.
std::vector<unsigned char> make_package_zip(const package_contents_t& contents);

}  // namespace zal::tools
