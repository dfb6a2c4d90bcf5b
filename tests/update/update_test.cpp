// SPDX-License-Identifier: MIT
#include "update/update.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <algorithm>
#include <atomic>
#include <thread>

#include "common/text/printable.hpp"
#include "tools/package_writer.hpp"

using namespace zal;
using tools::make_zip;
using tools::zip_entry_t;

namespace {

const std::string small_hex = tools::make_ihex({{0x08000000, tools::make_synthetic_firmware(64, 7)}});
const std::string info = tools::make_info_text("Ventaro", "1.2.3", "2019-07-03");

update_t read(const std::vector<zip_entry_t>& entries, bool compress = true) {
    const auto zip = make_zip(entries, compress);
    return make_update(zip.data(), zip.size());
}

std::string failure(const std::vector<zip_entry_t>& entries) {
    try {
        read(entries);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "<no error>";
}

std::string failure_of_info(const std::string& text) {
    return failure({{"info.txt", text}, {"ventaro.hex", small_hex}});
}

update_t with_info(const std::string& text) { return read({{"info.txt", text}, {"ventaro.hex", small_hex}}); }

}  // namespace

TEST(MakeUpdate, ReadsEveryField) {
    const auto update = read({
        {"info.txt", info + "description-en=An update\ndescription-fr=Une mise \xC3\xA0 jour\n"},
        {"notes-en.txt", "# Notes"},
        {"notes-fr.txt", "# Remarques"},
        {"ventaro.hex", small_hex},
        {"ventaro-stage2.hex", small_hex},
        {"ruvo.hex", small_hex},
    });
    EXPECT_EQ(update.product, "Ventaro");
    EXPECT_EQ(update.version_string, "1.2.3");
    EXPECT_EQ(update.version.major, 1);
    EXPECT_EQ(update.version.minor, 2);
    EXPECT_EQ(update.version.patch, 3);
    EXPECT_EQ(update.version.beta, 0);
    EXPECT_EQ(update.release_date.year, 2019);
    EXPECT_EQ(update.release_date.month, 7);
    EXPECT_EQ(update.release_date.day, 3);
    EXPECT_EQ(update.description[0], "An update");
    EXPECT_EQ(update.description[1], "Une mise \xC3\xA0 jour");
    EXPECT_EQ(update.notes[0], "# Notes");
    EXPECT_EQ(update.notes[1], "# Remarques");
    ASSERT_TRUE(update.ventaro);
    EXPECT_TRUE(update.ventaro->stage2);
    EXPECT_EQ(update.ventaro->main.sectors.size(), 2u);  // sector 0 and the stub in sector 10
    ASSERT_TRUE(update.ruvo);
    EXPECT_FALSE(update.ruvo->stage2);
}

TEST(MakeUpdate, DeviceKindsFollowTheFirmwareEntries) {
    const auto ruvo_only = read({{"info.txt", info}, {"ruvo.hex", small_hex}});
    EXPECT_FALSE(ruvo_only.ventaro);
    EXPECT_TRUE(ruvo_only.ruvo);

    EXPECT_EQ(failure({{"info.txt", info}, {"ventaro-stage2.hex", small_hex}, {"ruvo-stage2.hex", small_hex}}),
              "No update data found.");
    EXPECT_EQ(failure({{"info.txt", info}, {"ventaro.hex", ""}}), "No update data found.");
}

TEST(MakeUpdate, EntryNamesMatchWholeAndIgnoringAsciiCase) {
    EXPECT_TRUE(read({{"INFO.TXT", info}, {"Ventaro.Hex", small_hex}}).ventaro);
    EXPECT_EQ(failure({{"info.txt", info}, {"firmware/ventaro.hex", small_hex}}), "No update data found.");
    EXPECT_EQ(failure({{"info.txt", info}, {"ventaro.hex.bak", small_hex}}), "No update data found.");

    // The first entry in stored order wins, even when it is unusable.
    const auto first =
        read({{"info.txt", info}, {"notes-en.txt", "first"}, {"NOTES-EN.TXT", "second"}, {"ruvo.hex", small_hex}});
    EXPECT_EQ(first.notes[0], "first");
    const auto empty_first =
        read({{"info.txt", info}, {"notes-en.txt", ""}, {"Notes-En.txt", "second"}, {"ruvo.hex", small_hex}});
    EXPECT_EQ(empty_first.notes[0], "");
}

TEST(MakeUpdate, StoredAndDeflatedEntriesReadAlike) {
    const std::vector<zip_entry_t> entries = {{"info.txt", info}, {"ventaro.hex", small_hex}};
    EXPECT_EQ(read(entries, false).ventaro->main.sectors, read(entries, true).ventaro->main.sectors);
}

TEST(MakeUpdate, ReleaseDates) {
    const auto date = [](const char* value) {
        return with_info("[general]\nproduct=p\nreleasedate=" + std::string(value) + "\n").release_date;
    };
    EXPECT_EQ(date("2019-7-3").month, 7);
    EXPECT_EQ(date("2019-7-3").day, 3);
    EXPECT_EQ(date("2019-02-31").day, 31);
    EXPECT_EQ(date("2016-01-01 and more").year, 2016);
    for (const char* bad :
         {"2015-12-01", "2019-13-01", "2019-12-00", "2019-12-32", "03/07/2019", "-201-01-01", "soon"}) {
        EXPECT_EQ(failure_of_info("[general]\nproduct=p\nreleasedate=" + std::string(bad) + "\n"),
                  "No version info found.")
            << bad;
    }
    EXPECT_EQ(failure_of_info("[general]\nproduct=p\n"), "No version info found.");
}

TEST(MakeUpdate, Versions) {
    const auto version = [](const std::string& line) {
        return with_info("[general]\nproduct=p\nreleasedate=2020-01-01\n" + line + "\n");
    };
    const auto beta = version("version=1.2.3b4");
    EXPECT_EQ(beta.version.beta, 4);
    EXPECT_EQ(version("version=300.1.1").version.major, 44);
    const auto none = version("");
    EXPECT_EQ(none.version_string, "");
    EXPECT_EQ(none.version.major, 0);

    // A version that would retitle the terminal and clear it reaches it escaped.
    for (const std::string odd : {"1.2", "v1.2.3", "v\x1b]0;x\x07\x1b[2J"}) {
        testing::internal::CaptureStderr();
        const auto u = version(std::string("version=") + odd);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Could not parse version string in update info: " + printable(odd) + "\n");
        EXPECT_EQ(u.version_string, odd);
        EXPECT_EQ(u.version.major + u.version.minor + u.version.patch + u.version.beta, 0);
    }
}

TEST(MakeUpdate, DescriptionsAreIndependent) {
    const auto u = with_info(info + "description-fr=Texte\n");
    EXPECT_EQ(u.description[0], "");
    EXPECT_EQ(u.description[1], "Texte");
}

TEST(MakeUpdate, InfoFileFailuresInStepOrder) {
    EXPECT_EQ(failure({{"ventaro.hex", small_hex}}), "No info file found in update.");
    EXPECT_EQ(failure({{"info.txt", ""}, {"ventaro.hex", small_hex}}), "No info file found in update.");
    EXPECT_EQ(failure_of_info("[info]\nproduct=p\nreleasedate=2020-01-01\n"), "Wrong format for info file in update.");
    EXPECT_TRUE(with_info("[General Information]\nproduct=p\nreleasedate=2020-01-01\n").ventaro);
    EXPECT_EQ(failure_of_info("product=p\n[general]\nreleasedate=2020-01-01\n"), "No product info found.");
    EXPECT_EQ(failure({{"info.txt", "[general]\nproduct=p\n"}}), "No version info found.");
}

TEST(MakeUpdate, FirmwareOutsideTheFlashFailsTheWholeRead) {
    const std::string outside = tools::make_ihex({{0x08100000, {1}}});
    EXPECT_EQ(failure({{"info.txt", info}, {"ventaro.hex", small_hex}, {"ruvo.hex", outside}}),
              "Firmware does not fit the target product.");
    EXPECT_EQ(failure({{"info.txt", info}, {"ventaro.hex", small_hex}, {"ventaro-stage2.hex", outside}}),
              "Firmware does not fit the target product.");
}

// Images are decoded on two threads, but a package with several faults fails
// with the first one met in reading order (Ventaro main, its stage 2, Ruvo
// main, its stage 2), and the stage 2 of a device whose main image is unusable
// is not read at all.
TEST(MakeUpdate, FaultsAreMetInReadingOrder) {
    const std::string outside = tools::make_ihex({{0x08100000, {1}}});
    const std::string too_large(max_firmware_entry_size + 1, '\n');
    EXPECT_EQ(failure({{"info.txt", info}, {"ventaro.hex", outside}, {"ruvo.hex", too_large}}),
              "Firmware does not fit the target product.");
    EXPECT_EQ(
        failure(
            {{"info.txt", info}, {"ruvo.hex", outside}, {"ventaro.hex", small_hex}, {"ventaro-stage2.hex", too_large}}),
        "A firmware file is larger than 16 MiB.");
    EXPECT_EQ(
        failure(
            {{"info.txt", info}, {"ventaro.hex", small_hex}, {"ventaro-stage2.hex", outside}, {"ruvo.hex", too_large}}),
        "Firmware does not fit the target product.");

    auto zip = make_zip(
        {{"info.txt", info}, {"ventaro.hex", small_hex}, {"ventaro-stage2.hex", too_large}, {"ruvo.hex", small_hex}},
        false);
    const std::string needle = small_hex.substr(0, 40);
    const auto at = std::search(zip.begin(), zip.end(), needle.begin(), needle.end());
    ASSERT_NE(at, zip.end());
    at[20] ^= 1;  // ventaro.hex's CRC no longer matches: met before its stage 2's size
    try {
        (void)make_update(zip.data(), zip.size());
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "The package is damaged: ventaro.hex.");
    }
}

