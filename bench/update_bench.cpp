// SPDX-License-Identifier: MIT
// Speed and memory of the package reader on full-size firmware.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zip.h>

#include <stdlib.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>

#include "tools/package_writer.hpp"
#include "update/update.hpp"

namespace {

// Heap use through operator new, to report the reader's peak memory.
std::atomic<std::size_t> heap_now{0}, heap_peak{0};

}  // namespace

void* operator new(std::size_t size) {
    void* p = std::malloc(size + 16);
    if (p == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = size;
    const std::size_t now = heap_now += size;
    for (std::size_t peak = heap_peak; now > peak && !heap_peak.compare_exchange_weak(peak, now);) {
    }
    return static_cast<char*>(p) + 16;
}
// GCC takes the free() below for a mismatch, and the size read before the
// block for a read out of bounds; both pair with the malloc() above.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#pragma GCC diagnostic ignored "-Warray-bounds"
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    void* base = static_cast<char*>(p) - 16;
    heap_now -= *static_cast<std::size_t*>(base);
    std::free(base);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

constexpr std::size_t main_size = 900 * 1024;  // a full-size application
constexpr std::size_t stage2_size = 160 * 1024;

std::string full_size_hex(std::size_t size, uint32_t seed) {
    return zal::tools::make_ihex({{0x08000000, zal::tools::make_synthetic_firmware(size, seed)}}, {.line_end = "\r\n"});
}

// The image of `bytes` at the flash's start, cut into sectors without the HEX
// reader: what the reader must give, to the byte.
zal::firmware_t expected_image(const std::vector<unsigned char>& bytes) {
    zal::firmware_t image{zal::flash_map_stm32f40x_41x, {}};
    for (uint8_t i = 0; i < image.flash_map.size; ++i) {
        const auto& sector = image.flash_map.sectors[i];
        const std::size_t offset = sector.base_address - image.flash_map.base_address;
        if (offset >= bytes.size()) break;
        const std::size_t n = std::min<std::size_t>(sector.size, bytes.size() - offset);
        image.sectors[i].assign(bytes.begin() + long(offset), bytes.begin() + long(offset + n));
    }
    return image;
}

void BM_IhexRead(benchmark::State& state) {
    const std::string text = full_size_hex(main_size, 1);
    const zal::firmware_t expected = expected_image(zal::tools::make_synthetic_firmware(main_size, 1));
    bool checked = false;  // the first result, outside the loop's cost
    for (auto _ : state) {
        zal::firmware_t image{zal::flash_map_stm32f40x_41x, {}};
        zal::store_ihex(image, {text.data(), text.size()});
        if (!checked && image.sectors != expected.sectors) state.SkipWithError("the image differs from the firmware");
        checked = true;
        benchmark::DoNotOptimize(image.sectors.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * text.size()));
    state.counters["text_bytes"] = double(text.size());
}
BENCHMARK(BM_IhexRead)->Unit(benchmark::kMillisecond);

void BM_MakeUpdate(benchmark::State& state) {
    const auto zip = zal::tools::make_zip({
        {"info.txt", zal::tools::make_info_text("Ventaro", "3.0.0", "2026-01-01")},
        {"notes-en.txt", std::string(8000, 'n')},
        {"notes-fr.txt", std::string(8000, 'n')},
        {"ventaro.hex", full_size_hex(main_size, 1)},
        {"ventaro-stage2.hex", full_size_hex(stage2_size, 2)},
        {"ruvo.hex", full_size_hex(main_size, 3)},
        {"ruvo-stage2.hex", full_size_hex(stage2_size, 4)},
    });
    const double firmware_bytes = 2.0 * (main_size + stage2_size);
    auto expected = [](std::size_t size, uint32_t seed) {
        zal::firmware_t image = expected_image(zal::tools::make_synthetic_firmware(size, seed));
        zal::apply_bootloader_entry_patch(image);
        return image.sectors;
    };
    const auto ventaro = expected(main_size, 1), ventaro_stage2 = expected(stage2_size, 2);
    const auto ruvo = expected(main_size, 3), ruvo_stage2 = expected(stage2_size, 4);
    std::size_t peak = 0;
    bool checked = false;
    for (auto _ : state) {
        const std::size_t before = heap_now;
        heap_peak = before;
        const zal::update_t update = zal::make_update(zip.data(), zip.size());
        peak = std::max(peak, heap_peak - before);
        if (!checked && (update.ventaro->main.sectors != ventaro || update.ventaro->stage2->sectors != ventaro_stage2 ||
                         update.ruvo->main.sectors != ruvo || update.ruvo->stage2->sectors != ruvo_stage2))
            state.SkipWithError("an image differs from its firmware");
        checked = true;
    }
    state.SetBytesProcessed(int64_t(state.iterations() * zip.size()));
    state.counters["package_bytes"] = double(zip.size());
    state.counters["peak_heap_per_firmware_byte"] = double(peak) / firmware_bytes;
}
BENCHMARK(BM_MakeUpdate)->Unit(benchmark::kMillisecond);

// The least `inspect` can take beside starting: inflating its largest entry,
// the HEX text of a 917,504-byte image as make-sample-package writes it, with
// the fastest inflater at hand. One stream is one thread's work.
void BM_InflateLargestEntry(benchmark::State& state) {
    const std::string text = zal::tools::make_ihex({{0x08000000, zal::tools::make_synthetic_firmware(917504, 1)}});
    const auto zip = zal::tools::make_zip({{"ventaro.hex", text}});
    zip_error_t error;
    zip_error_init(&error);
    zip_t* archive =
        zip_open_from_source(zip_source_buffer_create(zip.data(), zip.size(), 0, &error), ZIP_RDONLY, &error);
    zip_error_fini(&error);
    zip_stat_t stat;
    zip_file_t* entry = archive ? zip_fopen_index(archive, 0, ZIP_FL_COMPRESSED) : nullptr;
    if (entry == nullptr || zip_stat_index(archive, 0, 0, &stat) != 0) std::abort();
    std::string deflated(stat.comp_size, '\0');
    if (zip_fread(entry, deflated.data(), stat.comp_size) != zip_int64_t(stat.comp_size)) std::abort();
    zip_fclose(entry);
    zip_discard(archive);
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    bool checked = false;
    for (auto _ : state) {
        std::string inflated(text.size(), '\0');
        if (libdeflate_deflate_decompress(decompressor, deflated.data(), deflated.size(), inflated.data(),
                                          inflated.size(), nullptr) != LIBDEFLATE_SUCCESS ||
            (!checked && inflated != text))
            state.SkipWithError("the entry did not inflate to its text");
        checked = true;
    }
    libdeflate_free_decompressor(decompressor);
    state.SetBytesProcessed(int64_t(state.iterations() * text.size()));
    state.counters["text_bytes"] = double(text.size());
}
BENCHMARK(BM_InflateLargestEntry)->Unit(benchmark::kMillisecond);

// The signature check's share of reading a package: the same package with a
// 1 MiB main image read unsigned, then signed by minisign with a trusted key
// (hashing every entry read, verifying the manifest's signature).
// ENTRIES with a manifest of the first `listed` of them (all by default) and
// minisign's signature of it by the test key.
void add_signature(std::vector<zal::tools::zip_entry_t>& entries, std::size_t listed = SIZE_MAX) {
    std::map<std::string, zal::sha256_t> hashes;
    for (std::size_t i = 0; i < entries.size() && i < listed; ++i)
        hashes[entries[i].name] = zal::sha256_of(entries[i].content);
    const std::string manifest = zal::make_manifest(hashes);
    char directory[] = "/tmp/zal-bench-XXXXXX";
    if (!::mkdtemp(directory)) std::abort();
    const std::string path = std::string(directory) + "/manifest.sha256";
    std::ofstream(path) << manifest;
    const std::string command = "minisign -S -s " ZAL_TEST_KEY_DIR "/ventaro-test.key -m " + path + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) std::abort();
    std::ifstream in(path + ".minisig");
    entries.push_back({zal::manifest_name, manifest});
    entries.push_back({zal::manifest_signature_name, std::string(std::istreambuf_iterator<char>(in), {})});
    std::filesystem::remove_all(directory);
}

