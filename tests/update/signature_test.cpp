// SPDX-License-Identifier: MIT
// Signed packages, with the real minisign program on the other side: it signs
// what our code verifies, and verifies what our tool signed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "tools/package_writer.hpp"
#include "update/signature.hpp"
#include "update/update.hpp"

namespace fs = std::filesystem;
using namespace zal;

namespace {

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write_text(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary).write(text.data(), std::streamsize(text.size()));
}

int run(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const fs::path test_keys = ZAL_TEST_KEY_DIR;

std::vector<tools::zip_entry_t> package_entries() {
    const auto hex = [](std::size_t size, uint32_t seed) {
        return tools::make_ihex({{0x08000000, tools::make_synthetic_firmware(size, seed)}});
    };
    return {{"info.txt", tools::make_info_text("Ventaro", "2.1.0", "2026-11-30")},
            {"notes-en.txt", "# Notes\nBetter."},
            {"notes-fr.txt", "# Notes\nMieux."},
            {"ventaro.hex", hex(8000, 1)},
            {"ventaro-stage2.hex", hex(3000, 2)},
            {"ruvo.hex", hex(6000, 3)},
            {"ruvo-stage2.hex", hex(2000, 4)}};
}

class Signatures : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zal-signature-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        const auto key = parse_public_key(read_text(test_keys / "ventaro-test.pub"));
        ASSERT_TRUE(key) << key.failure().text;
        trust_.keys = {*key};
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The manifest of `entries` and minisign's signature of it.
    std::pair<std::string, std::string> sign(const std::vector<tools::zip_entry_t>& entries, bool legacy = false,
                                             const fs::path& key = test_keys / "ventaro-test.key") {
        std::map<std::string, sha256_t> hashes;
        for (const auto& e : entries) hashes[e.name] = sha256_of(e.content);
        const std::string manifest = make_manifest(hashes);
        write_text(dir_ / "manifest.sha256", manifest);
        const std::string command = "minisign -S " + std::string(legacy ? "-l " : "") + "-s " + key.string() + " -m " +
                                    (dir_ / "manifest.sha256").string() + " -x " +
                                    (dir_ / "manifest.sha256.minisig").string() + " -t 'signer:Zalmir'";
        EXPECT_EQ(run(command), 0) << command;
        return {manifest, read_text(dir_ / "manifest.sha256.minisig")};
    }

    package_signature_t check(std::vector<tools::zip_entry_t> entries, const std::string& manifest,
                              const std::string& signature) {
        entries.push_back({manifest_name, manifest});
        entries.push_back({manifest_signature_name, signature});
        const std::vector<unsigned char> zip = tools::make_zip(entries);
        return make_update(zip.data(), zip.size(), trust_).signature;
    }

    fs::path dir_;
    trust_t trust_;
};

}  // namespace

TEST_F(Signatures, MinisignsBothFormsVerify) {
    const auto entries = package_entries();
    for (const bool legacy : {false, true}) {
        const auto [manifest, signature] = sign(entries, legacy);
        const auto parsed = parse_signature(signature);
        ASSERT_TRUE(parsed) << parsed.failure().text;
        EXPECT_EQ(parsed->prehashed, !legacy);
        const package_signature_t s = check(entries, manifest, signature);
        EXPECT_EQ(s.status, signature_status_t::signed_package) << s.reason;
        EXPECT_EQ(s.signer, "Zalmir");
        EXPECT_EQ(s.trusted_comment, "signer:Zalmir");
        EXPECT_EQ(s.key_id, "BBAECAFDD4ED831B");  // as minisign names the test key
    }
}

