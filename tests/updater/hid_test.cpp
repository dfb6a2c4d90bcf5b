// SPDX-License-Identifier: MIT
#include "updater/hid.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "common/async/main_queue.hpp"
#include "tests/updater/log_lines.hpp"
#include "devices/in_process/hid_bus.hpp"

using namespace zal;
using namespace zal::updater;

namespace {

// The engine's HID backend for these tests.
devices::hid_bus_t& bus() {
    static auto* installed = [] {
        auto* b = new devices::hid_bus_t;
        hid_io::set_backend(b);
        return b;
    }();
    return *installed;
}

update_plan_t plan_with(std::vector<unsigned char>& bytes) {
    update_plan_t plan{0x08000000, {}};
    plan.actions.push_back({update_action_t::operation_t::erase, 0, 1});
    plan.actions.push_back({update_action_t::operation_t::write, 0x100, 0, bytes.data(), bytes.size()});
    return plan;
}

hid_io::device_info_t info_of(uint16_t vid, uint16_t pid, const char* manufacturer, const char* product) {
    hid_io::device_info_t info;
    info.path = "/dev/hidraw-test";
    info.vendor_id = vid;
    info.product_id = pid;
    if (manufacturer) info.manufacturer = manufacturer;
    if (product) info.product = product;
    return info;
}

// A bootloader that answers every command with its echo, and a write once its
// last data report has come, and counts reports.
struct echo_endpoint_t : devices::hid_endpoint_t {
    int write(const uint8_t* data, std::size_t length) override {
        ++reports;
        if (fail_at == reports - 1) return -1;
        const uint8_t* r = data + 1;
        if (write_remaining > 0) {
            write_remaining -= std::min(write_remaining, 64);
            if (write_remaining == 0) pending = {0x0F, 0x0B};
            return int(length);
        }
        if (length == 65 && r[0] == 0x0F && r[1] != 0x0B && r[1] != 0x04) pending = {0x0F, r[1]};
        if (r[1] == 0x02 && r[0] == 0x0F) {
            pending.assign(64, 0);
            pending[0] = 56;
            pending[1] = 1;
            pending[2] = 37;
        }
        if (r[0] == 0x0F && r[1] == 0x0B) write_remaining = r[6] | r[7] << 8;
        return int(length);
    }
    int write_remaining = 0;
    int read(uint8_t* data, std::size_t length, int) override {
        const std::size_t n = std::min(length, pending.size());
        if (n > 0) std::memcpy(data, pending.data(), n);
        pending.clear();
        return int(n);
    }
    std::vector<uint8_t> pending;
    int reports = 0;
    int fail_at = -1;
};

}  // namespace

TEST(ProgrammingSequence, OneEraseAndAHundredBytes) {
    std::vector<unsigned char> bytes(100, 0x5A);
    const auto sequence = hid::make_programming_sequence(plan_with(bytes));
    ASSERT_EQ(sequence.size(), 8u);
    const uint8_t codes[] = {2, 3, 1, 21, 11};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(sequence[std::size_t(i)].request[0], 0x0F);
        EXPECT_EQ(sequence[std::size_t(i)].request[1], codes[i]);
    }
    EXPECT_EQ(sequence[3].timeout_ms, 4000);
    EXPECT_EQ(sequence[4].request[2], 0x00);  // address 0x100, little-endian
    EXPECT_EQ(sequence[4].request[3], 0x01);
    EXPECT_EQ(sequence[4].request[6], 100);  // count
    EXPECT_FALSE(sequence[4].check);
    EXPECT_FALSE(sequence[5].check);
    EXPECT_EQ(sequence[5].request[63], 0x5A);
    ASSERT_TRUE(sequence[6].check);
    EXPECT_EQ(sequence[6].timeout_ms, 4000);
    EXPECT_EQ(sequence[6].request[35], 0x5A);
    EXPECT_EQ(sequence[6].request[36], 0xFF);  // padding
    EXPECT_EQ(sequence[7].request[1], 4);
    EXPECT_FALSE(sequence[7].check);
}

TEST(ProgrammingSequence, ExactReportSizeAndEmptyWrites) {
    std::vector<unsigned char> bytes(64, 0x11);
    update_plan_t plan{0x08000000,
                       {{update_action_t::operation_t::write, 0x40, 0, bytes.data(), 64},
                        {update_action_t::operation_t::write, 0x80, 0, bytes.data(), 0}}};
    std::vector<hid::roundtrip_t> sequence;
    hid::append(sequence, plan);
    ASSERT_EQ(sequence.size(), 3u);  // write, one unpadded data report, then a bare write command
    EXPECT_TRUE(sequence[1].check);
    EXPECT_EQ(sequence[1].request[63], 0x11);
    EXPECT_EQ(sequence[2].request[1], 11);
}

