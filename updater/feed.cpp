// SPDX-License-Identifier: MIT
#include "updater/feed.hpp"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>

#include "common/text/marked.hpp"
#include "common/text/printable.hpp"
#include "update/package_file.hpp"

#ifndef ZAL_FEED_URL
#define ZAL_FEED_URL ""
#endif

namespace zal::updater {

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

constexpr std::size_t max_feed_packages = 200, max_url = 2048, max_notes_line = 500;
constexpr int64_t clock_slack_s = 86400;  // a day

// "2026-12-01T10:00:00Z" as Unix seconds; nothing unless it is exactly a valid UTC time.
std::optional<int64_t> parse_utc(const std::string& text) {
    constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != shape.size()) return std::nullopt;
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != shape[i]) return std::nullopt;
    std::tm t{};
    std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                &t.tm_sec);
    if (t.tm_year < 1970) return std::nullopt;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    const std::tm asked = t;
    const std::time_t seconds = timegm(&t);
    // timegm normalises 31 February into March: a changed field was not a date.
    if (t.tm_mday != asked.tm_mday || t.tm_mon != asked.tm_mon || t.tm_hour != asked.tm_hour ||
        t.tm_min != asked.tm_min || t.tm_sec != asked.tm_sec)
        return std::nullopt;
    return int64_t(seconds);
}

std::string utc_text(int64_t seconds, const char* format) {
    const std::time_t time = std::time_t(seconds);
    std::tm t{};
    gmtime_r(&time, &t);
    char text[32];
    return std::strftime(text, sizeof text, format, &t) ? text : "";
}

bool valid_version(const std::string& version) {
    static const std::regex pattern("[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}(b[0-9]{1,3})?");
    return std::regex_match(version, pattern);
}

bool valid_date(const std::string& date) { return date.size() == 10 && parse_utc(date + "T00:00:00Z").has_value(); }

std::optional<sha256_t> parse_sha256(const std::string& text) {
    if (text.size() != 64) return std::nullopt;
    sha256_t digest{};
    for (std::size_t i = 0; i < 64; ++i) {
        const char c = text[i];
        const int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (value < 0) return std::nullopt;
        digest[i / 2] = uint8_t(digest[i / 2] << 4 | value);
    }
    return digest;
}

// Throws std::invalid_argument with what is wrong; parse_feed turns it into a failure.
const json& field(const json& object, const char* name, json::value_t type) {
    const auto found = object.find(name);
    const bool number = type == json::value_t::number_unsigned;
    if (found == object.end() || (number ? !found->is_number_unsigned() : found->type() != type))
        throw std::invalid_argument(std::string("\"") + name + "\" is missing or of the wrong type");
    return *found;
}

feed_package_t package_of(const json& entry) {
    if (!entry.is_object()) throw std::invalid_argument("a package is not an object");
    feed_package_t p;
    const std::optional<kind_t> kind = kind_of_word(field(entry, "kind", json::value_t::string).get<std::string>());
    p.version = field(entry, "version", json::value_t::string).get<std::string>();
    p.release_date = field(entry, "released", json::value_t::string).get<std::string>();
    p.url = field(entry, "url", json::value_t::string).get<std::string>();
    p.size = field(entry, "size", json::value_t::number_unsigned).get<uint64_t>();
    const std::optional<sha256_t> digest =
        parse_sha256(field(entry, "sha256", json::value_t::string).get<std::string>());
    if (!kind) throw std::invalid_argument("a package's kind is neither ventaro nor ruvo");
    if (!valid_version(p.version)) throw std::invalid_argument("a package's version is not like 2.3.0 or 2.4.0b1");
    if (!valid_date(p.release_date)) throw std::invalid_argument("a package's release date is not like 2026-12-01");
    if (p.url.empty() || p.url.size() > max_url)
        throw std::invalid_argument("a package's address is empty or too long");
    if (p.size == 0 || p.size > max_package_size) throw std::invalid_argument("a package's size is out of bounds");
    if (!digest) throw std::invalid_argument("a package's sha256 is not 64 lower-case hex digits");
    p.kind = *kind;
    p.sha256 = *digest;
    if (entry.contains("notes"))
        for (const auto& [language, line] : field(entry, "notes", json::value_t::object).items()) {
            if (!line.is_string() || line.get<std::string>().size() > max_notes_line || language.size() > 8)
                throw std::invalid_argument("a package's notes are not short texts by language");
            p.notes.emplace(language, line.get<std::string>());
        }
    return p;
}