// Our signing tool writes what minisign itself accepts, and what we read as signed.
TEST_F(Signatures, TheSigningToolsPackageVerifiesBothWays) {
    const fs::path package = dir_ / "p.zalmirupdate";
    const std::vector<unsigned char> zip = tools::make_zip(package_entries());
    write_text(package, std::string(zip.begin(), zip.end()));
    ASSERT_EQ(run(std::string(ZAL_SIGN_TOOL) + " " + (test_keys / "ventaro-test.key").string() + " " +
                  package.string() + " 'Zalmir Instruments'"),
              0);
    ASSERT_EQ(run("cd " + dir_.string() + " && python3 -c 'import zipfile; zipfile.ZipFile(\"p.zalmirupdate\")" +
                  ".extractall(\"out\")'"),
              0);
    EXPECT_EQ(run("minisign -V -p " + (test_keys / "ventaro-test.pub").string() + " -m " +
                  (dir_ / "out" / manifest_name).string()),
              0);
    const std::string bytes = read_text(package);
    const update_t u = make_update(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), trust_);
    EXPECT_EQ(u.signature.status, signature_status_t::signed_package) << u.signature.reason;
    EXPECT_EQ(u.signature.signer, "Zalmir Instruments");
    // Signed again: the old manifest and signature are replaced, not listed.
    ASSERT_EQ(
        run(std::string(ZAL_SIGN_TOOL) + " " + (test_keys / "ventaro-test.key").string() + " " + package.string()), 0);
    const std::string again = read_text(package);
    EXPECT_EQ(make_update(reinterpret_cast<const unsigned char*>(again.data()), again.size(), trust_).signature.status,
              signature_status_t::signed_package);
}

// One changed byte in any entry the reader uses: the package is changed.
TEST_F(Signatures, AnyChangedEntryIsCaught) {
    const auto entries = package_entries();
    const auto [manifest, signature] = sign(entries);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        auto changed = entries;
        std::string& text = changed[i].content;
        // A hex digit in the other case reads the same; a text gets one more byte.
        if (entries[i].name.ends_with(".hex")) {
            const auto at = std::find_if(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'F'; });
            ASSERT_NE(at, text.end());
            *at = char(*at - 'A' + 'a');
        } else {
            text += ' ';
        }
        const package_signature_t s = check(changed, manifest, signature);
        EXPECT_EQ(s.status, signature_status_t::changed) << entries[i].name;
        EXPECT_NE(s.reason.find(entries[i].name), std::string::npos) << s.reason;
    }
}

TEST_F(Signatures, WhatIsListedAndWhatIsUsedMustAgree) {
    auto entries = package_entries();
    const auto without_stage2 = std::vector<tools::zip_entry_t>(entries.begin(), entries.end() - 1);
    const auto [manifest, signature] = sign(without_stage2);
    // An entry the reader uses but the manifest does not list.
    EXPECT_EQ(check(entries, manifest, signature).status, signature_status_t::changed);
    // The same name in other letters, stored first: the reader takes it.
    auto shadowed = without_stage2;
    shadowed.insert(shadowed.begin(), {"INFO.TXT", tools::make_info_text("Evil", "9.9.9", "2026-12-01")});
    const package_signature_t s = check(shadowed, manifest, signature);
    EXPECT_EQ(s.status, signature_status_t::changed);
    EXPECT_NE(s.reason.find("INFO.TXT"), std::string::npos) << s.reason;
    // A listed entry removed.
    auto removed = without_stage2;
    removed.erase(removed.begin() + 2);  // notes-fr.txt
    EXPECT_EQ(check(removed, manifest, signature).status, signature_status_t::changed);
    // An entry nobody reads changes nothing; an empty listed one is fine.
    auto extra = without_stage2;
    extra.push_back({"readme.txt", "unlisted"});
    EXPECT_EQ(check(extra, manifest, signature).status, signature_status_t::signed_package);
    auto with_empty = without_stage2;
    with_empty.push_back({"empty.txt", ""});
    const auto [manifest2, signature2] = sign(with_empty);
    EXPECT_EQ(check(with_empty, manifest2, signature2).status, signature_status_t::signed_package);
}

