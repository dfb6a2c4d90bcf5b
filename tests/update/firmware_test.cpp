// SPDX-License-Identifier: MIT
#include "update/firmware.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>
#include <stdexcept>

#include "fuzz/ihex_two_paths.hpp"
#include "tools/package_writer.hpp"

using namespace zal;
using tools::make_ihex;
using tools::make_ihex_record;

namespace {

firmware_t written(const std::string& text, const flash_map_t& map = flash_map_stm32f40x_41x) {
    firmware_t image{map, {}};
    store_ihex(image, {text.data(), text.size()});
    return image;
}

std::vector<unsigned char> counting(std::size_t n, unsigned char first = 0) {
    std::vector<unsigned char> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = uint8_t(first + i);
    return v;
}

std::string record(uint8_t type, uint16_t address, std::vector<unsigned char> data) {
    return make_ihex_record(type, address, data) + "\n";
}

std::string linear(uint16_t upper) { return record(4, 0, {uint8_t(upper >> 8), uint8_t(upper)}); }

// The 1 MiB flash as a device would hold it after programming the blocks.
std::vector<unsigned char> flatten(const firmware_t& image) {
    const flash_map_t& map = image.flash_map;
    const flash_sector_t& last = map.sectors[map.size - 1];
    std::vector<unsigned char> flash(last.base_address + last.size - map.base_address, 0xFF);
    for (const auto& [index, block] : image.sectors)
        std::copy(block.begin(), block.end(), flash.begin() + (map.sectors[index].base_address - map.base_address));
    return flash;
}

}  // namespace

TEST(IhexParser, ReportsDataAndEndOfFileRecordsOnly) {
    ihex_parser_t parser;
    std::vector<std::pair<int, uint32_t>> completed;  // length and load address at each report
    const std::string text = record(4, 0, {0x08, 0x00}) + record(0, 0x1234, {1, 2, 3}) + record(5, 0, {0, 0, 0, 0}) +
                             record(3, 0, {0, 0, 0, 0}) + record(1, 0, {});
    for (char c : text)
        if (parser.process(c)) completed.emplace_back(parser.length, parser.load_address());
    ASSERT_EQ(completed.size(), 2u);
    EXPECT_EQ(completed[0], std::make_pair(3, 0x08001234u));
    EXPECT_EQ(completed[1].first, 0);
}

TEST(IhexParser, SegmentAndLinearAddressesAdd) {
    const auto image = written(linear(0x0800) + record(2, 0, {0x10, 0x00}) + record(0, 0x4000, {0xAB}));
    ASSERT_EQ(image.sectors.count(4), 1u);  // 0x08014000 lies in sector 4
    EXPECT_EQ(image.sectors.at(4).size(), 0x4001u);
    EXPECT_EQ(image.sectors.at(4)[0x4000], 0xAB);
}

TEST(IhexParser, DropsBrokenRecordsAndKeepsReading) {
    std::string bad = make_ihex_record(0, 0, {1, 2, 3});
    bad.back() = bad.back() == '0' ? '1' : '0';  // wrong checksum
    std::string cut = make_ihex_record(0, 0x10, {9, 9, 9, 9});
    cut.resize(cut.size() - 4);  // abandoned by the next ':'
    const std::string text =
        linear(0x0800) + bad + "\n" + cut + record(7, 0, {5}) + ":10 garbage" + "\n" + record(0, 0x20, {0xC0, 0xDE});
    const auto image = written(text);
    ASSERT_EQ(image.sectors.count(0), 1u);
    const auto& block = image.sectors.at(0);
    ASSERT_EQ(block.size(), 0x22u);
    EXPECT_EQ(block[0], 0xFF);
    EXPECT_EQ(block[0x10], 0xFF);
    EXPECT_EQ(block[0x20], 0xC0);
    EXPECT_EQ(block[0x21], 0xDE);
}

TEST(IhexParser, StrayCharactersInsideARecordAreIgnored) {
    std::string r = make_ihex_record(0, 0x100, {0x12, 0x34});
    r.insert(3, " \t-");
    const auto image = written(linear(0x0800) + r + "\n");
    EXPECT_EQ(image.sectors.at(0)[0x100], 0x12);
    EXPECT_EQ(image.sectors.at(0)[0x101], 0x34);
}

