// SPDX-License-Identifier: MIT
#include "updater/midi.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "common/async/main_queue.hpp"
#include "common/midi_io/virtual/virtual_service.hpp"
#include "tests/updater/log_lines.hpp"

using namespace zal;
using namespace zal::updater::midi;
namespace io = zal::midi::io;

TEST(Handshake, ConfirmationInvertsTheKey) {
    bootloader_magic_key_t key;
    key.k = {0x00, 0x7F, 0x85, 0x05};
    EXPECT_EQ(bootloader_confirmation(key),
              (std::array<uint8_t, 10>{0xF0, 0x00, 0x31, 0x33, 0x7F, 0x7F, 0x00, 0x7A, 0x7A, 0xF7}));
}

TEST(Handshake, OnlyAnEightByteKeyBodyIsAccepted) {
    bootloader_magic_key_t key;
    const uint8_t good[] = {0x00, 0x31, 0x33, 0x7F, 1, 2, 3, 4};
    EXPECT_TRUE(key.read(good, 8));
    EXPECT_EQ(key.k, (std::array<uint8_t, 4>{1, 2, 3, 4}));
    const uint8_t nine[] = {0x00, 0x31, 0x33, 0x7F, 1, 2, 3, 4, 5};
    EXPECT_FALSE(key.read(nine, 9));
    uint8_t other[8];
    std::memcpy(other, good, 8);
    other[3] = 0x7E;
    EXPECT_FALSE(key.read(other, 8));
}

TEST(Stage2Reports, ProgressOfOne) {
    const uint8_t body[] = {0x00, 0x31, 0x33, 0x01, 0x7F, 0x02, 0x01, 0x00, 0x00, 0x01, 0x00, 0x3F};
    EXPECT_EQ(unescape(body + 3, sizeof body - 3), (std::vector<uint8_t>{0xFF, 0x01, 0x00, 0x00, 0x80, 0x3F}));
    const auto report = read_stage2_report(body, sizeof body);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->type, stage2_report_t::type_t::progress);
    EXPECT_EQ(report->progress, 1.0f);
    EXPECT_EQ(escape({0xFF, 0x01, 0x00, 0x00, 0x80, 0x3F}), std::vector<uint8_t>(body + 3, body + sizeof body));
}

TEST(Stage2Reports, ErrorTexts) {
    auto error_body = [](uint8_t declared, std::size_t present) {
        std::vector<uint8_t> decoded = {0xFF, 0x02, declared};
        for (std::size_t i = 0; i < present; ++i) decoded.push_back(uint8_t('a' + i % 26));
        std::vector<uint8_t> body = {0x00, 0x31, 0x33};
        const auto content = escape(decoded);
        body.insert(body.end(), content.begin(), content.end());
        return body;
    };
    const auto capped = error_body(100, 64);
    EXPECT_EQ(read_stage2_report(capped.data(), capped.size())->text.size(), 64u);
    const auto short_text = error_body(20, 5);
    EXPECT_EQ(read_stage2_report(short_text.data(), short_text.size())->text, "abcde");
    const auto too_long = error_body(64, 65);  // 68 decoded bytes
    EXPECT_FALSE(read_stage2_report(too_long.data(), too_long.size()));
}

// The firmware cuts at 64 bytes, inside a character or not: the user sees the
// whole characters before the cut, and a text that is whole stays as it is.
TEST(Stage2Reports, AnErrorTextCutInsideACharacterKeepsTheWholeOnes) {
    struct case_t {
        std::string sent, shown;
    };
    const std::string a62(62, 'a'), a61(61, 'a'), a60(60, 'a');
    const case_t cases[] = {
        {a62 + "\u00e9\u00e9", a62 + "\u00e9"},                  // é is 2 bytes: cut after its first byte
        {a61 + "\u20ac", a61 + "\u20ac"},                        // € is 3 bytes and fits
        {a62 + "\u20ac", a62},                                   // 2 of its 3 bytes
        {a60 + "\U0001F3B9", a60 + "\U0001F3B9"},                // 4 bytes, whole
        {a61 + "\U0001F3B9", a61},                               // 3 of 4
        {"Moteur arr\u00eat\u00e9", "Moteur arr\u00eat\u00e9"},  // short: untouched
    };
    for (const case_t& c : cases) {
        const auto message = stage2_report_message({stage2_report_t::type_t::error, 0, c.sent});
        const auto report = read_stage2_report(message.data() + 1, message.size() - 2);
        ASSERT_TRUE(report);
        EXPECT_EQ(report->text, c.shown) << c.sent;
    }
}

