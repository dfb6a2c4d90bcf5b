// SPDX-License-Identifier: MIT
#include "updater/uhb.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace zal::updater::uhb;

namespace {

std::vector<uint8_t> from_hex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// What a real STM32F4 board's bootloader answered to `info`.
const std::vector<uint8_t> real_record = from_hex(
    "3801250008000000000010000300004004000400050010130600000000000e00076d696b726f6d656469610000000000000000000000000000"
    "00000000000000");

const char* info_error(std::vector<uint8_t> record) {
    const auto wrong = check_response<cmd_code::info>(record.data(), record.size());
    return wrong ? wrong->text : "ok";
}

}  // namespace

TEST(InfoRecord, DecodesARealBoard) {
    info_t info;
    ASSERT_TRUE(info.read(real_record.data(), real_record.size()));
    EXPECT_EQ(info.mcu_type, 37);
    EXPECT_EQ(info.flash_size, 0x100000u);
    EXPECT_EQ(info.erase_block_size, 0x4000);
    EXPECT_EQ(info.write_block_size, 4);
    EXPECT_EQ(info.boot_revision, 0x1310);
    EXPECT_EQ(info.boot_start, 0xE0000u);
    EXPECT_STREQ(info.device_name, "mikromedia");
    EXPECT_STREQ(info_error(real_record), "ok");
}

TEST(InfoRecord, MalformedRecords) {
    std::vector<uint8_t> r = real_record;
    EXPECT_STREQ(info_error({r.begin(), r.begin() + 55}), "Invalid bootloader info data.");
    std::vector<uint8_t> longer = r;
    longer.push_back(0);
    EXPECT_STREQ(info_error(longer), "Invalid bootloader info data.");
    r[0] = 57;
    EXPECT_STREQ(info_error(r), "Invalid bootloader info data.");

    std::vector<uint8_t> mcu_id = real_record;
    mcu_id[3] = 0x02;  // an MCU identifier field where zeros were
    EXPECT_STREQ(info_error(mcu_id), "Invalid bootloader info data.");
    std::vector<uint8_t> unknown(64, 0);
    unknown[0] = 56;
    unknown[10] = 9;
    EXPECT_STREQ(info_error(unknown), "Invalid bootloader info data.");
    unknown[10] = 0;
    unknown[55] = 9;  // an identifier in the last byte is never examined
    EXPECT_STREQ(info_error(unknown), "Invalid bootloader info.");
}

TEST(InfoRecord, OtherMcuAndEmptyRecords) {
    std::vector<uint8_t> other = real_record;
    other[2] = 36;
    EXPECT_STREQ(info_error(other), "Invalid bootloader info.");
    std::vector<uint8_t> zeros(56, 0);
    zeros[0] = 56;
    info_t info;
    EXPECT_TRUE(info.read(zeros.data(), zeros.size()));
    EXPECT_EQ(info.mcu_type, 0);
    EXPECT_STREQ(info_error(zeros), "Invalid bootloader info.");
}

TEST(InfoRecord, LongNamesAreCutAndFieldsCutShortKeepTheirValue) {
    std::vector<uint8_t> r(64, 0);
    r[0] = 56;
    r[1] = 1;
    r[2] = 37;
    r[3] = 7;
    for (int i = 4; i < 56; ++i) r[std::size_t(i)] = 'a';
    info_t info;
    ASSERT_TRUE(info.read(r.data(), r.size()));
    EXPECT_EQ(std::strlen(info.device_name), 31u);

    std::vector<uint8_t> cut(56, 0);
    cut[0] = 56;
    cut[52] = 8;  // flash size needs seven more bytes than the record has
    cut[53] = 0;
    cut[54] = 0;
    cut[55] = 0;
    info_t partial;
    EXPECT_TRUE(partial.read(cut.data(), cut.size()));
    EXPECT_EQ(partial.flash_size, 0u);
}

TEST(ResponseChecks, EchoOfTheCommandCode) {
    const uint8_t erase[] = {0x0F, 0x15};
    const uint8_t write[] = {0x0F, 0x0B};
    const uint8_t one[] = {0x0F};
    EXPECT_FALSE(check_response<cmd_code::erase>(erase, 2));
    EXPECT_TRUE(check_response<cmd_code::erase>(write, 2));
    EXPECT_FALSE(check_response<cmd_code::write>(write, 2));
    EXPECT_EQ(check_response<cmd_code::sync>(one, 1)->kind, zal::failure_kind_t::refused);
    EXPECT_STREQ(check_response<cmd_code::boot>(one, 1)->text, "Wrong response in HID report.");
}