// Sector 0's vector table is gone from its erase until its last write is
// confirmed, whether sector 0's data begins at its first byte or further in.
TEST(ProgrammingSequence, SectorZeroWindowClosesAfterItsLastWrite) {
    std::vector<unsigned char> bytes(100, 0x5A);
    const auto from_0x100 = hid::make_programming_sequence(plan_with(bytes));
    const bool expected[] = {false, false, false, true, true, true, false, false};
    for (std::size_t i = 0; i < from_0x100.size(); ++i)
        EXPECT_EQ(from_0x100[i].leaves_sector0_erased, expected[i]) << "roundtrip " << i;

    update_plan_t plan{0x08000000,
                       {{update_action_t::operation_t::erase, 0, 1},
                        {update_action_t::operation_t::write, 0, 0, bytes.data(), 64},
                        {update_action_t::operation_t::write, 0x2000, 0, bytes.data(), 64},
                        {update_action_t::operation_t::erase, 0x4000, 1},
                        {update_action_t::operation_t::write, 0x4000, 0, bytes.data(), 64}}};
    std::vector<hid::roundtrip_t> sequence;
    hid::append(sequence, plan);
    ASSERT_EQ(sequence.size(), 8u);
    const bool two_writes[] = {true, true, true, true, false, false, false, false};
    for (std::size_t i = 0; i < sequence.size(); ++i)
        EXPECT_EQ(sequence[i].leaves_sector0_erased, two_writes[i]) << "roundtrip " << i;
}

// The information record says where the bootloader begins; a plan reaching it
// fails at that first answer, before anything is erased.
TEST(ProgrammingSequence, InformationAnswerGuardsTheBootloader) {
    std::vector<unsigned char> bytes(64, 0x5A);
    update_plan_t plan{0x08000000,
                       {{update_action_t::operation_t::erase, 0xC0000, 1},
                        {update_action_t::operation_t::write, 0xDFFF0, 0, bytes.data(), 64}}};
    const auto sequence = hid::make_programming_sequence(plan);
    std::vector<uint8_t> record(64, 0);
    const uint8_t fields[] = {56, 1, 37, 6, 0, 0, 0, 0, 0, 0x0E, 0};  // MCU 37, boot start 0xE0000
    std::copy(std::begin(fields), std::end(fields), record.begin());
    const auto wrong = sequence[0].check(record.data(), record.size());
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->kind, failure_kind_t::would_overwrite_bootloader);
    EXPECT_STREQ(wrong->text, "The update would overwrite the device's bootloader.");
    record[9] = 0x0F;  // boot start 0xF0000: the plan stays below it
    EXPECT_FALSE(sequence[0].check(record.data(), record.size()));
    const uint8_t absolute[] = {0x00, 0x00, 0x0E, 0x08};  // 0x080E0000, as an address
    std::copy(std::begin(absolute), std::end(absolute), record.begin() + 7);
    EXPECT_TRUE(sequence[0].check(record.data(), record.size()));
}

TEST(Matching, DescriptorsCompareExactly) {
    const auto ruvo = info_of(0x16C0, 0x05DF, "Zalmir Instruments (zalmir.example)", "Ventaro Ruvo Update");
    EXPECT_TRUE(hid::matches(ruvo, usb_descriptor_bootloader_ruvo2));
    EXPECT_FALSE(hid::matches(ruvo, usb_descriptor_bootloader_ruvo));
    const auto lower = info_of(0x16C0, 0x05DF, "Zalmir Instruments (zalmir.example)", "ventaro ruvo update");
    EXPECT_FALSE(hid::matches(lower, usb_descriptor_bootloader_ruvo2));
    const auto no_maker = info_of(0x16C0, 0x05DF, nullptr, "Ventaro Ruvo Update");
    EXPECT_FALSE(hid::matches(no_maker, usb_descriptor_bootloader_ruvo2));
    const auto accented = info_of(0x16C0, 0x05DF, "Zalmir Instruments (zalmir.example)", "Ventaro Ruvo Updat\u00e9");
    EXPECT_FALSE(hid::matches(accented, usb_descriptor_bootloader_ruvo2));
    EXPECT_EQ(usb_descriptor_bootloader_ventaro.manufacturer,
              std::string("Zalmir Instruments (") + maker_web_domain + ")");
}

