// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "update/firmware.hpp"
#include "update/signature.hpp"

namespace zal {

// The languages a package writes its description and notes in.
enum class lang_t : uint8_t { en = 0, fr = 1 };

extern const char* const lang_short_name[2];

// printf-style formatting into a 1024-byte buffer of the calling thread; valid
// until the thread's next call. Longer output is cut.
const char* str_format_tmp(const char* format, ...) __attribute__((format(printf, 1, 2)));

struct version_t {
    uint8_t major = 0;
    uint8_t minor = 0;
    uint8_t patch = 0;
    uint8_t beta = 0;
};

struct date_t {
    uint16_t year = 0;
    uint8_t month = 0;
    uint8_t day = 0;
};

struct device_update_t {
    firmware_t main;
    std::optional<firmware_t> stage2;
};

struct update_t {
    std::string product;
    version_t version;
    std::string version_string;
    date_t release_date;
    std::array<std::string, 2> description;  // indexed by lang_t
    std::array<std::string, 2> notes;        // indexed by lang_t
    std::optional<device_update_t> ventaro;
    std::optional<device_update_t> ruvo;
    package_signature_t signature;  // whether a trusted key signed what was read
    std::string package_sha256;     // of the whole package file, in hex
};

// Limits that keep a hostile package from making us allocate without bound;
// real packages stay far below them. Each is named in its error message.
constexpr uint64_t max_package_size = 32u << 20;                // the archive itself
constexpr uint64_t max_text_entry_size = 1u << 20;              // info.txt, each notes file
constexpr uint64_t max_firmware_entry_size = 16u << 20;         // each HEX file
constexpr uint64_t max_inflated_size = 64u << 20;               // everything extracted from one package
constexpr uint64_t max_package_entries = max_manifest_entries;  // a real package holds about ten

// Reads an update package (a zip archive) from memory. Throws std::runtime_error
// with an English sentence for the user.
update_t make_update(const unsigned char* data, unsigned long size);
// The same, checking the package's signature against `trust`. A changed
// package is still read: what to do with it is the caller's choice.
update_t make_update(const unsigned char* data, unsigned long size, const trust_t& trust);
// The same for the programs: the package, or why it cannot be read (that
// English sentence, of the catalogues' context "Engine").
result_t<update_t> read_update(const unsigned char* data, unsigned long size, const trust_t& trust);

}  // namespace zal