// --- transfers

struct transfer_t {
    uint64_t limit = 0;
    std::string body;
    int fd = -1;  // the body goes there instead, when given
    int write_errno = 0;
    uint64_t received = 0, total = 0;
    bool over_limit = false;
    const download_progress_t* progress = nullptr;
    const std::atomic<bool>* cancel = nullptr;
};

std::size_t on_data(char* data, std::size_t, std::size_t size, void* user) {
    auto& t = *static_cast<transfer_t*>(user);
    // Counted here: a transfer of unknown length is not stopped by curl itself.
    if (t.received + size > t.limit) {
        t.over_limit = true;
        return 0;
    }
    if (t.fd >= 0) {
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::write(t.fd, data + done, size - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                t.write_errno = errno;
                return 0;
            }
            done += std::size_t(n);
        }
    } else {
        t.body.append(data, size);
    }
    t.received += size;
    if (t.progress && *t.progress) (*t.progress)(t.received, t.total);
    return size;
}

// Called while nothing arrives too, so that a cancel never waits for the stall limit.
int on_transfer_info(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& t = *static_cast<transfer_t*>(user);
    return t.cancel && t.cancel->load() ? 1 : 0;
}

struct fetched_t {
    long status = 0;  // 0 for file://
    std::string body;
    std::string etag, last_modified;
    uint64_t bytes = 0;  // the request's and the answer's, headers included
};

struct curl_deleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::string header_value(CURL* curl, const char* name) {
    curl_header* header = nullptr;
    return curl_easy_header(curl, name, 0, CURLH_HEADER, -1, &header) == CURLHE_OK ? header->value : "";
}

failure_t transfer_failure(CURLcode code, const transfer_t& t, const char* details, const std::string& url) {
    const std::string words = printable(url) + ": " + (*details ? details : curl_easy_strerror(code));
    // Newer curl stops at the bound itself, before our count does: one answer for both.
    if (t.over_limit || code == CURLE_FILESIZE_EXCEEDED)
        return {EFBIG, printable(url) + ": more than " + std::to_string(t.limit) + " bytes"};
    if (t.write_errno) return {EACCES, std::strerror(t.write_errno)};
    switch (code) {
        case CURLE_ABORTED_BY_CALLBACK: return {ECANCELED, words};
        case CURLE_OPERATION_TIMEDOUT: return {ETIMEDOUT, words};
        case CURLE_UNSUPPORTED_PROTOCOL: return {EPROTONOSUPPORT, words};
        case CURLE_FILE_COULDNT_READ_FILE: return {ENOENT, words};
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM: return {ECONNREFUSED, words};
        default: return {EHOSTUNREACH, words};
    }
}

// One GET of `url`, at most `t.limit` bytes of body. `validators`: the last
// answer's, sent back so that an unchanged file costs no body.
result_t<fetched_t> fetch(const std::string& url, transfer_t& t, const transfer_options_t& o,
                          const feed_record_t* validators = nullptr) {
    if (!url.starts_with("https://") && !url.starts_with("file://"))
        return failure_t{EPROTONOSUPPORT, printable(url) + ": only https:// and file:// addresses are used"};
    const std::unique_ptr<CURL, curl_deleter> curl(curl_easy_init());
    if (!curl) return failure_t{ENOMEM, "curl_easy_init failed"};
    std::unique_ptr<curl_slist, curl_deleter> headers;
    auto add_header = [&headers](const std::string& line) {
        headers.reset(curl_slist_append(headers.release(), line.c_str()));
    };
    if (validators && !validators->etag.empty()) add_header("If-None-Match: " + validators->etag);
    if (validators && !validators->last_modified.empty()) add_header("If-Modified-Since: " + validators->last_modified);
    char details[CURL_ERROR_SIZE] = "";
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https,file");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, o.connect_timeout_s);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, o.stall_bytes_per_s);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, o.stall_seconds);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(t.limit));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // threads: no SIGALRM for name lookups
    if (!o.ca_file.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, o.ca_file.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_data);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, on_transfer_info);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, details);
    const CURLcode code = curl_easy_perform(c);
    if (code != CURLE_OK) return transfer_failure(code, t, details, url);
    fetched_t f;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &f.status);
    long header_bytes = 0, request_bytes = 0;
    curl_easy_getinfo(c, CURLINFO_HEADER_SIZE, &header_bytes);
    curl_easy_getinfo(c, CURLINFO_REQUEST_SIZE, &request_bytes);
    f.bytes = uint64_t(header_bytes + request_bytes) + t.received;
    if (f.status != 0 && f.status != 200 && f.status != 304)
        return failure_t{f.status == 404 || f.status == 410 ? ENOENT : EHOSTUNREACH,
                         printable(url) + ": the server answered " + std::to_string(f.status)};
    f.etag = header_value(c, "ETag");
    f.last_modified = header_value(c, "Last-Modified");
    f.body = std::move(t.body);
    return f;
}

