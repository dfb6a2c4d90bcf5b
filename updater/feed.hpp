// SPDX-License-Identifier: MIT
#pragma once

// The maker's list of firmware, `feed.json` beside `feed.json.minisig`: what
// newer firmware exists, fetched over HTTPS (or from a file:// mirror) and
// believed only when a trusted feed key signed it, it is not older than the
// last one believed, and it has not expired. A feed key can only point at
// packages: each one still needs a trusted package key's signature.
//
// Everything here blocks and may run on any thread; nothing is shared
// between two checkers but the history database.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.hpp"
#include "update/signature.hpp"
#include "update/update.hpp"
#include "updater/history.hpp"
#include "updater/sentences.hpp"

namespace zal::updater {

inline constexpr std::size_t max_feed_signature_bytes = 4u << 10;
inline constexpr std::size_t max_feed_bytes = 64u << 10;
inline constexpr const char* feed_name = "feed.json";
inline constexpr const char* feed_signature_name = "feed.json.minisig";

// One package the feed lists.
struct feed_package_t {
    kind_t kind = kind_t::ventaro;
    std::string version;       // "2.3.0", "2.4.0b1"
    std::string release_date;  // "2026-12-01"
    std::string url;           // as listed: https://, file://, or relative to the feed
    uint64_t size = 0;         // ≤ max_package_size
    sha256_t sha256{};
    std::map<std::string, std::string> notes;  // the notes' first lines, by language ("en", "fr")
};

struct feed_t {
    int64_t serial = 0;   // grows with every publication
    int64_t issued = 0;   // Unix seconds
    int64_t expires = 0;  // Unix seconds
    std::vector<feed_package_t> packages;
    std::map<kind_t, std::string> lowest_safe;  // per kind, the lowest version still safe to run
};

// A feed's text, strictly: JSON as the maker's tool writes it (the format is
// in docs/programs.md). Untrusted: checked before its signature is.
result_t<feed_t> parse_feed(std::string_view text);
// The text parse_feed reads back, for the maker's tool.
std::string feed_text(const feed_t& feed);

// The feed keys of this computer: *.pub in `<root>/usr/share/ventaro-update/feed-keys/`
// and `<root>/etc/ventaro-update/feed-keys/`, apart from the package keys.
std::vector<public_key_t> load_feed_keys(const std::string& root, std::vector<std::string>& problems);

// What the settings file (`<root>/etc/ventaro-update/ventaro-update.conf`) says of the feed.
struct feed_settings_t {
    std::string url;                   // `feed-url=`, else the build's ZAL_FEED_URL; empty: no feed is configured
    bool check_automatically = false;  // `check-automatically=true`
};
feed_settings_t load_feed_settings(const std::string& root);

// Why a feed is not believed although its transfer went well; nothing when it is.
// `last_serial`: the last one accepted; `now`: Unix seconds.
std::optional<sentence_t> feed_refusal(const feed_t& feed, std::optional<int64_t> last_serial, int64_t now);

// How transfers go. Tests shorten the stall limit and name their own CA.
struct transfer_options_t {
    long connect_timeout_s = 20;
    long stall_seconds = 30;  // aborted when less than stall_bytes_per_s arrive for this long
    long stall_bytes_per_s = 1024;
    std::string ca_file;  // empty: the system's certificate store
};

// Told as a download goes, on the downloading thread: bytes so far, of `total`.
using download_progress_t = std::function<void(uint64_t received, uint64_t total)>;

// A newer package than this computer installed on its kind (history), and not
// below the feed's lowest safe version.
struct offer_t {
    feed_package_t package;
    std::string installed_version;  // empty when the history has none for the kind
    bool installed_unsafe = false;  // what was installed is below the lowest safe version
};

struct check_t {
    bool unchanged = false;  // the feed is the one accepted last time
    int64_t serial = 0;
    std::vector<offer_t> offers;        // the newest per kind, ventaro first
    std::optional<sentence_t> refusal;  // replayed, expired, issued in the future: no offers then
    uint64_t bytes_received = 0;        // everything the check fetched
};

// A package downloaded and checked: the file in the cache, and what it holds.
struct downloaded_t {
    std::string path;
    update_t update;
};

// Failures answer failure_t with one of these codes, and the transfer's or
// the check's own words (for the log); feed_failure_sentence() says them to
// the user:
//   EDESTADDRREQ     no feed is configured
//   EPROTONOSUPPORT  an http:// address, or a redirect to one
//   EHOSTUNREACH     the server could not be reached, or the transfer broke off
//   ENOENT           nothing at the address (404, 410, a file:// path that is not there)
//   ECONNREFUSED     the server's certificate does not verify
//   ETIMEDOUT        the transfer stalled
//   EFBIG            more than its bound arrived
//   ENOKEY           the feed is signed, but not with a trusted feed key
//   EBADMSG          the feed changed after it was signed, or its signature is damaged
//   EINVAL           the feed is not a valid feed
//   EIO              the history cannot be read (a replay cannot be ruled out)
//   EILSEQ           the package is not the one listed (size, SHA-256, kind, version)
//   EKEYREJECTED     no trusted package key signed the package
//   EACCES           the cache folder cannot be used
//   ECANCELED        the user cancelled the download
class feed_checker_t {
public:
    // `history` keeps the last accepted serial and the server's ETag and
    // Last-Modified of the signature; `cache_folder` receives the downloads
    // (made 0700 when absent).
    feed_checker_t(std::string url, std::vector<public_key_t> feed_keys, trust_t package_trust, history_t& history,
                   std::string cache_folder, transfer_options_t options = {});

    // Fetches the signature (conditionally), then the feed if it changed, and
    // says what newer firmware it offers. `now`: Unix seconds.
    result_t<check_t> check(int64_t now);

    // Downloads a package an offer names into the cache, checks it and keeps
    // it; anything that fails is deleted. `cancel` is read as the bytes arrive.
    result_t<downloaded_t> download(const feed_package_t& package, const download_progress_t& progress,
                                    const std::atomic<bool>& cancel);

private:
    std::string url_;
    std::vector<public_key_t> feed_keys_;
    trust_t package_trust_;
    history_t& history_;
    std::string cache_folder_;
    transfer_options_t options_;
};

// $XDG_CACHE_HOME/ventaro-update, or ~/.cache/ventaro-update; empty when
// neither variable is set.
std::string default_cache_folder();

}  // namespace zal::updater