TEST(Write, RecordCrossingASectorIsSplit) {
    const auto image = written(make_ihex({{0x08003FF8, counting(16)}}, {.record_size = 16}));
    ASSERT_EQ(image.sectors.size(), 2u);
    EXPECT_EQ(image.sectors.at(0).size(), 0x4000u);
    EXPECT_EQ(image.sectors.at(0)[0x3FF8], 0);
    EXPECT_EQ(image.sectors.at(0)[0x3FFF], 7);
    EXPECT_EQ(image.sectors.at(1), std::vector<unsigned char>({8, 9, 10, 11, 12, 13, 14, 15}));
}

TEST(Write, GapsBeforeTheFirstRecordAreErased) {
    const auto image = written(make_ihex({{0x08000100, counting(16, 1)}}));
    const auto& block = image.sectors.at(0);
    ASSERT_EQ(block.size(), 0x110u);
    EXPECT_TRUE(std::all_of(block.begin(), block.begin() + 0x100, [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(block[0x100], 1);
}

TEST(Write, LaterDataOverwritesEarlier) {
    const auto image = written(make_ihex({{0x08000000, {1, 2, 3, 4}}, {0x08000002, {9}}}));
    EXPECT_EQ(image.sectors.at(0), std::vector<unsigned char>({1, 2, 9, 4}));
}

TEST(Write, BytesOutsideTheFlashFail) {
    for (uint32_t address : {0x07FFFFF0u, 0x08100000u, 0x0810FFF0u, 0x20000000u, 0x080FFFF8u}) {
        SCOPED_TRACE(address);
        try {
            written(make_ihex({{address, counting(16)}}));
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Firmware does not fit the target product.");
        }
    }
}

TEST(Write, EmptyDataRecordEndsReadingLikeEndOfFile) {
    const auto image = written(linear(0x0800) + record(0, 0, {1}) + record(0, 0x10, {}) + record(0, 0x20, {2}));
    EXPECT_EQ(image.sectors.at(0).size(), 1u);

    const auto after_eof = written(linear(0x0800) + record(0, 0, {1}) + record(1, 0, {}) + record(0, 0x20, {2}));
    EXPECT_EQ(after_eof.sectors.at(0).size(), 1u);
}

TEST(Write, CaseAndLineEndsDoNotMatter) {
    const auto data = counting(200, 0xA0);
    const auto upper = written(make_ihex({{0x08000000, data}}, {.line_end = "\r\n"}));
    const auto lower = written(make_ihex({{0x08000000, data}}, {.line_end = "\n", .lowercase = true}));
    EXPECT_EQ(upper.sectors, lower.sectors);
    EXPECT_EQ(upper.sectors.at(0), data);
}

TEST(Write, TextWithoutEndOfFileIsReadToItsEnd) {
    std::string text = make_ihex({{0x08000000, counting(32)}});
    text.resize(text.rfind(':'));
    EXPECT_EQ(written(text).sectors.at(0).size(), 32u);
}

TEST(EntryPatch, RedirectsResetAndWritesTheStub) {
    std::vector<unsigned char> vectors = {0x00, 0x00, 0x02, 0x20, 0xC5, 0x01, 0x00, 0x08};
    const std::string text = make_ihex({{0x08000000, vectors}});
    const auto image = load_firmware({text.data(), text.size()}, flash_map_stm32f40x_41x);
    EXPECT_EQ(image.sectors.at(0), std::vector<unsigned char>({0x00, 0x00, 0x02, 0x20, 0x01, 0x00, 0x0E, 0x00}));
    const auto& block10 = image.sectors.at(10);
    ASSERT_EQ(block10.size(), 0x20000u);
    const std::vector<unsigned char> stub(block10.end() - 20, block10.end());
    EXPECT_EQ(stub, std::vector<unsigned char>({0x40, 0xF2, 0x00, 0x00, 0xC2, 0xF2, 0x02, 0x00, 0x85, 0x46,
                                                0x40, 0xF2, 0xC5, 0x10, 0xC0, 0xF6, 0x00, 0x00, 0x00, 0x47}));
    EXPECT_TRUE(std::all_of(block10.begin(), block10.end() - 20, [](auto b) { return b == 0xFF; }));
}

TEST(EntryPatch, KeepsDataAlreadyInTheStubSector) {
    firmware_t image = written(make_ihex({{0x08000000, counting(8)}, {0x080C0010, {0x42}}}));
    apply_bootloader_entry_patch(image);
    EXPECT_EQ(image.sectors.at(10)[0x10], 0x42);
    EXPECT_EQ(image.sectors.at(10).size(), 0x20000u);
}

TEST(EntryPatch, NeedsAWholeVectorTable) {
    firmware_t short_block = written(make_ihex({{0x08000000, counting(7)}}));
    apply_bootloader_entry_patch(short_block);
    EXPECT_EQ(short_block.sectors.size(), 1u);
    EXPECT_EQ(short_block.sectors.at(0), counting(7));

    firmware_t no_sector0 = written(make_ihex({{0x08004000, counting(64)}}));
    apply_bootloader_entry_patch(no_sector0);
    EXPECT_EQ(no_sector0.sectors.size(), 1u);
    EXPECT_EQ(no_sector0.sectors.at(1), counting(64));
}

// A real application, checked against what an independent implementation reads.
TEST(RealWorld, Stm32CalculatorImage) {
    gzFile gz = gzopen(ZAL_TESTDATA_DIR "/stm32calc.hex.gz", "rb");
    ASSERT_NE(gz, nullptr) << "missing test data in " ZAL_TESTDATA_DIR;
    std::string text;
    char buffer[65536];
    for (int n; (n = gzread(gz, buffer, sizeof buffer)) > 0;) text.append(buffer, std::size_t(n));
    gzclose(gz);

    const auto image = load_firmware({text.data(), text.size()}, flash_map_stm32f40x_41x);
    ASSERT_EQ(image.sectors.size(), 5u);
    EXPECT_EQ(image.sectors.at(0).size(), 16384u);
    EXPECT_EQ(image.sectors.at(1).size(), 16384u);
    EXPECT_EQ(image.sectors.at(2).size(), 16384u);
    EXPECT_EQ(image.sectors.at(3).size(), 4624u);
    EXPECT_EQ(image.sectors.at(10).size(), 131072u);
    EXPECT_EQ(std::vector<unsigned char>(image.sectors.at(0).begin(), image.sectors.at(0).begin() + 8),
              std::vector<unsigned char>({0xfc, 0xff, 0x01, 0x20, 0x01, 0x00, 0x0e, 0x00}));
    const auto& block10 = image.sectors.at(10);
    EXPECT_EQ(std::vector<unsigned char>(block10.end() - 20, block10.end()),
              std::vector<unsigned char>({0x4f, 0xf6, 0xfc, 0x70, 0xc2, 0xf2, 0x01, 0x00, 0x85, 0x46,
                                          0x47, 0xf6, 0x99, 0x60, 0xc0, 0xf2, 0x00, 0x00, 0x00, 0x47}));
}

// srec_cat is an independent HEX reader: both must agree byte for byte.
class SrecCatCrossCheck : public ::testing::TestWithParam<int> {};

TEST_P(SrecCatCrossCheck, RandomImagesMatch) {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat (srecord) not installed";
    std::mt19937 rng{uint32_t(GetParam())};
    const bool segments = GetParam() % 3 == 0;
    // Segment addressing reaches only the first MiB, so that case reads into a map based at 0.
    flash_map_t map = flash_map_stm32f40x_41x;
    if (segments) {
        map.base_address = 0;
        for (int i = 0; i < map.size; ++i) map.sectors[i].base_address -= 0x08000000;
    }
    const uint32_t base = map.base_address;

    // Disjoint chunks (srec_cat refuses overlaps), many ending or starting near a sector boundary.
    std::vector<tools::hex_chunk_t> chunks;
    for (uint32_t cursor = rng() % 64; cursor < 0x100000;) {
        uint32_t size = 1 + rng() % (rng() % 4 == 0 ? 70000 : 3000);
        size = std::min(size, 0x100000 - cursor);
        std::vector<unsigned char> bytes(size);
        for (auto& b : bytes) b = uint8_t(rng());
        chunks.push_back({base + cursor, bytes});
        cursor += size + rng() % 60000;
        if (rng() % 2) cursor = ((cursor + 0x3FFF) & ~0x3FFFu) - rng() % 40;
    }
    std::shuffle(chunks.begin(), chunks.end(), rng);
    const char* line_ends[] = {"\n", "\r\n"};
    std::string text;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        std::string part = make_ihex({chunks[i]}, {.record_size = 1 + rng() % 255,
                                                   .line_end = line_ends[rng() % 2],
                                                   .segment_addresses = segments,
                                                   .lowercase = rng() % 2 == 0});
        if (i + 1 < chunks.size()) part.resize(part.rfind(':'));  // one end-of-file record only
        text += part;
    }

    const auto dir = std::filesystem::temp_directory_path() /
                     ("zal-srec-" + std::to_string(::getpid()) + "-" + std::to_string(GetParam()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "in.hex", std::ios::binary) << text;
    char command[1024];
    std::snprintf(command, sizeof command, "srec_cat '%s' -Intel -fill 0xFF 0x%X 0x%X -offset -0x%X -o '%s' -Binary",
                  (dir / "in.hex").c_str(), base, base + 0x100000, base, (dir / "out.bin").c_str());
    ASSERT_EQ(std::system(command), 0) << command;
    std::ifstream in(dir / "out.bin", std::ios::binary);
    const std::vector<unsigned char> expected((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove_all(dir);

    const auto ours = flatten(written(text, map));
    ASSERT_EQ(expected.size(), ours.size());
    EXPECT_TRUE(expected == ours);
}

INSTANTIATE_TEST_SUITE_P(Seeds, SrecCatCrossCheck, ::testing::Range(1, 13));

// The record-at-once path and the character path read alike: the real
// application, generated images in every record layout, and texts broken in
// the ways that make the first path hand over to the second.
TEST(IhexPaths, BothPathsReadEveryTextAlike) {
    std::vector<std::string> texts;
    gzFile gz = gzopen(ZAL_TESTDATA_DIR "/stm32calc.hex.gz", "rb");
    ASSERT_NE(gz, nullptr);
    std::string real;
    char buffer[65536];
    for (int n; (n = gzread(gz, buffer, sizeof buffer)) > 0;) real.append(buffer, std::size_t(n));
    gzclose(gz);
    texts.push_back(real);
    const auto image = tools::make_synthetic_firmware(5000, 7);
    texts.push_back(make_ihex({{0x08000000, image}}));
    texts.push_back(make_ihex({{0x00010000, image}}, {.segment_addresses = true}));
    texts.push_back(make_ihex({{0x08004000, image}}, {.line_end = "\r\n", .lowercase = true}));
    std::mt19937 rng{5};
    for (int i = 0; i < 200; ++i) {
        std::string broken = texts[std::size_t(i) % 4].substr(0, 4000);
        for (int cuts = 0; cuts < 5; ++cuts) {
            const std::size_t at = rng() % broken.size();
            switch (rng() % 4) {
                case 0: broken.erase(at, rng() % 7); break;
                case 1: broken.insert(at, 1, ":\n x"[rng() % 4]); break;
                case 2: broken[at] = char(rng()); break;
                case 3: broken.insert(at, broken.substr(rng() % broken.size(), 12)); break;
            }
        }
        texts.push_back(broken);
    }
    for (const std::string& text : texts) {
        const auto records = ihex_paths::by_records(text.data(), text.size());
        EXPECT_TRUE(records == ihex_paths::by_characters(text.data(), text.size())) << text.substr(0, 200);
    }
    EXPECT_GT(ihex_paths::by_records(real.data(), real.size()).records.size(), 1000u);
}