result_t<fetched_t> fetch_text(const std::string& url, uint64_t limit, const transfer_options_t& o,
                               const feed_record_t* validators = nullptr) {
    transfer_t t;
    t.limit = limit;
    return fetch(url, t, o, validators);
}

// A package's address as listed: absolute, or relative to the feed's folder.
std::string package_url(const std::string& feed_url, const std::string& listed) {
    if (listed.find("://") != std::string::npos) return listed;
    return feed_url.substr(0, feed_url.rfind('/') + 1) + listed;
}

// The cache folder, made private where it is made, and used only when it is
// this user's own directory that no one else can write.
result_t<void> private_folder(const std::string& folder) {
    std::error_code code;
    fs::create_directories(folder, code);
    struct stat status {};
    if (code || ::lstat(folder.c_str(), &status) != 0)
        return failure_t{EACCES, printable(folder) + ": " + (code ? code.message() : std::strerror(errno))};
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)))
        return failure_t{EACCES, printable(folder) + " is not a folder of this user's that only they can write"};
    ::chmod(folder.c_str(), 0700);
    return {};
}

// Whether `a` comes after `b`: by version, then by release date.
bool newer(const feed_package_t& a, const feed_package_t& b) {
    const int order = compare_versions(a.version, b.version);
    return order != 0 ? order > 0 : a.release_date > b.release_date;
}

}  // namespace

result_t<feed_t> parse_feed(std::string_view text) {
    if (text.size() > max_feed_bytes) return failure_t{EFBIG, "the feed is larger than its bound"};
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) return failure_t{EINVAL, "the feed is not a JSON object"};
    try {
        feed_t feed;
        feed.serial = int64_t(std::min<uint64_t>(
            field(document, "serial", json::value_t::number_unsigned).get<uint64_t>(), uint64_t(INT64_MAX)));
        const std::optional<int64_t> issued =
            parse_utc(field(document, "issued", json::value_t::string).get<std::string>());
        const std::optional<int64_t> expires =
            parse_utc(field(document, "expires", json::value_t::string).get<std::string>());
        if (!issued || !expires || *expires <= *issued)
            throw std::invalid_argument("its dates are not UTC times like 2026-12-01T10:00:00Z, expiring after issue");
        feed.issued = *issued;
        feed.expires = *expires;
        const json& packages = field(document, "packages", json::value_t::array);
        if (packages.size() > max_feed_packages) throw std::invalid_argument("it lists too many packages");
        for (const json& entry : packages) feed.packages.push_back(package_of(entry));
        if (document.contains("lowest-safe"))
            for (const auto& [word, version] : field(document, "lowest-safe", json::value_t::object).items()) {
                const std::optional<kind_t> kind = kind_of_word(word);
                if (!kind || !version.is_string() || !valid_version(version.get<std::string>()))
                    throw std::invalid_argument("\"lowest-safe\" is not versions by kind");
                feed.lowest_safe.emplace(*kind, version.get<std::string>());
            }
        return feed;
    } catch (const std::invalid_argument& e) {
        return failure_t{EINVAL, std::string("the feed is not valid: ") + e.what()};
    }
}