std::vector<unsigned char> one_mib_package(bool signed_package) {
    std::vector<zal::tools::zip_entry_t> entries = {
        {"info.txt", zal::tools::make_info_text("Ventaro", "3.0.0", "2026-01-01")},
        {"notes-en.txt", std::string(8000, 'n')},
        {"ventaro.hex", full_size_hex(1 << 20, 1)},
    };
    if (signed_package) add_signature(entries);
    return zal::tools::make_zip(entries);
}

void BM_ReadOneMiBImage(benchmark::State& state) {
    const bool signed_package = state.range(0) != 0;
    const auto zip = one_mib_package(signed_package);
    zal::trust_t trust;
    std::ifstream key(ZAL_TEST_KEY_DIR "/ventaro-test.pub");
    trust.keys.push_back(*zal::parse_public_key(std::string(std::istreambuf_iterator<char>(key), {})));
    for (auto _ : state) {
        const zal::update_t update = zal::make_update(zip.data(), zip.size(), trust);
        if (signed_package && update.signature.status != zal::signature_status_t::signed_package) std::abort();
        benchmark::DoNotOptimize(update.ventaro->main.sectors.size());
    }
    state.SetLabel(signed_package ? "signed" : "unsigned");
}
BENCHMARK(BM_ReadOneMiBImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Hostile archives: 100,000 one-byte entries are refused before libzip reads
// their directory (aim: < 50 ms); a package of the most entries allowed, signed
// by any key with every entry listed, is read and checked (aim: < 1 s).
std::vector<zal::tools::zip_entry_t> small_package_and_entries(int count) {
    std::vector<zal::tools::zip_entry_t> entries = {
        {"info.txt", zal::tools::make_info_text("Ventaro", "3.0.0", "2026-01-01")},
        {"ventaro.hex", full_size_hex(4096, 1)},
    };
    for (int i = 0; i < count; ++i) entries.push_back({"e" + std::to_string(i), "x"});
    return entries;
}

void BM_RefuseManyEntries(benchmark::State& state) {
    const auto zip = zal::tools::make_zip(small_package_and_entries(100000), false);
    for (auto _ : state) {
        try {
            (void)zal::make_update(zip.data(), zip.size());
            std::abort();
        } catch (const std::runtime_error&) {
        }
    }
}
BENCHMARK(BM_RefuseManyEntries)->Unit(benchmark::kMillisecond);

void BM_MostEntriesAllListed(benchmark::State& state) {
    auto entries = small_package_and_entries(int(zal::max_package_entries) - 4);
    add_signature(entries);
    const auto zip = zal::tools::make_zip(entries, false);
    for (auto _ : state) {
        const zal::update_t update = zal::make_update(zip.data(), zip.size(), zal::trust_t{});
        if (update.signature.status != zal::signature_status_t::unknown_signer) std::abort();
    }
}
BENCHMARK(BM_MostEntriesAllListed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