namespace {

// Rewrites a 32-bit field of entry NAME in both its central directory record
// and its local header: what a crafted archive declares.
enum class declared_t { crc, size };
void redeclare(std::vector<unsigned char>& zip, const std::string& name, declared_t field, uint32_t value) {
    const auto u16 = [&](std::size_t at) { return std::size_t(zip[at] | zip[at + 1] << 8); };
    const auto u32 = [&](std::size_t at) { return uint32_t(u16(at) | u16(at + 2) << 16); };
    const auto put = [&](std::size_t at) {
        for (int i = 0; i < 4; ++i) zip[at + std::size_t(i)] = uint8_t(value >> (8 * i));
    };
    for (std::size_t at = 0; at + 46 <= zip.size(); ++at) {
        if (u32(at) != 0x02014b50 ||
            std::string(zip.begin() + long(at) + 46, zip.begin() + long(at + 46 + u16(at + 28))) != name)
            continue;
        const std::size_t local = u32(at + 42);
        put(at + (field == declared_t::crc ? 16 : 24));
        put(local + (field == declared_t::crc ? 14 : 22));
        return;
    }
    FAIL() << name << " is not in the archive";
}

}  // namespace

// A package that claims a signature is signed only when the entries the reader
// considers (every one whose name is a known one in any case, or that name as
// a folder) are exactly the listed ones it used. Unsigned, the same packages
// read as before, or fail as damaged instead of losing an entry silently.
TEST_F(Signatures, EveryEntryTheReaderConsidersIsListedAndUsed) {
    const auto genuine = package_entries();
    const auto signed_entries = sign(genuine);  // no structured binding: lambdas capture it
    const std::string& manifest = signed_entries.first;
    const std::string& signature = signed_entries.second;
    const auto with = [&](std::vector<tools::zip_entry_t> entries, bool signed_package) {
        if (signed_package) {
            entries.push_back({manifest_name, manifest});
            entries.push_back({manifest_signature_name, signature});
        }
        return tools::make_zip(entries);
    };
    const auto shadowed = [&](const std::string& name) {
        auto entries = genuine;
        entries.insert(entries.begin(), {name, ""});
        return entries;
    };
    const auto crafted = [&](const std::string& name, declared_t field, uint32_t value) {
        return [=, &with, &genuine](bool signed_package) {
            std::vector<unsigned char> zip = with(genuine, signed_package);
            redeclare(zip, name, field, value);
            return zip;
        };
    };
    const auto plain = [&](std::vector<tools::zip_entry_t> entries) {
        return [=, &with](bool signed_package) { return with(entries, signed_package); };
    };
    auto both_cases = genuine;
    both_cases.push_back({"RUVO.HEX", genuine[5].content});
    auto beside_a_folder = genuine;
    beside_a_folder.push_back({"Ventaro.hex/", ""});
    auto stage2_alone = genuine;
    stage2_alone.erase(stage2_alone.begin() + 5);  // ruvo.hex: its stage 2 is never read
    const struct {
        const char* what;
        std::function<std::vector<unsigned char>(bool)> package;
        const char* unsigned_error;  // nothing: reads as before
    } cases[] = {
        {"an empty stage 2 in capitals first", plain(shadowed("VENTARO-STAGE2.HEX")), nullptr},
        {"an empty main image in other letters first", plain(shadowed("Ventaro.hex")), nullptr},
        {"empty notes in capitals first", plain(shadowed("NOTES-EN.TXT")), nullptr},
        {"a stage 2 whose CRC fails", crafted("ventaro-stage2.hex", declared_t::crc, 0x12345678),
         "The package is damaged: ventaro-stage2.hex."},
        {"notes whose CRC fails", crafted("notes-fr.txt", declared_t::crc, 0), "The package is damaged: notes-fr.txt."},
        {"a main image declared smaller than it inflates", crafted("ventaro.hex", declared_t::size, 1000),
         "The package is damaged: ventaro.hex."},
        {"both cases of one name", plain(both_cases), nullptr},
        {"a folder of an image's name", plain(beside_a_folder), nullptr},
        {"a stage 2 without its main image", plain(stage2_alone), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<unsigned char> signed_zip = c.package(true);
        const package_signature_t s = make_update(signed_zip.data(), signed_zip.size(), trust_).signature;
        EXPECT_EQ(s.status, signature_status_t::changed) << s.reason;
        const std::vector<unsigned char> unsigned_zip = c.package(false);
        if (c.unsigned_error) {
            try {
                (void)make_update(unsigned_zip.data(), unsigned_zip.size());
                ADD_FAILURE() << "read without an error";
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), c.unsigned_error);
            }
        } else {
            EXPECT_NO_THROW((void)make_update(unsigned_zip.data(), unsigned_zip.size()));
        }
    }
    // The one shadowed stage 2, through the command-line tool: "changed", and
    // an update that requires a signature touches no device.
    const std::vector<unsigned char> zip = with(shadowed("VENTARO-STAGE2.HEX"), true);
    write_text(dir_ / "shadowed.zalmirupdate", std::string(zip.begin(), zip.end()));
    const std::string cli = std::string(ZAL_CLI_PATH) + " ";
    const std::string options =
        "--trust " + (test_keys / "ventaro-test.pub").string() + " " + (dir_ / "shadowed.zalmirupdate").string();
    ASSERT_EQ(run(cli + "inspect " + options + " >" + (dir_ / "out.json").string() + " ||:"), 0);
    const auto j = nlohmann::json::parse(read_text(dir_ / "out.json"), nullptr, false);
    ASSERT_FALSE(j.is_discarded());
    EXPECT_EQ(j["signature"]["status"], "changed");
    EXPECT_EQ(run(cli + "update --simulate ventaro --require-signature " + options), 1);
}

