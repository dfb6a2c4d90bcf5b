// SPDX-License-Identifier: MIT
#include "update/update.hpp"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <cstdarg>
#include <future>
#include <map>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string_view>

#include "update/ascii.hpp"
#include "update/ini.hpp"
#include "update/signature.hpp"

namespace zal {

lang_t lang = lang_t::en;

const char* const lang_short_name[2] = {"en", "fr"};

const char* str_format_tmp(const char* format, ...) {
    thread_local char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

namespace {

[[noreturn]] void fail(const char* message) { throw std::runtime_error(message); }

class unzipper {
public:
    unzipper(const unsigned char* data, unsigned long size) {
        // An empty buffer would open as an empty archive; it is no archive at all.
        if (data == nullptr || size == 0) fail("Could not unzip the data.");
        if (size > max_package_size) fail("The update package is larger than 32 MiB.");
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
        if (source != nullptr) {
            archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
            if (archive_ == nullptr) zip_source_free(source);
        }
        zip_error_fini(&error);
        if (archive_ == nullptr) fail("Could not unzip the data.");
        // Only a package that claims a signature has its entries hashed.
        hashed_ = zip_name_locate(archive_, manifest_name, ZIP_FL_ENC_RAW) >= 0 ||
                  zip_name_locate(archive_, manifest_signature_name, ZIP_FL_ENC_RAW) >= 0;
    }
    ~unzipper() { zip_discard(archive_); }
    unzipper(const unzipper&) = delete;
    unzipper& operator=(const unzipper&) = delete;

    // The first entry in stored order whose full name matches ignoring ASCII case;
    // nothing when it is missing, cannot be extracted, or is empty. Throws
    // `too_large` when it declares more than `limit` bytes, and a message of its
    // own when the package as a whole would inflate past its limit.
    // What it returns is hashed for the signature check, under its stored name;
    // given `stored`, the caller gets that name and hashes the text itself
    // (`note_used`), so that it can do so while it decodes the text.
    std::optional<std::string> extract_text(std::string_view name, uint64_t limit, const char* too_large,
                                            std::string* stored_name = nullptr) {
        const zip_int64_t count = zip_get_num_entries(archive_, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char* stored = zip_get_name(archive_, zip_uint64_t(i), ZIP_FL_ENC_RAW);
            if (stored != nullptr && ascii_iequal(stored, name)) {
                std::optional<std::string> text = extract(zip_uint64_t(i), limit, too_large);
                if (text && stored_name) *stored_name = stored;
                else if (text) note_used(stored, *text);
                return text;
            }
        }
        return std::nullopt;
    }

    // Whether the entries read need hashing: only for a package that claims a signature.
    bool hashed() const { return hashed_; }
    void note_used(const std::string& stored_name, std::string_view text) {
        if (hashed_) used_.emplace(stored_name, sha256_of(text));
    }
    void note_used(const std::string& stored_name, const sha256_t& digest) { used_.emplace(stored_name, digest); }

    // The first entry whose name is exactly `name`, empty or not; nothing when
    // it is missing or cannot be extracted.
    std::optional<std::string> extract_exact(std::string_view name, uint64_t limit, const char* too_large) {
        const zip_int64_t count = zip_get_num_entries(archive_, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char* stored = zip_get_name(archive_, zip_uint64_t(i), ZIP_FL_ENC_RAW);
            if (stored == nullptr || name != stored) continue;
            zip_stat_t stat;
            zip_stat_init(&stat);
            if (zip_stat_index(archive_, zip_uint64_t(i), 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) &&
                stat.size == 0)
                return std::string();
            return extract(zip_uint64_t(i), limit, too_large);
        }
        return std::nullopt;
    }

    // The entries the reader used, by stored name, with the SHA-256 of their bytes.
    const std::map<std::string, sha256_t>& used() const { return used_; }

private:
    std::optional<std::string> extract(zip_uint64_t index, uint64_t limit, const char* too_large) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) return std::nullopt;
        if (stat.size == 0) return std::nullopt;
        if (stat.size > limit) fail(too_large);
        inflated_ += stat.size;
        if (inflated_ > max_inflated_size) fail("The package holds more than 64 MiB of data.");
        const bool deflated = (stat.valid & ZIP_STAT_COMP_METHOD) && stat.comp_method == ZIP_CM_DEFLATE &&
                              (stat.valid & ZIP_STAT_COMP_SIZE) && (stat.valid & ZIP_STAT_CRC) &&
                              !((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE);
        return deflated ? inflate(index, stat) : read(index, stat.size);
    }

    // libzip's own reading, for every method it knows; it checks the CRC.
    std::optional<std::string> read(zip_uint64_t index, zip_uint64_t size) const {
        file_t file(zip_fopen_index(archive_, index, 0), zip_fclose);
        if (!file) return std::nullopt;
        std::string text(size, '\0');
        if (!read_exactly(file.get(), text.data(), size)) return std::nullopt;
        // libzip checks the CRC only once a read reaches the end of the entry.
        char beyond;
        if (zip_fread(file.get(), &beyond, 1) != 0) return std::nullopt;
        return text;
    }

    // Deflated entries, the usual case, are inflated whole by libdeflate: firmware
    // text inflates more than twice as fast as through libzip's stream.
    std::optional<std::string> inflate(zip_uint64_t index, const zip_stat_t& stat) const {
        if (stat.comp_size > stat.size + stat.size / 8 + 1024) return std::nullopt;  // more than deflate ever makes
        std::string compressed(stat.comp_size, '\0');
        {
            file_t file(zip_fopen_index(archive_, index, ZIP_FL_COMPRESSED), zip_fclose);
            if (!file || !read_exactly(file.get(), compressed.data(), stat.comp_size)) return std::nullopt;
        }
        std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> decompressor(
            libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
        if (!decompressor) throw std::bad_alloc();
        std::string text(stat.size, '\0');
        std::size_t in_used = 0, out_used = 0;
        if (libdeflate_deflate_decompress_ex(decompressor.get(), compressed.data(), compressed.size(), text.data(),
                                             text.size(), &in_used, &out_used) != LIBDEFLATE_SUCCESS ||
            out_used != stat.size || libdeflate_crc32(0, text.data(), text.size()) != stat.crc)
            return std::nullopt;
        return text;
    }

    using file_t = std::unique_ptr<zip_file_t, decltype(&zip_fclose)>;

    static bool read_exactly(zip_file_t* file, char* out, zip_uint64_t size) {
        for (zip_uint64_t done = 0; done < size;) {
            const zip_int64_t n = zip_fread(file, out + done, size - done);
            if (n <= 0) return false;  // a read error, a bad CRC, or data shorter than declared
            done += zip_uint64_t(n);
        }
        return true;
    }

    zip_t* archive_ = nullptr;
    uint64_t inflated_ = 0;  // declared sizes of the entries extracted so far
    bool hashed_ = false;
    std::map<std::string, sha256_t> used_;
};

struct ini_deleter {
    void operator()(ini_t* ini) const { ini_destroy(ini); }
};

class update_source_t {
public:
    update_source_t(const unsigned char* data, unsigned long size) : zip_(data, size) {
        std::optional<std::string> info =
            zip_.extract_text("info.txt", max_text_entry_size, "The info file is larger than 1 MiB.");
        if (!info) fail("No info file found in update.");
        ini_.reset(ini_load(info->c_str(), nullptr));
        if (!ini_) fail("Could not parse the INI text.");
        general_ = ini_find_section(ini_.get(), "general", 0);
        if (general_ < 0) fail("Wrong format for info file in update.");
    }

    const char* value(const char* key) const {
        const int property = ini_find_property(ini_.get(), general_, key, 0);
        return property < 0 ? nullptr : ini_property_value(ini_.get(), general_, property);
    }

    std::optional<firmware_t> firmware(const char* name, const flash_map_t& flash_map) {
        std::string stored;
        std::optional<std::string> text =
            zip_.extract_text(name, max_firmware_entry_size, "A firmware file is larger than 16 MiB.", &stored);
        if (!text) return std::nullopt;
        if (!zip_.hashed()) return load_firmware({text->data(), text->size()}, flash_map);
        // Hashed on a second core while the text is decoded on this one; should
        // decoding throw, the future's destructor waits for the hash.
        std::future<sha256_t> digest = std::async(std::launch::async, [&text] { return sha256_of(*text); });
        firmware_t image = load_firmware({text->data(), text->size()}, flash_map);
        zip_.note_used(stored, digest.get());
        return image;
    }

    const char* description(lang_t l) const { return value(str_format_tmp("description-%s", lang_short_name[int(l)])); }

    std::string notes(lang_t l) {
        return zip_
            .extract_text(str_format_tmp("notes-%s.txt", lang_short_name[int(l)]), max_text_entry_size,
                          "The release notes are larger than 1 MiB.")
            .value_or(std::string());
    }

    package_signature_t signature(const trust_t& trust);

    std::optional<device_update_t> device(const char* main_name, const char* stage2_name) {
        std::optional<firmware_t> main = firmware(main_name, flash_map_stm32f40x_41x);
        if (!main) return std::nullopt;
        return device_update_t{std::move(*main), firmware(stage2_name, flash_map_stm32f40x_41x)};
    }

private:
    unzipper zip_;
    std::unique_ptr<ini_t, ini_deleter> ini_;
    int general_ = -1;
};

// Whether the entries the reader used are those a trusted key signed.
package_signature_t update_source_t::signature(const trust_t& trust) {
    package_signature_t result;
    const auto changed = [&result](std::string reason) {
        result.status = signature_status_t::changed;
        result.reason = std::move(reason);
        return result;
    };
    const std::optional<std::string> manifest =
        zip_.extract_exact(manifest_name, max_text_entry_size, "The manifest is larger than 1 MiB.");
    const std::optional<std::string> signature_text =
        zip_.extract_exact(manifest_signature_name, max_text_entry_size, "The signature is larger than 1 MiB.");
    if (!manifest && !signature_text) return result;
    if (!manifest) return changed("The package has a signature but no manifest.");
    if (!signature_text) return changed("The package has a manifest but no signature.");
    std::string error;
    const std::optional<minisign_signature_t> signature = parse_signature(*signature_text, error);
    if (!signature) return changed(error);
    result.key_id = key_id_text(signature->key_id);
    result.trusted_comment = signature->trusted_comment;
    result.signer = signer_of(signature->trusted_comment);
    const auto key = std::find_if(trust.keys.begin(), trust.keys.end(),
                                  [&](const public_key_t& k) { return k.key_id == signature->key_id; });
    if (key != trust.keys.end() && !verify_signature(*key, *signature, *manifest, error)) return changed(error);
    const std::optional<std::map<std::string, sha256_t>> listed = parse_manifest(*manifest, error);
    if (!listed) return changed(error);
    for (const auto& [name, digest] : zip_.used()) {
        const auto entry = listed->find(name);
        if (entry == listed->end()) return changed("\"" + name + "\" is not listed in the manifest.");
        if (entry->second != digest) return changed("\"" + name + "\" differs from its hash in the manifest.");
    }
    for (const auto& [name, digest] : *listed) {
        if (zip_.used().count(name)) continue;
        const std::optional<std::string> bytes =
            zip_.extract_exact(name, max_firmware_entry_size, "A listed entry is larger than 16 MiB.");
        if (!bytes) return changed("\"" + name + "\" is listed in the manifest but missing.");
        if (sha256_of(*bytes) != digest) return changed("\"" + name + "\" differs from its hash in the manifest.");
    }
    result.status = key != trust.keys.end() ? signature_status_t::signed_package : signature_status_t::unknown_signer;
    return result;
}

}  // namespace

update_t make_update(const unsigned char* data, unsigned long size) { return make_update(data, size, trust_t{}); }

update_t make_update(const unsigned char* data, unsigned long size, const trust_t& trust) {
    update_source_t source(data, size);
    update_t update;

    const char* product = source.value("product");
    if (product == nullptr) fail("No product info found.");
    update.product = product;

    const char* release_date = source.value("releasedate");
    if (release_date == nullptr) fail("No version info found.");
    int year = 0, month = 0, day = 0;
    // Checked before narrowing, so that a negative year cannot wrap into range.
    if (std::sscanf(release_date, "%04d-%02d-%02d", &year, &month, &day) < 3 || day < 1 || day > 31 || year < 2016 ||
        month < 1 || month > 12)
        fail("No version info found.");
    update.release_date = {uint16_t(year), uint8_t(month), uint8_t(day)};

    if (const char* version = source.value("version")) {
        update.version_string = version;
        int major = 0, minor = 0, patch = 0, beta = 0;
        if (std::sscanf(version, "%d.%d.%db%d", &major, &minor, &patch, &beta) >= 3) {
            update.version = {uint8_t(major), uint8_t(minor), uint8_t(patch), uint8_t(beta)};
        } else {
            std::fprintf(stderr, "Could not parse version string in update info: %s\n", version);
        }
    }

    for (lang_t l : {lang_t::en, lang_t::fr}) {
        const char* description = source.description(l);
        update.description[int(l)] = description ? description : "";
        update.notes[int(l)] = source.notes(l);
    }

    update.ventaro = source.device("ventaro.hex", "ventaro-stage2.hex");
    update.ruvo = source.device("ruvo.hex", "ruvo-stage2.hex");
    if (!update.ventaro && !update.ruvo) fail("No update data found.");
    update.signature = source.signature(trust);
    return update;
}

}  // namespace zal
