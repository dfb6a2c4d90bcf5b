// SPDX-License-Identifier: MIT
// Writes small seed inputs for the fuzzers into DIR/update, DIR/ihex,
// DIR/ihex_paths, DIR/ini, DIR/markdown, DIR/sysex, DIR/hid_report and
// DIR/signature (empty: its seed is a real signature, kept in fuzz/seeds/signature).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "devices/bootloader.hpp"
#include "tools/package_writer.hpp"
#include "updater/hid.hpp"
#include "updater/midi.hpp"
#include "updater/uhb.hpp"

using namespace zal::tools;
namespace fs = std::filesystem;

namespace {

void put(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

void put(const fs::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// MIDI bytes in the SysEx fuzzer's packets: each after a byte giving its length less one.
std::vector<unsigned char> packets(const std::vector<std::vector<uint8_t>>& messages, std::size_t packet_size) {
    std::vector<unsigned char> bytes, stream;
    for (const auto& message : messages) stream.insert(stream.end(), message.begin(), message.end());
    for (std::size_t at = 0; at < stream.size(); at += packet_size) {
        const std::size_t n = std::min(packet_size, stream.size() - at);
        bytes.push_back((unsigned char)(n - 1));
        bytes.insert(bytes.end(), stream.begin() + long(at), stream.begin() + long(at + n));
    }
    return bytes;
}

std::vector<unsigned char> report(std::vector<uint8_t> bytes) {
    bytes.resize(zal::updater::uhb::report_size);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const fs::path dir = argv[1];
    for (const char* sub : {"update", "ihex", "ihex_paths", "ini", "markdown", "signature", "sysex", "hid_report",
                            "signed_package", "history_text", "feed"})
        fs::create_directories(dir / sub);

    const std::string info = make_info_text("Ventaro", "1.2.3b4", "2020-05-06") + "description-en=x\n";
    const std::string hex =
        make_ihex({{0x08000000, make_synthetic_firmware(300, 1)}, {0x08003FF0, make_synthetic_firmware(40, 2)}});
    const std::string segments = make_ihex({{0x00010000, make_synthetic_firmware(64, 3)}}, {.segment_addresses = true});

    put(dir / "update/both", make_zip({{"info.txt", info},
                                       {"notes-en.txt", "# n"},
                                       {"ventaro.hex", hex},
                                       {"ventaro-stage2.hex", hex},
                                       {"ruvo.hex", hex}}));
    put(dir / "update/stored", make_zip({{"info.txt", info}, {"Ruvo.HEX", hex}}, false));
    put(dir / "update/no_data", make_zip({{"info.txt", info}}));
    // The end of an archive as ZIP64 writes it: a ZIP64 end record and its
    // locator before the 32-bit end record; and a locator alone in a file
    // shorter than the record it points at.
    {
        std::vector<unsigned char> zip = make_zip({{"info.txt", info}, {"ventaro.hex", hex}});
        const std::size_t end = zip.size() - 22;
        const auto field = [&](std::size_t at, int width) {
            uint64_t value = 0;
            for (int i = width - 1; i >= 0; --i) value = value << 8 | zip[end + at + std::size_t(i)];
            return value;
        };
        std::vector<unsigned char> record(56, 0), locator(20, 0);
        const auto put_le = [](std::vector<unsigned char>& bytes, std::size_t at, uint64_t value, int width) {
            for (int i = 0; i < width; ++i) bytes[at + std::size_t(i)] = (unsigned char)(value >> (8 * i));
        };
        put_le(record, 0, 0x06064b50, 4);
        put_le(record, 4, 44, 8);
        put_le(record, 12, 45, 2);
        put_le(record, 14, 45, 2);
        put_le(record, 24, field(8, 2), 8);
        put_le(record, 32, field(10, 2), 8);
        put_le(record, 40, field(12, 4), 8);
        put_le(record, 48, field(16, 4), 8);
        put_le(locator, 0, 0x07064b50, 4);
        put_le(locator, 8, end, 8);
        put_le(locator, 16, 1, 4);
        std::vector<unsigned char> zip64(zip.begin(), zip.begin() + long(end));
        zip64.insert(zip64.end(), record.begin(), record.end());
        zip64.insert(zip64.end(), locator.begin(), locator.end());
        zip64.insert(zip64.end(), zip.begin() + long(end), zip.end());
        put(dir / "update/zip64", zip64);
        std::vector<unsigned char> tiny(locator);
        put_le(tiny, 8, uint64_t(1) << 62, 8);
        tiny.insert(tiny.end(), zip.begin() + long(end), zip.end());
        put(dir / "update/zip64-locator-only", tiny);
    }

    put(dir / "ihex/linear", hex);
    put(dir / "ihex/segments", segments);
    put(dir / "ihex/crlf",
        make_ihex({{0x08004000, make_synthetic_firmware(100, 4)}}, {.line_end = "\r\n", .lowercase = true}));
    // The two reading paths part ways on records cut short or interrupted.
    put(dir / "ihex_paths/linear", hex);
    put(dir / "ihex_paths/segments", segments);
    put(dir / "ihex_paths/broken", hex.substr(0, 30) + ":10\n" + hex.substr(30, 50) + "x\r:0" + hex.substr(80, 200));

    put(dir / "ini/info", info);
    put(dir / "ini/odd", "\xEF\xBB\xBF; c\n[general] a=b\n[gen\n =x\nk= \r\n[]\nv=1=2\nlast=");
    put(dir / "markdown/notes",
        std::string("# Title\n## Sub **bold** *em* __s__ _e_\n- item\n-- inner\n> quote\n"
                    "[link](https://a.example/x) ![img](logo.png) www.a.example mail@a.example https://b.example/(x)\n"
                    "\\*esc\\* `code` ``a`b`` \\`no`\r\n#\n"));
    // Shapes that once cost quadratic time, a few KiB each.
    const auto repeated = [](const std::string& unit, std::size_t times) {
        std::string text;
        for (std::size_t i = 0; i < times; ++i) text += unit;
        return text;
    };
    put(dir / "markdown/emphasis-runs", repeated("*_", 2000));
    put(dir / "markdown/parentheses", "see https://e.org/a(b" + repeated(")", 4000));
    put(dir / "markdown/local-parts", repeated("a_", 2000));
    put(dir / "markdown/backticks", "``" + repeated("a", 5000) + "` then `x`");
    put(dir / "markdown/nesting", repeated(">", 2000) + " q\n" + repeated("-", 2000) + " l\n");
    put(dir / "markdown/unicode", std::string("# Caf\xC3\xA9 \xE2\x80\xA8> \xC2\xA0x\n- \xF0\x9F\x8E\xB9"));

    namespace midi = zal::updater::midi;
    namespace uhb = zal::updater::uhb;
    using report_t = midi::stage2_report_t;
    midi::bootloader_magic_key_t key;
    key.k = {0x12, 0x34, 0x56, 0x78};
    put(dir / "sysex/reboot", packets({midi::bootloader_key_message(key), {0x90, 0x3C, 0x40, 0x3E, 0x40, 0xF8}}, 3));
    put(dir / "sysex/stage2",
        packets({midi::stage2_report_message({report_t::type_t::progress, 0.5f, {}}),
                 midi::stage2_report_message({report_t::type_t::error, 0, "Flash error \xC3\xA9"}),
                 midi::stage2_report_message({report_t::type_t::complete, 0, {}})},
                16));

    put(dir / "hid_report/info", report(zal::devices::info_record(zal::kind_t::ventaro)));
    const std::array<uint8_t, 2> echo = uhb::echo_of(uhb::cmd_code::write);
    put(dir / "hid_report/write", report({echo.begin(), echo.end()}));
    put(dir / "hid_report/strings", std::string("Zalmir Instruments (") + zal::maker_web_domain +
                                        ") Mus\xC3\xA9"
                                        "e \xED\xA0\x80");
    // A recorded run's texts as the terminal and the window get them: a log
    // with controls, and a path with the user's name.
    put(dir / "history_text/log",
        std::string("[1-1 Ventaro] \x1b]0;t\x07 said \xe2\x80\xae\n/home/ann/x") + '\0' + "/home/ann" + '\0' + "ann");
    return 0;
}