// A name in a manifest may hold terminal controls: the tool prints them as
// escapes, so that a changed package cannot print a fake "Signed by" over
// its own line.
TEST_F(Signatures, NamesFromAManifestReachTheTerminalEscaped) {
    auto entries = package_entries();
    const std::string fake = "\x1b[1G\x1b[2KSigned by Zalmir Instruments (key 1A2B3C4D).";
    auto listed = entries;
    listed.push_back({fake, "x"});
    const auto [manifest, signature] = sign(listed);
    entries.push_back({manifest_name, manifest});
    entries.push_back({manifest_signature_name, signature});
    const std::vector<unsigned char> zip = tools::make_zip(entries);
    write_text(dir_ / "fake.zalmirupdate", std::string(zip.begin(), zip.end()));
    const std::string err = (dir_ / "err.txt").string();
    const std::string command = std::string(ZAL_CLI_PATH) + " update --simulate ventaro --trust " +
                                (test_keys / "ventaro-test.pub").string() + " " +
                                (dir_ / "fake.zalmirupdate").string() + " 2>" + err + " >/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(read_text(err),
              "This package was changed after it was signed. Download it again from the maker's web site. "
              "(\"\\x1b[1G\\x1b[2KSigned by Zalmir Instruments (key 1A2B3C4D).\" is listed in the manifest but "
              "missing.)\n");
}

// The reading cost is bounded before any work: a package of too many entries
// is refused at once, and so is a manifest listing more than a package holds.
TEST_F(Signatures, EntriesAndListedEntriesAreBounded) {
    std::vector<tools::zip_entry_t> many = package_entries();
    for (int i = 0; i < 1000; ++i) many.push_back({"x" + std::to_string(i), "1"});
    const std::vector<unsigned char> zip = tools::make_zip(many, false);
    try {
        (void)make_update(zip.data(), zip.size());
        ADD_FAILURE() << "a package of 1,007 entries was read";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "The package holds more than 1,000 entries.");
    }
    std::map<std::string, sha256_t> listed;
    for (int i = 0; i < 1001; ++i) listed["x" + std::to_string(i)] = sha256_of("1");
    const auto parsed = parse_manifest(make_manifest(listed));
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.failure().text, "The manifest lists more than 1000 entries.");
}

