// SPDX-License-Identifier: MIT
#include "tools/package_writer.hpp"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace zal::tools {

std::string make_ihex_record(uint8_t type, uint16_t address, const std::vector<unsigned char>& data) {
    std::string line = ":";
    char digits[3];
    uint8_t sum = 0;
    auto put = [&](uint8_t byte) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        line += digits;
        sum = uint8_t(sum + byte);
    };
    put(uint8_t(data.size()));
    put(uint8_t(address >> 8));
    put(uint8_t(address));
    put(type);
    for (unsigned char b : data) put(b);
    std::snprintf(digits, sizeof digits, "%02X", uint8_t(-sum));
    line += digits;
    return line;
}

std::string make_ihex(const std::vector<hex_chunk_t>& chunks, const hex_options_t& options) {
    std::string text;
    auto emit = [&](std::string line) {
        if (options.lowercase)
            for (char& c : line) c = char(std::tolower(static_cast<unsigned char>(c)));
        text += line;
        text += options.line_end;
    };
    bool first = true;
    uint32_t upper = 0;
    for (const hex_chunk_t& chunk : chunks) {
        std::size_t done = 0;
        while (done < chunk.bytes.size()) {
            const uint32_t address = chunk.address + uint32_t(done);
            const uint32_t page = options.segment_addresses ? (address >> 4) & 0xF000 : address >> 16;
            const uint32_t offset = options.segment_addresses ? address - (page << 4) : address & 0xFFFF;
            if (first || page != upper) {
                emit(make_ihex_record(options.segment_addresses ? 0x02 : 0x04, 0, {uint8_t(page >> 8), uint8_t(page)}));
                upper = page;
                first = false;
            }
            std::size_t n = std::min(options.record_size, chunk.bytes.size() - done);
            n = std::min<std::size_t>(n, 0x10000 - offset);
            emit(make_ihex_record(0x00, uint16_t(offset),
                                  {chunk.bytes.begin() + long(done), chunk.bytes.begin() + long(done + n)}));
            done += n;
        }
    }
    emit(make_ihex_record(0x01, 0, {}));
    return text;
}

std::vector<unsigned char> make_zip(const std::vector<zip_entry_t>& entries, bool compress) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &error) : nullptr;
    zip_error_fini(&error);
    if (archive == nullptr) throw std::runtime_error("libzip cannot create an archive in memory");
    zip_source_keep(buffer);

    for (const zip_entry_t& entry : entries) {
        zip_source_t* content = zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
        const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), content, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(content);
            zip_discard(archive);
            zip_source_free(buffer);
            throw std::runtime_error("libzip cannot add " + entry.name);
        }
        zip_set_file_compression(archive, zip_uint64_t(index), compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        zip_source_free(buffer);
        throw std::runtime_error("libzip cannot write the archive");
    }

    std::vector<unsigned char> bytes;
    if (zip_source_open(buffer) == 0) {
        zip_source_seek(buffer, 0, SEEK_END);
        bytes.resize(std::size_t(zip_source_tell(buffer)));
        zip_source_seek(buffer, 0, SEEK_SET);
        if (zip_source_read(buffer, bytes.data(), bytes.size()) != zip_int64_t(bytes.size())) bytes.clear();
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    if (bytes.empty()) throw std::runtime_error("libzip cannot read back the archive");
    return bytes;
}

std::vector<unsigned char> make_synthetic_firmware(std::size_t size, uint32_t seed) {
    std::vector<unsigned char> bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (unsigned char& b : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = uint8_t(state);
    }
    const uint32_t sp = 0x20020000;
    const uint32_t reset = (0x08000000u + uint32_t(std::min<std::size_t>(size, 0x1C4))) | 1u;
    for (int i = 0; i < 4 && std::size_t(i + 4) < size; ++i) {
        bytes[std::size_t(i)] = uint8_t(sp >> (8 * i));
        bytes[std::size_t(i + 4)] = uint8_t(reset >> (8 * i));
    }
    return bytes;
}

std::string make_info_text(const std::string& product, const std::string& version, const std::string& release_date) {
    return "[general]\r\nproduct=" + product + "\r\nversion=" + version + "\r\nreleasedate=" + release_date + "\r\n";
}

std::vector<unsigned char> make_package_zip(const package_contents_t& contents) {
    const auto hex = [](std::size_t size, uint32_t seed) {
        return make_ihex({{0x08000000, make_synthetic_firmware(size, seed)}});
    };
    std::vector<zip_entry_t> entries = {
        {"info.txt", make_info_text(contents.product, contents.version, contents.release_date)}};
    entries.insert(entries.end(), contents.extra.begin(), contents.extra.end());
    if (contents.ventaro) entries.push_back({"ventaro.hex", hex(contents.main_size, 11)});
    if (contents.ventaro_stage2) entries.push_back({"ventaro-stage2.hex", hex(contents.stage2_size, 12)});
    if (contents.ruvo) entries.push_back({"ruvo.hex", hex(contents.main_size + 1000, 21)});
    if (contents.ruvo_stage2) entries.push_back({"ruvo-stage2.hex", hex(contents.stage2_size + 100, 22)});
    return make_zip(entries);
}

}  // namespace zal::tools
