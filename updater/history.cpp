// SPDX-License-Identifier: MIT
#include "updater/history.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include "common/text/printable.hpp"

namespace zal::updater {

namespace {

namespace fs = std::filesystem;

// "VtUp": a database of another program at our path is not ours to change.
constexpr int32_t application_id = 0x56745570;

// Each step brings the schema from its index to the next version; a database
// of any earlier version is brought up to date when opened.
constexpr std::array migrations{
    // 1: the runs.
    "CREATE TABLE runs ("
    " id INTEGER PRIMARY KEY,"
    " program TEXT NOT NULL,"
    " pid INTEGER NOT NULL,"
    " boot_id TEXT NOT NULL,"
    " started_ms INTEGER NOT NULL,"
    " ended_ms INTEGER,"
    " kind TEXT NOT NULL,"
    " usb_port TEXT NOT NULL DEFAULT '',"
    " found TEXT NOT NULL DEFAULT '',"
    " product TEXT NOT NULL DEFAULT '',"
    " version TEXT NOT NULL DEFAULT '',"
    " release_date TEXT NOT NULL DEFAULT '',"
    " package_sha256 TEXT NOT NULL DEFAULT '',"
    " signature TEXT NOT NULL DEFAULT '',"
    " signer TEXT NOT NULL DEFAULT '',"
    " outcome TEXT,"  // NULL until the run ends
    " failure TEXT NOT NULL DEFAULT '',"
    " message TEXT NOT NULL DEFAULT '',"
    " phase TEXT NOT NULL DEFAULT '',"
    " roundtrips INTEGER NOT NULL DEFAULT 0,"
    " log TEXT NOT NULL DEFAULT '');",
    // 2: the latest success of a kind, looked up for every package opened.
    "CREATE INDEX runs_by_outcome ON runs (kind, outcome, id);",
    // 3: the last feed accepted from each address.
    "CREATE TABLE feeds ("
    " url TEXT PRIMARY KEY,"
    " serial INTEGER NOT NULL,"
    " etag TEXT NOT NULL DEFAULT '',"
    " last_modified TEXT NOT NULL DEFAULT '',"
    " feed TEXT NOT NULL,"
    " signature TEXT NOT NULL);",
};
constexpr int schema_version = int(migrations.size());

// Waiting this long for another process's transaction (the application and the
// command-line tool may record at once) before giving up on one.
constexpr int busy_timeout_ms = 5000;

// A run without an end was killed, or lost power, unless its process still runs.
const std::string& boot_id() {
    static const std::string id = [] {
        std::ifstream in("/proc/sys/kernel/random/boot_id");
        std::string line;
        std::getline(in, line);
        return line;
    }();
    return id;
}

bool still_running(int64_t pid, const std::string& of_boot) {
    if (of_boot != boot_id() || pid <= 0) return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// A statement and its bindings; throws sqlite_error_t on any failure.
struct sqlite_error_t {
    int code;
    std::string text;
};

class statement_t {
public:
    statement_t(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) fail();
    }
    ~statement_t() { sqlite3_finalize(statement_); }
    statement_t(const statement_t&) = delete;
    statement_t& operator=(const statement_t&) = delete;

    statement_t& bind(int index, int64_t value) {
        check(sqlite3_bind_int64(statement_, index, value));
        return *this;
    }
    statement_t& bind(int index, std::string_view text) {
        check(sqlite3_bind_text(statement_, index, text.data(), int(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    statement_t& bind_null(int index) {
        check(sqlite3_bind_null(statement_, index));
        return *this;
    }
    // True while a row is there.
    bool step() {
        const int result = sqlite3_step(statement_);
        if (result == SQLITE_ROW) return true;
        if (result != SQLITE_DONE) fail();
        return false;
    }
    int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
    bool null(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    std::string text(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        return bytes ? std::string(bytes, std::size_t(sqlite3_column_bytes(statement_, column))) : std::string();
    }

private:
    void check(int result) {
        if (result != SQLITE_OK) fail();
    }
    [[noreturn]] void fail() { throw sqlite_error_t{sqlite3_errcode(db_), sqlite3_errmsg(db_)}; }

    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

void execute(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        sqlite_error_t error{sqlite3_errcode(db), message ? message : sqlite3_errmsg(db)};
        sqlite3_free(message);
        throw error;
    }
}

int64_t pragma(sqlite3* db, const char* sql) {
    statement_t statement(db, sql);
    return statement.step() ? statement.integer(0) : 0;
}

// One write transaction: taken at once, so that two writers wait for each
// other instead of failing half-way.
template <typename Work>
void in_transaction(sqlite3* db, Work work) {
    execute(db, "BEGIN IMMEDIATE");
    try {
        work();
        execute(db, "COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

template <typename Work>
auto in_read_transaction(sqlite3* db, Work work) -> decltype(work()) {
    execute(db, "BEGIN");
    try {
        auto result = work();
        execute(db, "COMMIT");
        return result;
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

// Changing the journal mode answers "busy" at once, without the busy handler,
// while another process has the database open in the other mode.
void use_wal(sqlite3* db) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(busy_timeout_ms);
    for (;;) {
        const int result = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        if (result == SQLITE_OK) break;
        if ((result & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() > give_up)
            throw sqlite_error_t{sqlite3_errcode(db), sqlite3_errmsg(db)};
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    execute(db, "PRAGMA synchronous = NORMAL");
}

bool damaged(int code) { return (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB; }

std::string date_suffix() { return local_time(now_ms(), "%Y-%m-%dT%H-%M-%S"); }

const char* const record_columns =
    "id, program, pid, boot_id, started_ms, ended_ms, kind, usb_port, found, product, version, release_date, "
    "package_sha256, signature, signer, outcome, failure, message, phase, roundtrips";

run_record_t record_of(const statement_t& row) {
    run_record_t r;
    r.id = row.integer(0);
    r.program = row.text(1);
    const int64_t pid = row.integer(2);
    const std::string of_boot = row.text(3);
    r.started_ms = row.integer(4);
    if (!row.null(5)) r.ended_ms = row.integer(5);
    r.kind = row.text(6);
    r.usb_port = row.text(7);
    r.found = row.text(8);
    r.product = row.text(9);
    r.version = row.text(10);
    r.release_date = row.text(11);
    r.package_sha256 = row.text(12);
    r.signature = row.text(13);
    r.signer = row.text(14);
    r.outcome = !row.null(15) ? row.text(15) : still_running(pid, of_boot) ? "running" : "interrupted";
    r.failure = row.text(16);
    r.message = row.text(17);
    r.phase = row.text(18);
    r.roundtrips = row.integer(19);
    return r;
}

// The folders up to the history's, each made private (0700) where this
// program makes it.
void make_folders(const fs::path& folder) {
    struct stat status {};
    if (folder.empty() || ::stat(folder.c_str(), &status) == 0) return;
    if (folder.has_parent_path() && folder.parent_path() != folder) make_folders(folder.parent_path());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw sqlite_error_t{SQLITE_CANTOPEN, printable(folder.string()) + ": " + std::strerror(errno)};
}

// A history in a folder that another user can write could be replaced by
// theirs, or read by them: it is not used.
void check_private_folder(const fs::path& folder) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0)
        throw sqlite_error_t{SQLITE_CANTOPEN, printable(folder.string()) + ": " + std::strerror(errno)};
    if (status.st_uid != ::geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw sqlite_error_t{SQLITE_PERM, "its folder " + printable(folder.string()) +
                                              " belongs to another user or can be written by others"};
}

// The database file, checked and made private through its own descriptor
// before SQLite opens it: never through a symbolic link, never another
// user's. False when there is none and none is to be made.
bool check_private_file(const std::string& path, bool create) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd < 0) {
        if (errno == ENOENT && !create) return false;
        throw sqlite_error_t{SQLITE_CANTOPEN, errno == ELOOP ? "it is a symbolic link" : std::strerror(errno)};
    }
    struct stat status {};
    std::string problem;
    if (::fstat(fd, &status) != 0)
        problem = std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        problem = "it is not a regular file";
    else if (status.st_uid != ::geteuid())
        problem = "it belongs to another user";
    else if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        problem = "it can be written by others";
    else if ((status.st_mode & 077) != 0)
        ::fchmod(fd, status.st_mode & 0700);  // the logs name the devices and their ports
    ::close(fd);
    if (!problem.empty()) throw sqlite_error_t{SQLITE_PERM, problem};
    return true;
}

}  // namespace

history_t::history_t(std::string path, std::function<void(const std::string&)> say)
    : path_(std::move(path)), say_(std::move(say)) {}

history_t::~history_t() { sqlite3_close(db_); }

void history_t::say_once(const std::string& line) {
    if (said_) return;
    said_ = true;
    if (say_)
        say_(line);
    else
        write_line(stderr, line);
}

void history_t::close() {
    sqlite3_close(db_);
    db_ = nullptr;
}

// Opens the database and brings its schema up to date; false when there is
// none yet and `create` is false. Throws sqlite_error_t when it cannot be used.
bool history_t::open(bool create) {
    if (db_) return true;
    if (path_.empty())
        throw sqlite_error_t{SQLITE_CANTOPEN, "it has no place: neither XDG_STATE_HOME nor HOME is an absolute path"};
    const fs::path folder = fs::path(path_).parent_path();
    if (create) make_folders(folder);
    std::error_code absent;
    if (!create && !fs::exists(folder, absent) && !absent) return false;
    check_private_folder(folder);
    if (!check_private_file(path_, create)) return false;
    const int flags =
        SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        sqlite_error_t error{sqlite3_errcode(db_), sqlite3_errmsg(db_)};
        close();
        throw error;
    }
    sqlite3_busy_timeout(db_, busy_timeout_ms);
    try {
        // Read in one transaction: another process may be creating the schema.
        const bool ours = in_read_transaction(db_, [this] {
            const bool empty = pragma(db_, "SELECT count(*) FROM sqlite_schema") == 0;
            return empty || pragma(db_, "PRAGMA application_id") == application_id;
        });
        if (!ours) throw sqlite_error_t{SQLITE_NOTADB, "not an update history"};
        const int64_t version = pragma(db_, "PRAGMA user_version");
        if (version > schema_version)
            throw sqlite_error_t{SQLITE_CANTOPEN, "it was written by a later version of this program"};
        // WAL: readers never wait for the writer, and a killed writer leaves
        // the last committed transaction whole.
        use_wal(db_);
        if (version < schema_version)
            in_transaction(db_, [&] {
                // Another process may have migrated it meanwhile.
                for (int64_t v = pragma(db_, "PRAGMA user_version"); v < schema_version; ++v)
                    execute(db_, migrations[std::size_t(v)]);
                execute(db_, ("PRAGMA application_id = " + std::to_string(application_id)).c_str());
                execute(db_, ("PRAGMA user_version = " + std::to_string(schema_version)).c_str());
            });
    } catch (const sqlite_error_t&) {
        close();
        throw;
    }
    return true;
}

// A damaged file, or another program's, is kept beside a new one: renamed with
// the date, with its journal files, so that nothing is lost.
void history_t::set_aside(const char* why) {
    close();
    const std::string aside = path_ + "." + why + "-" + date_suffix();
    std::error_code code;
    fs::rename(path_, aside, code);
    if (code) throw sqlite_error_t{SQLITE_CANTOPEN, code.message()};
    for (const char* journal : {"-wal", "-shm"}) fs::rename(path_ + journal, aside + journal, code);
    say_once("The update history " + printable(path_) + " could not be read (" + why + "); it was set aside as " +
             printable(fs::path(aside).filename().string()) + " and a new one was started.");
}

// Runs `work`, a write, on an open database. A damaged database is set aside
// and the work done once more on a new one; any other failure (a full disk, a
// read-only home, a later version's database) ends recording for this
// process, said once: recording never stops an update.
template <typename Work>
void history_t::recording(Work work) {
    std::lock_guard lock(mutex_);
    if (unusable_) return;
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            open(true);
            work();
            return;
        } catch (const sqlite_error_t& e) {
            if (damaged(e.code) && attempt == 0) {
                try {
                    set_aside("damaged");
                    continue;
                } catch (const sqlite_error_t&) {
                }
            }
            unusable_ = true;
            close();
            say_once("Could not record this run in the update history " + printable(path_) + ": " + printable(e.text) +
                     ". The update goes on.");
            return;
        }
    }
}

// Runs `work`, a read: what it found, nothing when there is no history yet,
// or why the history cannot be read. Reading never sets a file aside.
template <typename Work>
auto history_t::reading(Work work) -> result_t<decltype(work())> {
    std::lock_guard lock(mutex_);
    try {
        if (!open(false)) return decltype(work()){};
        return work();
    } catch (const sqlite_error_t& e) {
        close();
        return failure_t{EIO, (path_.empty() ? "" : printable(path_) + ": ") + printable(e.text)};
    }
}

int64_t history_t::begin(const run_record_t& start) {
    int64_t id = 0;
    recording([&] {
        in_transaction(db_, [&] {
            // The oldest runs go in the same transaction as the new one comes.
            statement_t(db_, "DELETE FROM runs WHERE id <= (SELECT id FROM runs ORDER BY id DESC LIMIT 1 OFFSET ?)")
                .bind(1, int64_t(kept_runs - 1))
                .step();
            statement_t(db_,
                        "INSERT INTO runs (program, pid, boot_id, started_ms, kind, usb_port, found, product, "
                        "version, release_date, package_sha256, signature, signer, phase) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                .bind(1, start.program)
                .bind(2, int64_t(::getpid()))
                .bind(3, boot_id())
                .bind(4, start.started_ms ? start.started_ms : now_ms())
                .bind(5, start.kind)
                .bind(6, start.usb_port)
                .bind(7, start.found)
                .bind(8, start.product)
                .bind(9, start.version)
                .bind(10, start.release_date)
                .bind(11, start.package_sha256)
                .bind(12, start.signature)
                .bind(13, start.signer)
                .bind(14, start.phase)
                .step();
            id = sqlite3_last_insert_rowid(db_);
        });
    });
    return id;
}

void history_t::update(int64_t id, const run_record_t& now, std::string_view more_log) {
    if (id == 0) return;
    recording([&] {
        in_transaction(db_, [&] {
            statement_t statement(db_,
                                  "UPDATE runs SET ended_ms = ?, kind = ?, usb_port = ?, found = ?, outcome = ?, "
                                  "failure = ?, message = ?, phase = ?, roundtrips = ?, "
                                  "log = substr(log || ?, 1, ?) WHERE id = ?");
            if (now.ended_ms)
                statement.bind(1, *now.ended_ms);
            else
                statement.bind_null(1);
            statement.bind(2, now.kind).bind(3, now.usb_port).bind(4, now.found);
            if (now.ended_ms)
                statement.bind(5, now.outcome);
            else
                statement.bind_null(5);
            statement.bind(6, now.failure)
                .bind(7, now.message)
                .bind(8, now.phase)
                .bind(9, now.roundtrips)
                .bind(10, more_log)
                .bind(11, int64_t(max_log_bytes))
                .bind(12, id)
                .step();
        });
    });
}

result_t<std::vector<run_record_t>> history_t::runs(const query_t& query) {
    return reading([&] {
        std::vector<run_record_t> found;
        statement_t statement(db_, (std::string("SELECT ") + record_columns +
                                    " FROM runs WHERE (?1 = '' OR kind = ?1) ORDER BY id DESC LIMIT ?2")
                                       .c_str());
        statement.bind(1, query.kind ? kind_word(*query.kind) : "").bind(2, int64_t(std::max(query.limit, 0)));
        while (statement.step()) found.push_back(record_of(statement));
        return found;
    });
}

result_t<std::optional<run_record_t>> history_t::run(int64_t id) {
    return reading([&]() -> std::optional<run_record_t> {
        statement_t statement(db_, (std::string("SELECT ") + record_columns + ", log FROM runs WHERE id = ?").c_str());
        statement.bind(1, id);
        if (!statement.step()) return std::nullopt;
        run_record_t r = record_of(statement);
        r.log = statement.text(20);
        return r;
    });
}

result_t<std::optional<installed_t>> history_t::last_installed(kind_t kind) {
    return reading([&]() -> std::optional<installed_t> {
        statement_t statement(db_,
                              "SELECT version, release_date, ended_ms FROM runs "
                              "WHERE kind = ? AND outcome = 'success' ORDER BY id DESC LIMIT 1");
        statement.bind(1, kind_word(kind));
        if (!statement.step()) return std::nullopt;
        return installed_t{statement.text(0), statement.text(1), statement.integer(2)};
    });
}

result_t<std::optional<feed_record_t>> history_t::feed_record(const std::string& url) {
    return reading([&]() -> std::optional<feed_record_t> {
        statement_t statement(db_, "SELECT serial, etag, last_modified, feed, signature FROM feeds WHERE url = ?");
        statement.bind(1, url);
        if (!statement.step()) return std::nullopt;
        return feed_record_t{
            url, statement.integer(0), statement.text(1), statement.text(2), statement.text(3), statement.text(4)};
    });
}

void history_t::record_feed(const feed_record_t& record) {
    recording([&] {
        in_transaction(db_, [&] {
            statement_t(db_, "INSERT OR REPLACE INTO feeds VALUES (?, ?, ?, ?, ?, ?)")
                .bind(1, record.url)
                .bind(2, record.serial)
                .bind(3, record.etag)
                .bind(4, record.last_modified)
                .bind(5, record.feed)
                .bind(6, record.signature)
                .step();
        });
    });
}

std::string default_history_path() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // Relative values are to be ignored, as if unset.
    if (state && state[0] == '/') return std::string(state) + "/ventaro-update/history.sqlite";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.local/state/ventaro-update/history.sqlite";
    return {};
}

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string local_time(int64_t unix_ms, const char* format) {
    const std::time_t seconds = std::time_t(unix_ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    return std::strftime(text, sizeof text, format, &local) ? text : "";
}

int compare_versions(std::string_view a, std::string_view b) {
    auto parsed = [](std::string_view v) {
        int major = 0, minor = 0, patch = 0, beta = 0;
        const std::string text(v.substr(0, 64));
        std::sscanf(text.c_str(), "%d.%d.%db%d", &major, &minor, &patch, &beta);
        // A release comes after its betas.
        return std::tuple(major, minor, patch, beta == 0 ? 1 : 0, beta);
    };
    const auto pa = parsed(a), pb = parsed(b);
    return pa < pb ? -1 : pa > pb ? 1 : 0;
}

}  // namespace zal::updater