TEST_F(Signatures, TamperedManifestsAndSignatures) {
    const auto entries = package_entries();
    const auto [manifest, signature] = sign(entries);
    const auto status = [&](const std::string& m, const std::string& s) { return check(entries, m, s).status; };
    // The manifest edited: a line added at the end.
    EXPECT_EQ(status(manifest + std::string(64, '0') + "  zzz.txt\n", signature), signature_status_t::changed);
    // The trusted comment edited.
    std::string comment = signature;
    comment.replace(comment.find("signer:Zalmir"), 13, "signer:Zalmix");
    EXPECT_EQ(status(manifest, comment), signature_status_t::changed);
    // Another package's signature.
    auto other = entries;
    other[1].content = "# Other notes";
    const auto [other_manifest, other_signature] = sign(other);
    EXPECT_EQ(status(manifest, other_signature), signature_status_t::changed);
    // Malformed signature files: truncated base64, another algorithm, nothing.
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < signature.size(); at = end + 1) {
        end = signature.find('\n', at);
        lines.push_back(signature.substr(at, end - at));
        if (end == std::string::npos) break;
    }
    ASSERT_GE(lines.size(), 4u);
    const auto joined = [&lines](std::size_t which, const std::string& replacement) {
        std::string text;
        for (std::size_t i = 0; i < 4; ++i) text += (i == which ? replacement : lines[i]) + "\n";
        return text;
    };
    EXPECT_EQ(status(manifest, joined(1, lines[1].substr(0, 40))), signature_status_t::changed);
    std::string wrong_algorithm = lines[1];
    wrong_algorithm[1] = 'X';  // "RU..." decodes to 'E' then something other than 'd' or 'D'
    EXPECT_EQ(status(manifest, joined(1, wrong_algorithm)), signature_status_t::changed);
    EXPECT_EQ(status(manifest, joined(3, "!!!!")), signature_status_t::changed);
    EXPECT_EQ(status(manifest, ""), signature_status_t::changed);
    EXPECT_EQ(status("", signature), signature_status_t::changed);
}

TEST_F(Signatures, UnsignedAndUnknownSigners) {
    const auto entries = package_entries();
    const std::vector<unsigned char> plain = tools::make_zip(entries);
    EXPECT_EQ(make_update(plain.data(), plain.size(), trust_).signature.status, signature_status_t::unsigned_package);
    // A key made now, trusted by nobody.
    ASSERT_EQ(run("minisign -G -W -p " + (dir_ / "other.pub").string() + " -s " + (dir_ / "other.key").string()), 0);
    const auto [manifest, signature] = sign(entries, false, dir_ / "other.key");
    const package_signature_t s = check(entries, manifest, signature);
    EXPECT_EQ(s.status, signature_status_t::unknown_signer);
    const std::string listed = read_text(dir_ / "other.pub");
    EXPECT_NE(listed.find(s.key_id), std::string::npos) << listed;  // minisign writes the id in its comment
    // Trusted, the same package is signed.
    trust_.keys.push_back(*parse_public_key(listed));
    EXPECT_EQ(check(entries, manifest, signature).status, signature_status_t::signed_package);
    // Untrusted but changed is changed.
    auto changed = entries;
    changed[0].content += "\n";
    trust_.keys.pop_back();
    EXPECT_EQ(check(changed, manifest, signature).status, signature_status_t::changed);
}

TEST(KeyIds, ReadAsMinisignWritesThem) {
    EXPECT_EQ(key_id_text({0x03, 0x5C, 0x46, 0xBC, 0xF7, 0xBA, 0x4D, 0x0C}), "C4DBAF7BC465C03");
    EXPECT_EQ(key_id_text({0x1B, 0x83, 0xED, 0xD4, 0xFD, 0xCA, 0xAE, 0xBB}), "BBAECAFDD4ED831B");
}