TEST(Stage2Reports, BodiesThatDoNotFit) {
    const uint8_t three[] = {0x00, 0x31, 0x33};
    EXPECT_FALSE(read_stage2_report(three, 3));
    std::vector<uint8_t> big(257, 0x10);
    big[0] = 0x00, big[1] = 0x31, big[2] = 0x33, big[3] = 0x01, big[4] = 0x7F, big[5] = 0x03;
    EXPECT_FALSE(read_stage2_report(big.data(), big.size()));
    big.resize(256);
    EXPECT_EQ(read_stage2_report(big.data(), big.size())->type, stage2_report_t::type_t::complete);
    const uint8_t not_ff[] = {0x00, 0x31, 0x33, 0x7E, 0x03};
    EXPECT_FALSE(read_stage2_report(not_ff, sizeof not_ff));
    const uint8_t dangling[] = {0x00, 0x31, 0x33, 0x01, 0x7F, 0x03, 0x01};  // escape at the end: nothing
    EXPECT_EQ(read_stage2_report(dangling, sizeof dangling)->type, stage2_report_t::type_t::complete);
    const uint8_t short_progress[] = {0x00, 0x31, 0x33, 0x01, 0x7F, 0x01, 0x00};
    EXPECT_FALSE(read_stage2_report(short_progress, sizeof short_progress));
}

class DeviceLookup : public ::testing::Test {
protected:
    void SetUp() override {
        main_queue::attach_current_thread(true);
        io::set_service(&service);
        ASSERT_TRUE(io::init("VentaroUpdate"));
        ::testing::internal::CaptureStderr();
    }
    void TearDown() override {
        ::testing::internal::GetCapturedStderr();
        io::deinit();
        io::set_service(nullptr);
    }
    int32_t add(const char* model, const char* name, int directions) {
        return service.add_endpoint(model, name, std::string(model) + " " + name, directions);
    }
    static constexpr int both = io::service_t::is_source | io::service_t::is_destination;
    io::virtual_service_t service;
};

TEST_F(DeviceLookup, PortOrderDecidesForAnyKind) {
    const int32_t ruvo = add("Ventaro Ruvo", "Ventaro", both);
    add("Ventaro Ruvo", "MIDI DIN", both);
    const int32_t ventaro = add("Ventaro", "MIDI 1", both);
    const running_device_t any = first_matching_device(kind_t::any);
    EXPECT_EQ(any.kind, kind_t::ruvo);
    EXPECT_EQ(any.in, io::make_in(ruvo));
    EXPECT_EQ(any.out, io::make_out(ruvo));
    const running_device_t instrument = first_matching_device(kind_t::ventaro);
    EXPECT_EQ(instrument.kind, kind_t::ventaro);
    EXPECT_EQ(instrument.in, io::make_in(ventaro));
}

// A Ruvo on a kernel that names no jack: three unnamed ports of kind ruvo, in
// the device's jack order. Only the first, the Ventaro jack, is ever used, so
// nothing reaches the DIN or USB-host output.
TEST_F(DeviceLookup, AnUnnamedRuvoIsReachedThroughItsFirstJack) {
    std::vector<int32_t> jacks;
    for (int n = 1; n <= 3; ++n)
        jacks.push_back(service.add_endpoint("Ventaro Ruvo", "", "Ventaro Ruvo MIDI " + std::to_string(n), both));
    for (kind_t kind : {kind_t::any, kind_t::ruvo}) {
        const running_device_t ruvo = first_matching_device(kind);
        EXPECT_EQ(ruvo.kind, kind_t::ruvo);
        EXPECT_EQ(ruvo.in, io::make_in(jacks[0]));
        EXPECT_EQ(ruvo.out, io::make_out(jacks[0]));
    }
}

// An input whose output is not there (yet) is no device to update: nothing could
// be asked of it. Address 0 is a real port on ALSA, so "no output" is `no_out`.
TEST_F(DeviceLookup, AnInputWithoutItsOutputIsPassedOver) {
    add("Ventaro", "MIDI 1", io::service_t::is_source);
    EXPECT_FALSE(first_matching_device(kind_t::any).usable());
    const int32_t ruvo = add("Ventaro Ruvo", "Ventaro", both);
    const running_device_t d = first_matching_device(kind_t::any);
    EXPECT_EQ(d.kind, kind_t::ruvo);
    EXPECT_EQ(d.out, io::make_out(ruvo));
    EXPECT_FALSE(send_bootloader_request(io::no_out));
}

TEST_F(DeviceLookup, UpdaterPortsAndLogLines) {
    add("Ruvo Updater", "MIDI 1", both);
    EXPECT_EQ(first_matching_device(kind_t::any).kind, kind_t::ruvo);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::regex_match(log, std::regex(R"((\d\d:\d\d:\d\d\.\d\d\d .*\n)+)"))) << log;
    EXPECT_EQ(without_times(log), "MIDI devices: Ruvo Updater MIDI 1.\n");
    ::testing::internal::CaptureStderr();
}
