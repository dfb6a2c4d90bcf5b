// SPDX-License-Identifier: MIT
#include "common/midi_io/receive_parser.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

using namespace zal::midi;
using namespace zal::midi::io;

namespace {

// Everything the parser delivered, in order, as text: "90 3C 64" for a message,
// "sysex[01 02]" or "sysex[01 02]!" (incomplete) for a body.
class Received {
public:
    receive_parser_t parser{[this](message_t m) {
                                add(hex({m.status, m.data1, m.data2}));
                            },
                            [this](const uint8_t* d, std::size_t n, bool incomplete) {
                                add("sysex[" + hex(std::vector<uint8_t>(d, d + n)) + "]" + (incomplete ? "!" : ""));
                            }};

    Received& feed(std::initializer_list<uint8_t> bytes) {
        const std::vector<uint8_t> v(bytes);
        parser.feed(v.data(), v.size());
        return *this;
    }
    std::string text() const { return text_; }

private:
    static std::string hex(const std::vector<uint8_t>& bytes) {
        std::string s;
        char b[4];
        for (uint8_t x : bytes) {
            std::snprintf(b, sizeof b, "%02X", x);
            if (!s.empty()) s += ' ';
            s += b;
        }
        return s;
    }
    void add(const std::string& item) { text_ += (text_.empty() ? "" : ", ") + item; }
    std::string text_;
};

}  // namespace

TEST(ReceiveParser, RunningStatus) {
    EXPECT_EQ(Received().feed({0x90, 0x3C, 0x64, 0x3E, 0x00}).text(), "90 3C 64, 90 3E 00");
    EXPECT_EQ(Received().feed({0xC5, 0x07, 0x08}).text(), "C5 07 00, C5 08 00");
    EXPECT_EQ(Received().feed({0xB0, 0x07}).feed({0x64, 0x07}).feed({0x00}).text(), "B0 07 64, B0 07 00");
}

TEST(ReceiveParser, SystemCommonMessagesHaveNoRunningStatus) {
    EXPECT_EQ(Received().feed({0xF1, 0x05, 0x06}).text(), "F1 05 00");
    EXPECT_EQ(Received().feed({0xF6}).text(), "F6 00 00");
    EXPECT_EQ(Received().feed({0xF2, 0x01, 0x02, 0x03}).text(), "F2 01 02");
    EXPECT_EQ(Received().feed({0x3C, 0x40}).text(), "");
}

TEST(ReceiveParser, RealTimeBytesPassThroughAnywhere) {
    EXPECT_EQ(Received().feed({0x90, 0x3C, 0xF8, 0x64}).text(), "F8 80 80, 90 3C 64");
    EXPECT_EQ(Received().feed({0xF0, 0x01, 0x02, 0xF8, 0x03, 0xF7}).text(), "F8 80 80, sysex[01 02 03]");
}

TEST(ReceiveParser, SysexAcrossPackets) {
    EXPECT_EQ(Received().feed({0xF0, 0x00, 0x31}).feed({0x33, 0x7F, 0xF7}).text(), "sysex[00 31 33 7F]");
    EXPECT_EQ(Received().feed({0xF0, 0xF7}).text(), "sysex[]");
}

TEST(ReceiveParser, SysexInterruptedByAStatusByte) {
    EXPECT_EQ(Received().feed({0xF0, 0x01, 0x02, 0x90, 0x3C, 0x64}).text(), "sysex[01 02]!, 90 3C 64");
    EXPECT_EQ(Received().feed({0xF0, 0x01, 0xF0, 0x02, 0xF7}).text(), "sysex[01]!, sysex[02]");
}

TEST(ReceiveParser, OverrunEndsTheSysexAsIncomplete) {
    Received r;
    r.feed({0xF0, 0x01});
    r.parser.overrun();
    r.feed({0x02, 0xF7, 0x90, 0x01, 0x02});
    EXPECT_EQ(r.text(), "sysex[01]!, 90 01 02");
}

TEST(ReceiveParser, OversizedSysexArrivesInIncompletePieces) {
    std::size_t pieces = 0, total = 0, complete = 0;
    receive_parser_t parser({}, [&](const uint8_t*, std::size_t n, bool incomplete) {
        ++pieces;
        total += n;
        complete += !incomplete;
    });
    std::vector<uint8_t> bytes(receive_parser_t::max_sysex + 10, 0x11);
    bytes.front() = 0xF0;
    bytes.push_back(0xF7);
    parser.feed(bytes.data(), bytes.size());
    EXPECT_EQ(pieces, 2u);
    EXPECT_EQ(total, receive_parser_t::max_sysex + 9);
    EXPECT_EQ(complete, 0u);  // the over-long body is never whole
}