TEST(MakeUpdate, BytesThatAreNoArchive) {
    for (const std::string& bytes : {std::string(), std::string("PK\x03\x04 not really"), std::string(4096, 'x')}) {
        try {
            make_update(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Could not unzip the data.");
        }
    }
}

namespace {

void put_le(std::string& bytes, std::size_t at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[at + i] = char(value >> (8 * i) & 0xFF);
}

// A 32-bit end record declaring `entries` with its directory at 0, and, when
// `zip64_at` is given, a ZIP64 locator before it pointing there.
std::string end_records(uint64_t entries, std::optional<uint64_t> zip64_at) {
    std::string bytes;
    if (zip64_at) {
        std::string locator(20, '\0');
        put_le(locator, 0, 0x07064b50, 4);
        put_le(locator, 8, *zip64_at, 8);
        bytes += locator;
    }
    std::string end(22, '\0');
    put_le(end, 0, 0x06054b50, 4);
    put_le(end, 8, entries, 2);
    put_le(end, 10, entries, 2);
    return bytes + end;
}

std::string zip64_record(uint64_t entries) {
    std::string record(56, '\0');
    put_le(record, 0, 0x06064b50, 4);
    put_le(record, 24, entries, 8);
    put_le(record, 32, entries, 8);
    return record;
}

}  // namespace

// libzip tries every end record of the last 64 KiB, and a ZIP64 record wherever
// a locator points: however the records disagree, none may make it read more
// entries than the bound, and none may be read from outside the file.
TEST(MakeUpdate, EndRecordsAreBoundedAsLibzipReadsThem) {
    const auto honest = make_zip({{"info.txt", info}, {"ventaro.hex", small_hex}});
    const std::string package(honest.begin(), honest.end());
    const std::string too_many = "The package holds more than 1,000 entries.";
    const std::string no_archive = "Could not unzip the data.";
    struct case_t {
        const char* what;
        std::string bytes;
        std::string error;
    };
    const case_t cases[] = {
        {"42 bytes: a locator pointing past the end", end_records(1, uint64_t(1) << 62), no_archive},
        {"a locator pointing at its own last byte", end_records(1, 41), no_archive},
        {"a locator pointing at 0 in a short file", end_records(1, 0), no_archive},
        {"a ZIP64 record of 600,000 entries behind a 32-bit record of 1", zip64_record(600000) + end_records(1, 0),
         too_many},
        {"an honest package with a ZIP64 locator of 600,000 entries before its end record",
         package.substr(0, package.size() - 22) + zip64_record(600000) +
             end_records(0, package.size() - 22).substr(0, 20) + package.substr(package.size() - 22),
         too_many},
        {"an earlier end record of 60,000 entries, the last one honest",
         package.substr(0, package.size() - 22) + end_records(60000, std::nullopt) +
             package.substr(package.size() - 22),
         too_many},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            make_update(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size());
            ADD_FAILURE() << "read";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), c.error);
        }
    }
    // Every length below a whole record, each ending in a locator and a record.
    for (std::size_t size = 1; size < 100; ++size) {
        const std::string tail = end_records(0xFFFF, size - 1);
        const std::string bytes = std::string(size > tail.size() ? size - tail.size() : 0, 'x') +
                                  tail.substr(tail.size() - std::min(size, tail.size()));
        EXPECT_THROW(make_update(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
                     std::runtime_error);
    }
}