std::string feed_text(const feed_t& feed) {
    json packages = json::array();
    for (const feed_package_t& p : feed.packages)
        packages.push_back({{"kind", kind_word(p.kind)},
                            {"version", p.version},
                            {"released", p.release_date},
                            {"url", p.url},
                            {"size", p.size},
                            {"sha256", hex_of(p.sha256.data(), p.sha256.size())},
                            {"notes", p.notes}});
    json lowest = json::object();
    for (const auto& [kind, version] : feed.lowest_safe) lowest[kind_word(kind)] = version;
    const json document{{"serial", feed.serial},
                        {"issued", utc_text(feed.issued, "%Y-%m-%dT%H:%M:%SZ")},
                        {"expires", utc_text(feed.expires, "%Y-%m-%dT%H:%M:%SZ")},
                        {"lowest-safe", lowest},
                        {"packages", packages}};
    return document.dump(2) + "\n";
}

std::vector<public_key_t> load_feed_keys(const std::string& root, std::vector<std::string>& problems) {
    return read_keys(root, {"/usr/share/ventaro-update/feed-keys", "/etc/ventaro-update/feed-keys"}, problems);
}

feed_settings_t load_feed_settings(const std::string& root) {
    const std::map<std::string, std::string> settings = read_settings(root);
    const auto url = settings.find("feed-url");
    const auto automatically = settings.find("check-automatically");
    return {url != settings.end() ? url->second : ZAL_FEED_URL,
            automatically != settings.end() && automatically->second == "true"};
}

std::optional<sentence_t> feed_refusal(const feed_t& feed, std::optional<int64_t> last_serial, int64_t now) {
    if (last_serial && feed.serial < *last_serial)
        return sentence_t{feed_replayed, {std::to_string(feed.serial), std::to_string(*last_serial)}};
    if (now > feed.expires) return sentence_t{feed_expired, {utc_text(feed.expires, "%Y-%m-%d")}};
    if (feed.issued > now + clock_slack_s) return sentence_t{feed_from_future, {utc_text(feed.issued, "%Y-%m-%d")}};
    return std::nullopt;
}

feed_checker_t::feed_checker_t(std::string url, std::vector<public_key_t> feed_keys, trust_t package_trust,
                               history_t& history, std::string cache_folder, transfer_options_t options)
    : url_(std::move(url)),
      feed_keys_(std::move(feed_keys)),
      package_trust_(std::move(package_trust)),
      history_(history),
      cache_folder_(std::move(cache_folder)),
      options_(std::move(options)) {}

result_t<check_t> feed_checker_t::check(int64_t now) {
    if (url_.empty()) return failure_t{EDESTADDRREQ, "no feed-url in the settings and none built in"};
    const result_t<std::optional<feed_record_t>> last = history_.feed_record(url_);
    if (!last) return failure_t{EIO, last.failure().text};
    const feed_record_t* validators = *last ? &**last : nullptr;

    check_t check;
    result_t<fetched_t> signature = fetch_text(url_ + ".minisig", max_feed_signature_bytes, options_, validators);
    if (!signature) return signature.failure();
    check.bytes_received = signature->bytes;
    const bool not_modified = signature->status == 304 && validators;
    feed_record_t record{url_, 0, signature->etag, signature->last_modified, {}, signature->body};
    if (not_modified) {
        record = **last;
    } else {
        result_t<fetched_t> feed = fetch_text(url_, max_feed_bytes, options_);
        if (!feed) return feed.failure();
        check.bytes_received += feed->bytes;
        record.feed = std::move(feed->body);
    }

    const result_t<minisign_signature_t> parsed_signature = parse_signature(record.signature);
    if (!parsed_signature) return failure_t{EBADMSG, "feed signature: " + parsed_signature.failure().text};
    const auto key = std::find_if(feed_keys_.begin(), feed_keys_.end(),
                                  [&](const public_key_t& k) { return k.key_id == parsed_signature->key_id; });
    if (key == feed_keys_.end())
        return failure_t{ENOKEY, "the feed is signed with key " + key_id_text(parsed_signature->key_id) +
                                     ", which is not a trusted feed key"};
    if (result_t<void> verified = verify_signature(*key, *parsed_signature, record.feed); !verified)
        return failure_t{EBADMSG, "feed signature: " + verified.failure().text};
    result_t<feed_t> feed = parse_feed(record.feed);
    if (!feed) return feed.failure();

    check.serial = feed->serial;
    check.unchanged = validators && feed->serial == validators->serial;
    check.refusal = feed_refusal(*feed, validators ? std::optional(validators->serial) : std::nullopt, now);
    if (check.refusal) return check;
    record.serial = feed->serial;
    if (!not_modified) history_.record_feed(record);

    for (kind_t kind : {kind_t::ventaro, kind_t::ruvo}) {
        const feed_package_t* newest = nullptr;
        for (const feed_package_t& p : feed->packages)
            if (p.kind == kind && (!newest || newer(p, *newest))) newest = &p;
        if (!newest) continue;
        const result_t<std::optional<installed_t>> installed = history_.last_installed(kind);
        if (!installed) return failure_t{EIO, installed.failure().text};
        const auto lowest = feed->lowest_safe.find(kind);
        const bool below_safe = lowest != feed->lowest_safe.end();
        if (*installed && compare_versions(newest->version, (*installed)->version) <= 0) continue;
        if (below_safe && compare_versions(newest->version, lowest->second) < 0) continue;
        check.offers.push_back(
            {*newest, *installed ? (*installed)->version : "",
             *installed && below_safe && compare_versions((*installed)->version, lowest->second) < 0});
    }
    return check;
}

