// SPDX-License-Identifier: MIT
#pragma once

// The update history of this computer: one record per run, kept in an SQLite
// database, so that what happened to a device can still be told once the
// window or the terminal is gone. The devices cannot report their firmware
// version; the computer that wrote it is the only one that knows.
//
// Recording never stops an update: a database that cannot be written is said
// once on stderr and then left alone. Reading says why it could not read, so
// that a check that needs the history can refuse rather than pass.
//
// The file and its folder are the user's own: never reached through a
// symbolic link, never used when another user owns them or can write them.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.hpp"
#include "updater/kind.hpp"

struct sqlite3;

namespace zal::updater {

// One run as recorded. Words rather than numbers, as `history --json` and the
// support report write them.
struct run_record_t {
    int64_t id = 0;
    std::string program;     // "application" or "cli"
    int64_t started_ms = 0;  // Unix time
    std::optional<int64_t> ended_ms;
    std::string kind;      // "ventaro", "ruvo"; "any" until the device is found
    std::string usb_port;  // once known
    std::string found;     // state_word(): what the device was doing when the run found it
    std::string product;
    std::string version;
    std::string release_date;  // "2026-12-01"
    std::string package_sha256;
    std::string signature;  // status_name()
    std::string signer;
    // "success", "failure", "cancelled"; while not ended, "running" when its
    // process still runs and "interrupted" when it was killed or lost power.
    std::string outcome;
    std::string failure;  // failure_word() of a failure
    std::string message;  // the engine's words on a failure
    std::string phase;    // phase_word() of where the run ended
    int64_t roundtrips = 0;
    std::string log;  // the run's lines; only from run()

    std::optional<int64_t> duration_ms() const {
        return ended_ms ? std::optional<int64_t>(*ended_ms - started_ms) : std::nullopt;
    }
};

// The last firmware this computer installed on a kind of device.
struct installed_t {
    std::string version;
    std::string release_date;
    int64_t ended_ms = 0;
};

// The last feed accepted from an address: its serial, so that an older one
// is seen as a replay; its texts, so that an unchanged feed is checked again
// without fetching it; the server's validators of its signature.
struct feed_record_t {
    std::string url;
    int64_t serial = 0;
    std::string etag;
    std::string last_modified;
    std::string feed;
    std::string signature;
};

class history_t {
public:
    // The runs kept; older ones go as new ones come.
    static constexpr int kept_runs = 1000;
    // A run's log is cut there: the engine's lines are a few kilobytes.
    static constexpr std::size_t max_log_bytes = 1u << 20;

    // Nothing is opened before it is needed: a program that records no run
    // pays nothing at start-up. `say` gets the one line said about a database
    // that cannot be used (stderr when empty).
    explicit history_t(std::string path, std::function<void(const std::string&)> say = {});
    ~history_t();
    history_t(const history_t&) = delete;
    history_t& operator=(const history_t&) = delete;

    const std::string& path() const { return path_; }

    // --- recording, one transaction each; any thread
    // Records a run's start (its id and times are set here); 0 when it cannot be recorded.
    int64_t begin(const run_record_t& start);
    // Brings run `id` up to `now` (every field but the package's and the log)
    // and appends `more_log` to its log.
    void update(int64_t id, const run_record_t& now, std::string_view more_log);

    // --- reading; no database yet reads as empty, one that cannot be read
    // (its folder, its owner, its version, its contents) as a failure
    struct query_t {
        std::optional<kind_t> kind;
        int limit = 20;
    };
    // Newest first, without their logs.
    result_t<std::vector<run_record_t>> runs(const query_t& query);
    // One run, with its log.
    result_t<std::optional<run_record_t>> run(int64_t id);
    // The latest successful update of a kind of device.
    result_t<std::optional<installed_t>> last_installed(kind_t kind);
    // The last feed accepted from `url`.
    result_t<std::optional<feed_record_t>> feed_record(const std::string& url);
    // Keeps `record` as the last feed accepted from its address.
    void record_feed(const feed_record_t& record);

private:
    bool open(bool create);
    void close();
    void set_aside(const char* why);
    void say_once(const std::string& line);
    template <typename Work>
    void recording(Work work);
    template <typename Work>
    auto reading(Work work) -> result_t<decltype(work())>;

    const std::string path_;
    const std::function<void(const std::string&)> say_;
    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    bool unusable_ = false;  // recording stopped for this process
    bool said_ = false;
};

// $XDG_STATE_HOME/ventaro-update/history.sqlite, or under ~/.local/state;
// empty when neither variable is set.
std::string default_history_path();

// Now, as a Unix time in milliseconds: the times records keep.
int64_t now_ms();

// A Unix time in milliseconds as local time, strftime's way: "%Y-%m-%d" for
// "2026-12-01".
std::string local_time(int64_t unix_ms, const char* format);

// 1-2-3 "1.2.3", with "-beta4" when there is a beta: versions compare in this
// order, then their release dates.
int compare_versions(std::string_view a, std::string_view b);

}  // namespace zal::updater
