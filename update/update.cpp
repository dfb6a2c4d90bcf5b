// SPDX-License-Identifier: MIT
#include "update/update.hpp"
#include "common/text/marked.hpp"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <exception>
#include <future>
#include <cstdio>
#include <map>
#include <set>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/async/thread.hpp"
#include "common/text/printable.hpp"
#include "update/ascii.hpp"
#include "update/ini.hpp"
#include "update/signature.hpp"

namespace zal {

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

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

// An entry's name as messages quote it: a crafted name cannot drive a terminal.
std::string quoted(std::string_view name) {
    std::string text(1, '"');
    text += printable(name);
    text += '"';
    return text;
}

// The names the reader looks for, ignoring case: every entry whose name is
// one of them (or one of them as a folder) is one the reader considers.
constexpr std::string_view known_names[] = {"info.txt",           "notes-en.txt", "notes-fr.txt",   "ventaro.hex",
                                            "ventaro-stage2.hex", "ruvo.hex",     "ruvo-stage2.hex"};

uint64_t little_endian(const unsigned char* p, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

// The most entries any end record of the archive declares, as libzip may read
// them: libzip tries every end-record signature in the last 64 KiB, and takes
// the ZIP64 record's count whenever a locator stands before one. Counting every
// such record bounds whichever one libzip settles on, before it reads a
// directory of any length. A 32-bit record whose directory would overrun it is
// one libzip refuses before reading; it is left out, so that a signature that
// happens to lie in an honest package's data does not refuse the package.
uint64_t most_declared_entries(const unsigned char* data, unsigned long size) {
    constexpr unsigned long record_size = 22, locator_size = 20, zip64_record_size = 56;
    if (size < record_size) return 0;
    uint64_t most = 0;
    const unsigned long window = record_size + 0xFFFF + locator_size;
    for (unsigned long at = size > window ? size - window : 0; at + record_size <= size; ++at) {
        const unsigned char* end = data + at;
        if (little_endian(end, 4) != 0x06054b50) continue;
        if (at >= locator_size && little_endian(end - locator_size, 4) == 0x07064b50) {
            const uint64_t record = little_endian(end - locator_size + 8, 8);
            if (size >= zip64_record_size && record <= size - zip64_record_size &&
                little_endian(data + record, 4) == 0x06064b50)
                most = std::max(most,
                                std::max(little_endian(data + record + 24, 8), little_endian(data + record + 32, 8)));
        }
        const uint64_t directory_end = little_endian(end + 16, 4) + little_endian(end + 12, 4);
        if (directory_end <= at) most = std::max(most, std::max(little_endian(end + 8, 2), little_endian(end + 10, 2)));
    }
    return most;
}

class unzipper_t {
public:
    unzipper_t(const unsigned char* data, unsigned long size) {
        // An empty buffer would open as an empty archive; it is no archive at all.
        if (data == nullptr || size == 0) fail(ZAL_TEXT("Engine", "Could not unzip the data."));
        if (size > max_package_size) fail(ZAL_TEXT("Engine", "The update package is larger than 32 MiB."));
        // Before libzip reads a directory of any length.
        if (most_declared_entries(data, size) > max_package_entries) fail(too_many_entries);
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
        if (source != nullptr) {
            archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
            if (archive_ == nullptr) zip_source_free(source);
        }
        zip_error_fini(&error);
        if (archive_ == nullptr) fail(ZAL_TEXT("Engine", "Could not unzip the data."));
        index_entries();
        // Only a package that claims a signature has its entries hashed.
        hashed_ = exact_.count(manifest_name) || exact_.count(manifest_signature_name);
    }
    ~unzipper_t() { zip_discard(archive_); }
    unzipper_t(const unzipper_t&) = delete;
    unzipper_t& operator=(const unzipper_t&) = delete;

    // The first entry in stored order whose full name matches ignoring ASCII
    // case; nothing when it is missing or declared empty (used as empty).
    // Throws `too_large` when it declares more than `limit` bytes, and a
    // message of its own when the package as a whole would inflate past its
    // limit; an entry that cannot be read is damaged (see `settle`).
    // What it returns is hashed for the signature check, under its stored name.
    std::optional<std::string> extract_text(std::string_view name, uint64_t limit, const char* too_large) {
        const std::optional<fetched_t> entry = fetch_text(name, limit);
        if (!entry) return std::nullopt;
        admit(*entry, limit, too_large);
        std::optional<std::string> text = contents(*entry);
        if (!settle(entry->stored_name, text.has_value(), text ? sha256_of(*text) : sha256_t{}) || text->empty())
            return std::nullopt;
        return text;
    }

    // Whether the entries read need hashing: only for a package that claims a signature.
    bool hashed() const { return hashed_; }

    // Records what became of an entry the reader chose: used with these bytes'
    // digest, or, when it could not be read, damaged. A damaged entry makes a
    // package that claims a signature changed; any other package cannot be
    // read ("The package is damaged: <name>."). False for a damaged entry.
    bool settle(const std::string& stored_name, bool readable, const sha256_t& digest) {
        if (!readable) {
            if (!hashed_) throw std::runtime_error("The package is damaged: " + printable(stored_name) + ".");
            damaged_.insert(stored_name);
            return false;
        }
        if (hashed_) used_.emplace(stored_name, digest);
        return true;
    }

    // The entry whose name is exactly `name`, empty or not; nothing when it is
    // missing or cannot be extracted.
    std::optional<std::string> extract_exact(const std::string& name, uint64_t limit, const char* too_large) {
        const auto found = exact_.find(name);
        if (found == exact_.end()) return std::nullopt;
        const fetched_t entry = fetch(found->second, name.c_str(), limit);
        admit(entry, limit, too_large);
        return contents(entry);
    }

    // Every entry the reader considers, by the known name it answers to, in
    // stored order.
    const std::map<std::string_view, std::vector<std::string>>& considered() const { return considered_; }
    // Chosen entries that could not be read.
    const std::set<std::string>& damaged() const { return damaged_; }

    // The entries the reader used, by stored name, with the SHA-256 of their bytes.
    const std::map<std::string, sha256_t>& used() const { return used_; }

    // An entry read out of the archive, not yet inflated: reading needs the
    // archive (one thread at a time), inflating does not.
    struct fetched_t {
        std::string stored_name;
        uint64_t size = 0;  // declared
        bool deflated = false;
        uint32_t crc = 0;
        // The deflated data, or the contents for other methods; nothing when
        // unreadable, or too large to be read at all.
        std::optional<std::string> bytes;
    };

    // The first entry in stored order whose full name matches ignoring ASCII
    // case; nothing when it is missing. Entries larger than `limit` are not read.
    std::optional<fetched_t> fetch_text(std::string_view name, uint64_t limit) const {
        const auto candidates = chosen_.find(name);
        if (candidates == chosen_.end()) return std::nullopt;
        return fetch(candidates->second, zip_get_name(archive_, candidates->second, ZIP_FL_ENC_RAW), limit);
    }

    // The checks of an entry about to be used, in the order entries are used:
    // throws `too_large` when it declares more than `limit` bytes, and a message
    // of its own when the package as a whole would inflate past its limit.
    void admit(const fetched_t& entry, uint64_t limit, const char* too_large) {
        if (entry.size > limit) fail(too_large);
        inflated_ += entry.size;
        if (inflated_ > max_inflated_size) fail(ZAL_TEXT("Engine", "The package holds more than 64 MiB of data."));
    }

    // The contents of an admitted entry; nothing when they cannot be had. Safe
    // on any thread.
    static std::optional<std::string> contents(const fetched_t& entry) {
        if (!entry.bytes) return std::nullopt;
        return entry.deflated ? inflate(*entry.bytes, entry.size, entry.crc) : entry.bytes;
    }

private:
    static constexpr const char* too_many_entries = "The package holds more than 1,000 entries.";

    // One pass over the directory: exact names for the manifest, and the
    // entries each known name answers to, so that no lookup scans again.
    void index_entries() {
        const zip_int64_t count = zip_get_num_entries(archive_, 0);
        if (count < 0 || uint64_t(count) > max_package_entries) fail(too_many_entries);
        for (zip_uint64_t i = 0; i < zip_uint64_t(count); ++i) {
            const char* stored = zip_get_name(archive_, i, ZIP_FL_ENC_RAW);
            if (stored == nullptr) continue;
            const std::string_view name(stored);
            exact_.emplace(name, i);
            const std::string_view file = name.ends_with('/') ? name.substr(0, name.size() - 1) : name;
            for (std::string_view known : known_names) {
                if (!ascii_iequal(file, known)) continue;
                considered_[known].emplace_back(name);
                if (file.size() == name.size()) chosen_.emplace(known, i);  // the first file, as ever
            }
        }
    }

    // An entry's declared size and its bytes as stored; an entry that cannot
    // be stated or read has no bytes.
    fetched_t fetch(zip_uint64_t index, const char* stored, uint64_t limit) const {
        fetched_t entry;
        entry.stored_name = stored != nullptr ? stored : "";
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) return entry;
        entry.size = stat.size;
        if (stat.size > limit) return entry;
        // Declared empty: used as empty, whatever follows it. (libzip 1.11
        // fails reads of some empty entries that 1.9 reads as nothing.)
        if (stat.size == 0) {
            entry.bytes.emplace();
            return entry;
        }
        entry.deflated = (stat.valid & ZIP_STAT_COMP_METHOD) && stat.comp_method == ZIP_CM_DEFLATE &&
                         (stat.valid & ZIP_STAT_COMP_SIZE) && (stat.valid & ZIP_STAT_CRC) &&
                         !((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE);
        entry.crc = stat.crc;
        entry.bytes = entry.deflated ? read_deflated(index, stat) : read(index, stat.size);
        return entry;
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

    std::optional<std::string> read_deflated(zip_uint64_t index, const zip_stat_t& stat) const {
        if (stat.comp_size > stat.size + stat.size / 8 + 1024) return std::nullopt;  // more than deflate ever makes
        std::string compressed(stat.comp_size, '\0');
        file_t file(zip_fopen_index(archive_, index, ZIP_FL_COMPRESSED), zip_fclose);
        if (!file || !read_exactly(file.get(), compressed.data(), stat.comp_size)) return std::nullopt;
        return compressed;
    }

    // Deflated entries, the usual case, are inflated whole by libdeflate: firmware
    // text inflates more than twice as fast as through libzip's stream.
    static std::optional<std::string> inflate(const std::string& compressed, uint64_t size, uint32_t crc) {
        std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> decompressor(
            libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
        if (!decompressor) throw std::bad_alloc();
        std::string text(size, '\0');
        std::size_t in_used = 0, out_used = 0;
        if (libdeflate_deflate_decompress_ex(decompressor.get(), compressed.data(), compressed.size(), text.data(),
                                             text.size(), &in_used, &out_used) != LIBDEFLATE_SUCCESS ||
            out_used != size || libdeflate_crc32(0, text.data(), text.size()) != crc)
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
    std::unordered_map<std::string, zip_uint64_t> exact_;  // the first entry of each name
    std::map<std::string_view, std::vector<std::string>> considered_;
    std::map<std::string_view, zip_uint64_t> chosen_;  // the entry read for each known name
    std::map<std::string, sha256_t> used_;
    std::set<std::string> damaged_;
};

struct ini_deleter {
    void operator()(ini_t* ini) const { ini_destroy(ini); }
};

class update_source_t {
public:
    update_source_t(const unsigned char* data, unsigned long size) : zip_(data, size) {
        std::optional<std::string> info =
            zip_.extract_text("info.txt", max_text_entry_size, "The info file is larger than 1 MiB.");
        if (!info && !zip_.damaged().empty())
            fail("The package is damaged: " + printable(*zip_.damaged().begin()) + ".");
        if (!info) fail(ZAL_TEXT("Engine", "No info file found in update."));
        ini_.reset(ini_load(info->c_str()));
        if (!ini_) fail(ZAL_TEXT("Engine", "Could not parse the INI text."));
        general_ = ini_find_section(ini_.get(), "general");
        if (general_ < 0) fail(ZAL_TEXT("Engine", "Wrong format for info file in update."));
    }

    const char* value(const char* key) const {
        const int property = ini_find_property(ini_.get(), general_, key);
        return property < 0 ? nullptr : ini_property_value(ini_.get(), general_, property);
    }

    const char* description(lang_t l) const { return value(str_format_tmp("description-%s", lang_short_name[int(l)])); }

    std::string notes(lang_t l) {
        return zip_
            .extract_text(str_format_tmp("notes-%s.txt", lang_short_name[int(l)]), max_text_entry_size,
                          "The release notes are larger than 1 MiB.")
            .value_or(std::string());
    }

    package_signature_t signature(const trust_t& trust);

    // Both devices' images. Each HEX entry is inflated, hashed when the package
    // is signed, and decoded on one of two threads; the results are then taken
    // in reading order, so that limits and errors come as they would one by one.
    void read_devices(update_t& update) {
        firmware_job_t jobs[4];  // ventaro main and stage 2, then the Ruvo's
        const char* const names[4] = {"ventaro.hex", "ventaro-stage2.hex", "ruvo.hex", "ruvo-stage2.hex"};
        for (int main = 0; main < 4; main += 2) {
            jobs[main].entry = zip_.fetch_text(names[main], max_firmware_entry_size);
            if (jobs[main].entry) jobs[main + 1].entry = zip_.fetch_text(names[main + 1], max_firmware_entry_size);
        }
        run_in_parallel(jobs, zip_.hashed());
        update.ventaro = take_device(jobs[0], jobs[1]);
        update.ruvo = take_device(jobs[2], jobs[3]);
    }

private:
    struct firmware_job_t {
        std::optional<unzipper_t::fetched_t> entry;  // nothing when missing
        bool inflated = false;                       // false: it could not be read
        bool empty = false;                          // declared and inflated empty: used as empty
        std::optional<firmware_t> image;
        std::exception_ptr error;  // of decoding
        sha256_t digest{};
    };

    static void run(firmware_job_t& job, bool hashed) {
        if (!job.entry || job.entry->size > max_firmware_entry_size) return;
        const std::optional<std::string> text = unzipper_t::contents(*job.entry);
        job.entry->bytes.reset();  // the deflated data is no longer needed
        if (!text) return;
        job.inflated = true;
        job.empty = text->empty();
        if (job.empty) {
            job.digest = sha256_of({});
            return;
        }
        // Hashed on another core while the text is decoded on this one; should
        // decoding throw, the future's destructor waits for the hash.
        std::future<sha256_t> digest;
        if (hashed)
            digest = std::async(std::launch::async, [&text] {
                name_this_thread("package hash");
                return sha256_of(*text);
            });
        try {
            job.image = load_firmware({text->data(), text->size()}, flash_map_stm32f40x_41x);
        } catch (const std::runtime_error&) {
            job.error = std::current_exception();
        }
        if (digest.valid()) job.digest = digest.get();
    }

    // The larger entries first, each taken by whichever thread is free.
    static void run_in_parallel(firmware_job_t (&jobs)[4], bool hashed) {
        std::vector<firmware_job_t*> pending;
        for (firmware_job_t& job : jobs)
            if (job.entry && job.entry->bytes) pending.push_back(&job);
        std::sort(pending.begin(), pending.end(),
                  [](const firmware_job_t* a, const firmware_job_t* b) { return a->entry->size > b->entry->size; });
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            for (std::size_t i; (i = next++) < pending.size();) run(*pending[i], hashed);
        };
        std::future<void> helper;
        if (pending.size() > 1)
            helper = std::async(std::launch::async, [&work] {
                name_this_thread("package decode");
                work();
            });
        work();
        if (helper.valid()) helper.get();
    }

    std::optional<firmware_t> take(firmware_job_t& job) {
        if (!job.entry) return std::nullopt;
        zip_.admit(*job.entry, max_firmware_entry_size, "A firmware file is larger than 16 MiB.");
        if (!zip_.settle(job.entry->stored_name, job.inflated, job.digest) || job.empty) return std::nullopt;
        if (job.error) std::rethrow_exception(job.error);
        return std::move(job.image);
    }

    std::optional<device_update_t> take_device(firmware_job_t& main, firmware_job_t& stage2) {
        std::optional<firmware_t> image = take(main);
        if (!image) return std::nullopt;
        return device_update_t{std::move(*image), take(stage2)};
    }

private:
    unzipper_t zip_;
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
    const result_t<minisign_signature_t> signature = parse_signature(*signature_text);
    if (!signature) return changed(signature.failure().text);
    result.key_id = key_id_text(signature->key_id);
    result.trusted_comment = signature->trusted_comment;
    result.signer = signer_of(signature->trusted_comment);
    const auto key = std::find_if(trust.keys.begin(), trust.keys.end(),
                                  [&](const public_key_t& k) { return k.key_id == signature->key_id; });
    if (key != trust.keys.end())
        if (const result_t<void> verified = verify_signature(*key, *signature, *manifest); !verified)
            return changed(verified.failure().text);
    const result_t<std::map<std::string, sha256_t>> listed = parse_manifest(*manifest);
    if (!listed) return changed(listed.failure().text);
    // Every entry the reader considers is one it used: none shadowed by
    // another in other letters, none left unread or unreadable.
    for (const auto& [known, names] : zip_.considered()) {
        if (names.size() > 1)
            return changed(quoted(names[0]) + " and " + quoted(names[1]) + " differ only in case or as a folder.");
        if (zip_.damaged().count(names[0])) return changed(quoted(names[0]) + " cannot be read.");
        if (!zip_.used().count(names[0])) return changed(quoted(names[0]) + " is in the package but not used.");
    }
    for (const auto& [name, digest] : zip_.used()) {
        const auto entry = listed->find(name);
        if (entry == listed->end()) return changed(quoted(name) + " is not listed in the manifest.");
        if (entry->second != digest) return changed(quoted(name) + " differs from its hash in the manifest.");
    }
    for (const auto& [name, digest] : *listed) {
        if (zip_.used().count(name)) continue;
        const std::optional<std::string> bytes =
            zip_.extract_exact(name, max_firmware_entry_size, "A listed entry is larger than 16 MiB.");
        if (!bytes) return changed(quoted(name) + " is listed in the manifest but missing.");
        if (sha256_of(*bytes) != digest) return changed(quoted(name) + " differs from its hash in the manifest.");
    }
    result.status = key != trust.keys.end() ? signature_status_t::signed_package : signature_status_t::unknown_signer;
    return result;
}

}  // namespace

update_t make_update(const unsigned char* data, unsigned long size) { return make_update(data, size, trust_t{}); }

result_t<update_t> read_update(const unsigned char* data, unsigned long size, const trust_t& trust) {
    try {
        return make_update(data, size, trust);
    } catch (const std::exception& e) {
        return failure_t{EINVAL, e.what()};
    }
}

update_t make_update(const unsigned char* data, unsigned long size, const trust_t& trust) {
    update_source_t source(data, size);
    update_t update;
    const sha256_t digest = sha256_of({reinterpret_cast<const char*>(data), size});
    update.package_sha256 = hex_of(digest.data(), digest.size());

    const char* product = source.value("product");
    if (product == nullptr) fail(ZAL_TEXT("Engine", "No product info found."));
    update.product = product;

    const char* release_date = source.value("releasedate");
    if (release_date == nullptr) fail(ZAL_TEXT("Engine", "No version info found."));
    int year = 0, month = 0, day = 0;
    // Checked before narrowing, so that a negative year cannot wrap into range.
    if (std::sscanf(release_date, "%04d-%02d-%02d", &year, &month, &day) < 3 || day < 1 || day > 31 || year < 2016 ||
        month < 1 || month > 12)
        fail(ZAL_TEXT("Engine", "No version info found."));
    update.release_date = {uint16_t(year), uint8_t(month), uint8_t(day)};

    if (const char* version = source.value("version")) {
        update.version_string = version;
        int major = 0, minor = 0, patch = 0, beta = 0;
        if (std::sscanf(version, "%d.%d.%db%d", &major, &minor, &patch, &beta) >= 3) {
            update.version = {uint8_t(major), uint8_t(minor), uint8_t(patch), uint8_t(beta)};
        } else {
            write_line(stderr, std::string("Could not parse version string in update info: ") + version);
        }
    }

    for (lang_t l : {lang_t::en, lang_t::fr}) {
        const char* description = source.description(l);
        update.description[int(l)] = description ? description : "";
        update.notes[int(l)] = source.notes(l);
    }

    source.read_devices(update);
    if (!update.ventaro && !update.ruvo) fail(ZAL_TEXT("Engine", "No update data found."));
    update.signature = source.signature(trust);
    return update;
}

}  // namespace zal