result_t<downloaded_t> feed_checker_t::download(const feed_package_t& package, const download_progress_t& progress,
                                                const std::atomic<bool>& cancel) {
    const std::string url = package_url(url_, package.url);
    // A feed from a server names no file of this computer.
    if (url_.starts_with("https://") && !url.starts_with("https://"))
        return failure_t{EPROTONOSUPPORT, printable(url) + ": a feed served over HTTPS names packages over HTTPS"};
    if (result_t<void> folder = private_folder(cache_folder_); !folder) return folder.failure();
    std::string temporary = cache_folder_ + "/.download-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return failure_t{EACCES, printable(cache_folder_) + ": " + std::strerror(errno)};
    const std::string final_path =
        cache_folder_ + "/" + kind_word(package.kind) + "-" + package.version + ".zalmirupdate";
    auto refused = [&](int code, const std::string& words) -> result_t<downloaded_t> {
        ::unlink(temporary.c_str());
        return failure_t{code, words};
    };

    transfer_t t;
    t.limit = std::min<uint64_t>(package.size, max_package_size);
    t.total = package.size;
    t.fd = fd;
    t.progress = &progress;
    t.cancel = &cancel;
    const result_t<fetched_t> fetched = fetch(url, t, options_);
    ::close(fd);
    // More bytes than listed: not the package listed.
    if (!fetched)
        return refused(fetched.failure().code == EFBIG ? EILSEQ : fetched.failure().code, fetched.failure().text);
    if (t.received != package.size)
        return refused(
            EILSEQ, std::to_string(t.received) + " bytes arrived where the feed lists " + std::to_string(package.size));
    result_t<std::vector<unsigned char>> bytes = read_whole_file(temporary);
    if (!bytes) return refused(EACCES, bytes.failure().text);
    const sha256_t digest = sha256_of({reinterpret_cast<const char*>(bytes->data()), bytes->size()});
    if (digest != package.sha256)
        return refused(EILSEQ, "its SHA-256 is " + hex_of(digest.data(), digest.size()) + ", not the one listed");
    result_t<update_t> update = read_update(bytes->data(), bytes->size(), package_trust_);
    if (!update) return refused(EILSEQ, update.failure().text);
    if (update->signature.status != signature_status_t::signed_package)
        return refused(EKEYREJECTED, std::string("its signature: ") + status_name(update->signature.status));
    const bool has_kind = package.kind == kind_t::ventaro ? update->ventaro.has_value() : update->ruvo.has_value();
    if (!has_kind || update->version_string != package.version)
        return refused(EILSEQ, "it holds " + printable(update->version_string) +
                                   (has_kind ? "" : " for another device") + ", not " + kind_word(package.kind) + " " +
                                   package.version + " as listed");
    if (::rename(temporary.c_str(), final_path.c_str()) != 0) return refused(EACCES, std::strerror(errno));
    return downloaded_t{final_path, std::move(*update)};
}

std::string default_cache_folder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    // Relative values are to be ignored, as if unset.
    if (cache && cache[0] == '/') return std::string(cache) + "/ventaro-update";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.cache/ventaro-update";
    return {};
}

}  // namespace zal::updater
