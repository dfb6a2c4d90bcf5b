// SPDX-License-Identifier: MIT
#include "update/update_plan.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tools/package_writer.hpp"

using namespace zal;

namespace {

firmware_t image_with(uint64_t sector, std::vector<unsigned char> block) {
    firmware_t image{flash_map_stm32f40x_41x, {}};
    image.sectors[sector] = std::move(block);
    return image;
}

}  // namespace

TEST(UpdatePlan, OneRecordGivesEraseThenWrite) {
    firmware_t image{flash_map_stm32f40x_41x, {}};
    const std::string text = tools::make_ihex({{0x08000100, std::vector<unsigned char>(16, 0x11)}});
    store_ihex(image, {text.data(), text.size()});
    const auto plan = make_update_plan(image);
    EXPECT_EQ(plan.base_address, 0x08000000u);
    ASSERT_EQ(plan.actions.size(), 2u);
    EXPECT_EQ(plan.actions[0].operation, update_action_t::operation_t::erase);
    EXPECT_EQ(plan.actions[0].address, 0);
    EXPECT_EQ(plan.actions[0].count, 1u);
    EXPECT_EQ(plan.actions[1].operation, update_action_t::operation_t::write);
    EXPECT_EQ(plan.actions[1].address, 0x100);
    EXPECT_EQ(plan.actions[1].size, 16u);
    EXPECT_EQ(plan.actions[1].data, image.sectors.at(0).data() + 0x100);
}

TEST(UpdatePlan, LargeBlocksAreWrittenIn16KiBPieces) {
    const auto image = image_with(5, std::vector<unsigned char>(40000, 0x00));
    const auto plan = make_update_plan(image);
    ASSERT_EQ(plan.actions.size(), 4u);
    EXPECT_EQ(plan.actions[0].address, 0x20000);
    const int64_t addresses[] = {0x20000, 0x24000, 0x28000};
    const uint64_t sizes[] = {16384, 16384, 7232};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(plan.actions[i + 1].address, addresses[i]);
        EXPECT_EQ(plan.actions[i + 1].size, sizes[i]);
    }
}

TEST(UpdatePlan, OnlyLeadingErasedBytesAreSkipped) {
    std::vector<unsigned char> block(100, 0xFF);
    block[10] = 1;
    block[50] = 2;
    const auto plan = make_update_plan(image_with(1, block));
    ASSERT_EQ(plan.actions.size(), 2u);
    EXPECT_EQ(plan.actions[1].address, 0x4000 + 10);
    EXPECT_EQ(plan.actions[1].size, 90u);

    const auto erased = make_update_plan(image_with(2, std::vector<unsigned char>(300, 0xFF)));
    ASSERT_EQ(erased.actions.size(), 1u);
    EXPECT_EQ(erased.actions[0].operation, update_action_t::operation_t::erase);
    EXPECT_EQ(erased.actions[0].address, 0x8000);
}

TEST(UpdatePlan, EmptyImageAndUnknownSector) {
    EXPECT_TRUE(make_update_plan(firmware_t{flash_map_stm32f40x_41x, {}}).actions.empty());
    try {
        make_update_plan(image_with(12, {1}));
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Firmware data does not fit the target product.");
    }
}

TEST(UpdatePlan, PatchedImageProgramsTheStubSectorToItsEnd) {
    const std::string text = tools::make_ihex({{0x08000000, tools::make_synthetic_firmware(20000, 3)}});
    const auto image = load_firmware({text.data(), text.size()}, flash_map_stm32f40x_41x);
    const auto plan = make_update_plan(image);
    uint64_t written_in_10 = 0;
    for (const auto& a : plan.actions)
        if (a.operation == update_action_t::operation_t::write && a.address >= 0xC0000) {
            EXPECT_LE(a.address + int64_t(a.size), 0xE0000);
            written_in_10 += a.size;
        }
    EXPECT_EQ(written_in_10, 20u);  // only the stub: the rest of sector 10 is erased
}

TEST(FirstNonEmptyIndex, Bounds) {
    const unsigned char bytes[] = {0xFF, 0xFF, 0x00};
    EXPECT_EQ(first_non_empty_index(bytes, 3), 2u);
    EXPECT_EQ(first_non_empty_index(bytes, 2), 2u);
    EXPECT_EQ(first_non_empty_index(bytes, 0), 0u);
}