TEST(Matching, FirstGenerationBootloaderTakesTheAskedKind) {
    const std::string path =
        bus().plug({"Mikroelektronika", "USB HID Bootloader", 0x1234, 0x0001}, {}, std::make_shared<echo_endpoint_t>());
    EXPECT_EQ(hid::first_matching_device(kind_t::any).kind, kind_t::any);
    EXPECT_EQ(hid::first_matching_device(kind_t::any).path, path);
    EXPECT_EQ(hid::first_matching_device(kind_t::ruvo).kind, kind_t::ruvo);
    const std::string ventaro = bus().plug({"Zalmir Instruments (zalmir.example)", "Ventaro Updater", 0x16C0, 0x05DF},
                                           {}, std::make_shared<echo_endpoint_t>());
    EXPECT_EQ(hid::first_matching_device(kind_t::any).path, path);  // the bus order decides
    bus().unplug(path);
    EXPECT_EQ(hid::first_matching_device(kind_t::any).kind, kind_t::ventaro);
    EXPECT_TRUE(hid::first_matching_device(kind_t::ruvo).path.empty());
    bus().unplug(ventaro);
}

class ProcessSequence : public ::testing::Test {
protected:
    void SetUp() override {
        main_queue::attach_current_thread(true);
        endpoint = std::make_shared<echo_endpoint_t>();
        path = bus().plug({"m", "p", 0x16C0, 0x05DF}, {}, endpoint);
        sequence = hid::make_programming_sequence(plan_with(bytes));
    }
    void TearDown() override { bus().unplug(path); }
    std::vector<unsigned char> bytes = std::vector<unsigned char>(100, 1);
    std::shared_ptr<echo_endpoint_t> endpoint;
    std::string path;
    std::vector<hid::roundtrip_t> sequence;
};

TEST_F(ProcessSequence, RunsEveryRoundtripWithProgressAndLogs) {
    std::vector<std::pair<std::size_t, std::size_t>> calls;
    ::testing::internal::CaptureStderr();
    hid::run_sequence(sequence, path.c_str(), [&](std::size_t done, std::size_t total) {
        calls.emplace_back(done, total);
        return true;
    });
    EXPECT_EQ(without_times(::testing::internal::GetCapturedStderr()), "Will execute 8 HID roundtrips.\n");
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls.front(), std::make_pair(std::size_t(0), std::size_t(8)));
    EXPECT_EQ(calls.back(), std::make_pair(std::size_t(8), std::size_t(8)));
    EXPECT_EQ(endpoint->reports, 8);
    EXPECT_EQ(bus().open_handles(), 0u);
}

TEST_F(ProcessSequence, StopsWhenProgressSaysSo) {
    int calls = 0;
    ::testing::internal::CaptureStderr();
    hid::run_sequence(sequence, path.c_str(), [&](std::size_t, std::size_t) { return ++calls < 1; });
    EXPECT_EQ(without_times(::testing::internal::GetCapturedStderr()),
              "Will execute 8 HID roundtrips.\nCancelled at roundtrip #0.\n");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(endpoint->reports, 1);
    EXPECT_EQ(bus().open_handles(), 0u);
}

TEST_F(ProcessSequence, FailuresNameTheirRoundtrip) {
    endpoint->fail_at = 0;
    int calls = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(
        {
            try {
                hid::run_sequence(sequence, path.c_str(), [&](std::size_t, std::size_t) { return ++calls > 0; });
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "Could not write a HID report.");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_NE(without_times(::testing::internal::GetCapturedStderr())
                  .find("Error on roundtrip #0: Could not write a HID report.\n"),
              std::string::npos);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(bus().open_handles(), 0u);
}

TEST_F(ProcessSequence, UnknownPathAndEmptySequence) {
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(hid::run_sequence(sequence, "/dev/hidraw-missing", {}), std::runtime_error);
    hid::run_sequence({}, path.c_str(),
                      [](std::size_t, std::size_t) -> bool { throw std::logic_error("no progress expected"); });
    EXPECT_NE(without_times(::testing::internal::GetCapturedStderr()).find("No work to do.\n"), std::string::npos);

    hid::roundtrip_t silent = hid::make_command({uhb::cmd_code::sync});
    silent.check = uhb::check_response<uhb::cmd_code::sync>;
    silent.request[1] = 0x0B;  // the echo endpoint stays silent for a write code
    ::testing::internal::CaptureStderr();
    try {
        hid::run_sequence({silent}, path.c_str(), {});
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No HID packet received after timeout.");
    }
    EXPECT_EQ(without_times(::testing::internal::GetCapturedStderr()),
              "Will execute 1 HID roundtrip.\nError on roundtrip #0: No HID packet received after timeout.\n");
}