TEST(TrustedKeys, ComeFromTheSystemsFoldersAndSetting) {
    const fs::path root = fs::temp_directory_path() / ("zal-trust-" + std::to_string(::getpid()));
    fs::create_directories(root / "usr/share/ventaro-update/keys");
    fs::create_directories(root / "etc/ventaro-update/keys");
    fs::copy_file(test_keys / "ventaro-test.pub", root / "usr/share/ventaro-update/keys/maker.pub");
    write_text(root / "etc/ventaro-update/keys/broken.pub", "untrusted comment: x\nRWQbg+3U/cqu\n");
    write_text(root / "etc/ventaro-update/keys/notes.txt", "not a key");
    std::vector<std::string> problems;
    trust_t trust = load_trust(root.string(), problems);
    EXPECT_EQ(trust.keys.size(), 1u + (built_in_key() ? 1 : 0));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("broken.pub"), std::string::npos);
    EXPECT_FALSE(trust.require_signature);
    EXPECT_FALSE(trust.refuse_downgrade);
    write_text(root / "etc/ventaro-update/ventaro-update.conf",
               "# by the administrator\nrequire-signature = true\nrefuse-downgrade=true\n");
    trust = load_trust(root.string(), problems);
    EXPECT_TRUE(trust.require_signature);
    EXPECT_TRUE(trust.refuse_downgrade);
    write_text(root / "etc/ventaro-update/ventaro-update.conf", "refuse-downgrade = yes\n");
    EXPECT_FALSE(load_trust(root.string(), problems).refuse_downgrade);  // only "true" turns it on
    fs::remove_all(root);
}

TEST(ManifestParser, RefusesWhatSha256sumWouldNotWrite) {
    const std::string hash(64, 'a');
    EXPECT_TRUE(parse_manifest(hash + "  a.txt\n" + hash + "  b.txt\n"));
    EXPECT_TRUE(parse_manifest(""));
    for (const std::string& bad : {hash + "  b.txt\n" + hash + "  a.txt\n", hash + "  a.txt\n" + hash + "  a.txt\n",
                                   hash + " a.txt\n", hash + "  a.txt", std::string(63, 'a') + "  a.txt\n",
                                   std::string(64, 'A') + "  a.txt\n", hash + "  \n", hash + "  a.txt\r\n"})
        EXPECT_FALSE(parse_manifest(bad)) << bad;
}

// The command-line tool reports each status, and refuses what it must.
TEST_F(Signatures, TheCommandLineToolReportsAndRefuses) {
    const auto entries = package_entries();
    const auto signed_entries = sign(entries);
    const std::string& manifest = signed_entries.first;
    const std::string& signature = signed_entries.second;
    auto write_package = [&](const std::string& name, std::vector<tools::zip_entry_t> e, bool with_signature) {
        if (with_signature) {
            e.push_back({manifest_name, manifest});
            e.push_back({manifest_signature_name, signature});
        }
        const std::vector<unsigned char> zip = tools::make_zip(e);
        write_text(dir_ / name, std::string(zip.begin(), zip.end()));
        return (dir_ / name).string();
    };
    auto changed = entries;
    changed[1].content += "!";
    const std::string trust = " --trust " + (test_keys / "ventaro-test.pub").string();
    const struct {
        std::string package, options, status;
    } cases[] = {{write_package("signed.zalmirupdate", entries, true), trust, "signed"},
                 {write_package("changed.zalmirupdate", changed, true), trust, "changed"},
                 {write_package("unsigned.zalmirupdate", entries, false), trust, "unsigned"},
                 {(dir_ / "signed.zalmirupdate").string(), "", "unknown signer"}};
    for (const auto& c : cases) {
        const std::string out = (dir_ / "out.json").string();
        ASSERT_EQ(run(std::string(ZAL_CLI_PATH) + " inspect" + c.options + " " + c.package + " >" + out + " ||:"), 0);
        const auto j = nlohmann::json::parse(read_text(out), nullptr, false);
        ASSERT_FALSE(j.is_discarded()) << c.package;
        EXPECT_EQ(j["signature"]["status"], c.status) << c.package;
    }
    const std::string cli = std::string(ZAL_CLI_PATH) + " update --simulate ventaro";
    EXPECT_EQ(run(cli + trust + " " + (dir_ / "changed.zalmirupdate").string()), 1);
    EXPECT_EQ(run(cli + trust + " --require-signature " + (dir_ / "unsigned.zalmirupdate").string()), 1);
    EXPECT_EQ(run(cli + " --require-signature " + (dir_ / "signed.zalmirupdate").string()), 1);  // unknown signer
    EXPECT_EQ(run(cli + trust + " --require-signature " + (dir_ / "signed.zalmirupdate").string()), 0);
}
