// SPDX-License-Identifier: MIT
// A maker's signed package that an attacker rearranges: entries added in any
// case or as folders, empty or with other contents, entries dropped or
// reordered, bytes of the archive changed. Whatever the reader makes of it,
// "signed" must mean that what it read is exactly what the maker signed.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tools/package_writer.hpp"
#include "update/signature.hpp"
#include "update/update.hpp"

namespace {

struct signed_t {
    std::vector<zal::tools::zip_entry_t> entries;  // the maker's, then the manifest and its signature
    zal::trust_t trust;
    zal::update_t update;  // what the maker's package reads as
};

std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

signed_t make_signed() {
    signed_t s;
    const auto hex = [](std::size_t size, uint32_t seed) {
        return zal::tools::make_ihex({{0x08000000, zal::tools::make_synthetic_firmware(size, seed)}});
    };
    s.entries = {{"info.txt", zal::tools::make_info_text("Ventaro", "2.1.0", "2026-11-30")},
                 {"notes-en.txt", "# Notes"},
                 {"notes-fr.txt", "# Notes fr"},
                 {"ventaro.hex", hex(600, 1)},
                 {"ventaro-stage2.hex", hex(300, 2)},
                 {"ruvo.hex", hex(500, 3)}};
    std::map<std::string, zal::sha256_t> hashes;
    for (const auto& e : s.entries) hashes[e.name] = zal::sha256_of(e.content);
    const std::string manifest = zal::make_manifest(hashes);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "zal-fuzz-signed";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "manifest.sha256", std::ios::binary) << manifest;
    const std::string command = "minisign -S -s " ZAL_TEST_KEY_DIR "/ventaro-test.key -m " +
                                (dir / "manifest.sha256").string() + " -t signer:Zalmir >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) std::abort();
    s.entries.push_back({zal::manifest_name, manifest});
    s.entries.push_back({zal::manifest_signature_name, read_text(dir / "manifest.sha256.minisig")});
    s.trust.keys.push_back(*zal::parse_public_key(read_text(ZAL_TEST_KEY_DIR "/ventaro-test.pub")));
    std::filesystem::remove_all(dir);
    const std::vector<unsigned char> zip = zal::tools::make_zip(s.entries);
    s.update = zal::make_update(zip.data(), zip.size(), s.trust);
    if (s.update.signature.status != zal::signature_status_t::signed_package) std::abort();
    return s;
}

const signed_t& maker() {
    static const signed_t s = make_signed();
    return s;
}

bool same_image(const zal::firmware_t& a, const zal::firmware_t& b) { return a.sectors == b.sectors; }

bool same_device(const std::optional<zal::device_update_t>& a, const std::optional<zal::device_update_t>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    if (!same_image(a->main, b->main) || a->stage2.has_value() != b->stage2.has_value()) return false;
    return !a->stage2 || same_image(*a->stage2, *b->stage2);
}

// The input, read a byte at a time; zeros once it is used up.
struct input_t {
    const uint8_t* data;
    std::size_t size;
    uint8_t next() {
        if (size == 0) return 0;
        --size;
        return *data++;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const signed_t& s = maker();
    input_t in{data, size};
    std::vector<zal::tools::zip_entry_t> entries = s.entries;
    static const char* const names[] = {"info.txt",           "notes-en.txt", "notes-fr.txt",    "ventaro.hex",
                                        "ventaro-stage2.hex", "ruvo.hex",     "ruvo-stage2.hex", "other.txt"};
    for (int edits = in.next() % 6; edits > 0; --edits) {
        const uint8_t what = in.next();
        const std::size_t at = in.next() % (entries.size() + 1);
        if (what % 4 == 0 && !entries.empty()) {  // drop one
            entries.erase(entries.begin() + long(at % entries.size()));
            continue;
        }
        if (what % 4 == 1 && entries.size() > 1) {  // swap two
            std::swap(entries[at % entries.size()], entries[in.next() % entries.size()]);
            continue;
        }
        // Add one: a known name in some case, maybe as a folder, with contents.
        std::string name = names[in.next() % std::size(names)];
        const uint8_t cases = in.next();
        for (std::size_t i = 0; i < name.size(); ++i)
            if ((cases >> (i % 8)) & 1) name[i] = char(std::toupper(uint8_t(name[i])));
        if (what & 0x10) name += '/';
        std::string contents;
        switch ((what >> 5) % 4) {
            case 0: break;  // empty
            case 1: contents = s.entries[in.next() % 6].content; break;
            case 2: contents = s.entries[3 + in.next() % 3].content.substr(0, in.next() * 8u); break;
            default:
                for (int n = in.next() % 64; n > 0; --n) contents += char(in.next());
        }
        bool taken = false;
        for (const auto& e : entries) taken = taken || e.name == name;
        if (!taken) entries.insert(entries.begin() + long(at), {name, contents});
    }
    std::vector<unsigned char> zip;
    try {
        zip = zal::tools::make_zip(entries, in.next() & 1);
    } catch (const std::runtime_error&) {
        return 0;
    }
    for (int flips = in.next() % 3; flips > 0 && !zip.empty(); --flips) {
        const std::size_t at = (std::size_t(in.next()) << 8 | in.next()) % zip.size();
        zip[at] ^= uint8_t(in.next() | 1);
    }
    try {
        const zal::update_t u = zal::make_update(zip.data(), zip.size(), s.trust);
        if (u.signature.status != zal::signature_status_t::signed_package) return 0;
        // Signed: every text and image is the maker's, nothing lost.
        if (u.product != s.update.product || u.version_string != s.update.version_string || u.notes != s.update.notes ||
            u.description != s.update.description || !same_device(u.ventaro, s.update.ventaro) ||
            !same_device(u.ruvo, s.update.ruvo)) {
            std::fprintf(stderr, "signed, but not what the maker signed\n");
            std::abort();
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}