// A damaged entry is never silently absent: a device's firmware would vanish
// from the update without a word.
TEST(MakeUpdate, CorruptEntryIsDamaged) {
    for (const char* name : {"ventaro.hex", "notes-fr.txt", "info.txt"}) {
        auto zip = make_zip({{"info.txt", info},
                             {"notes-fr.txt", small_hex},
                             {"ventaro.hex", small_hex},
                             {"ruvo.hex", "\n" + small_hex}},
                            false);
        // Flip a byte inside the stored entry's data: its CRC no longer matches.
        const std::string needle = std::string(name) == "info.txt" ? info : small_hex.substr(0, 40);
        auto at = std::search(zip.begin(), zip.end(), needle.begin(), needle.end());
        if (std::string(name) == "ventaro.hex") at = std::search(at + 1, zip.end(), needle.begin(), needle.end());
        ASSERT_NE(at, zip.end());
        at[needle.size() / 2] ^= 1;
        try {
            (void)make_update(zip.data(), zip.size());
            ADD_FAILURE() << name << " read without an error";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), "The package is damaged: " + std::string(name) + ".");
        }
    }
}

// Each limit fails the read with a message that names it, before anything of
// that size is allocated.
TEST(MakeUpdate, LimitsNameThemselves) {
    const std::string over_text(max_text_entry_size + 1, 'a');
    EXPECT_EQ(failure({{"info.txt", info + "x=" + over_text}, {"ruvo.hex", small_hex}}),
              "The info file is larger than 1 MiB.");
    EXPECT_EQ(failure({{"info.txt", info}, {"notes-fr.txt", over_text}, {"ruvo.hex", small_hex}}),
              "The release notes are larger than 1 MiB.");
    EXPECT_EQ(failure({{"info.txt", info}, {"ruvo.hex", std::string(max_firmware_entry_size + 1, '\n')}}),
              "A firmware file is larger than 16 MiB.");
    // Four firmware files just under their own limit pass it together.
    const std::string big(max_firmware_entry_size, '\n');
    EXPECT_EQ(failure({{"info.txt", info},
                       {"ventaro.hex", big},
                       {"ventaro-stage2.hex", big},
                       {"ruvo.hex", big},
                       {"ruvo-stage2.hex", big}}),
              "The package holds more than 64 MiB of data.");
    const std::vector<unsigned char> huge(max_package_size + 1, 0);
    try {
        make_update(huge.data(), huge.size());
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "The update package is larger than 32 MiB.");
    }
    // Just under the text limit is fine.
    EXPECT_EQ(
        read({{"info.txt", info}, {"notes-en.txt", std::string(max_text_entry_size, 'n')}, {"ruvo.hex", small_hex}})
            .notes[0]
            .size(),
        max_text_entry_size);
}

TEST(MakeUpdate, ConcurrentReadsAndFormatting) {
    const auto zip = make_zip({{"info.txt", info}, {"ruvo.hex", small_hex}});
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                if (make_update(zip.data(), zip.size()).ruvo &&
                    std::string(str_format_tmp("%d-%d", t, i)) == std::to_string(t) + "-" + std::to_string(i))
                    ++good;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(good, 80);
}

TEST(StrFormatTmp, CutsAt1023Characters) {
    const std::string long_text(5000, 'a');
    EXPECT_EQ(std::string(str_format_tmp("%s", long_text.c_str())).size(), 1023u);
}
