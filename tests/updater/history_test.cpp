// SPDX-License-Identifier: MIT
// The update history: what a run leaves in it, and that it stays whole when
// the program is killed, when two programs record at once, when its file is
// damaged or its folder cannot be written.

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>

#include "tests/updater/engine_fixture.hpp"
#include "updater/history.hpp"
#include "updater/package_verdict.hpp"
#include "updater/run_recorder.hpp"
#include "updater/support_report.hpp"

extern char** environ;

namespace zal::testing {
namespace {

namespace fs = std::filesystem;
using updater::history_t;
using updater::run_record_t;

// A folder of its own for each test.
class scratch_t {
public:
    scratch_t() {
        char name[] = "/tmp/history-test-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~scratch_t() {
        std::error_code code;
        fs::remove_all(path_, code);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

run_record_t start_of(const std::string& version = "2.1.0", const std::string& kind = "ventaro") {
    run_record_t r;
    r.program = "cli";
    r.started_ms = 1796000000000;
    r.kind = kind;
    r.product = "Ventaro";
    r.version = version;
    r.release_date = "2026-12-01";
    r.signature = "signed";
    return r;
}

run_record_t ended(run_record_t r, const std::string& outcome = "success") {
    r.ended_ms = r.started_ms + 1000;
    r.outcome = outcome;
    return r;
}

std::string integrity(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    std::string result = "no answer";
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

void execute(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

// A program run to its end: its exit status and what it wrote.
struct ran_t {
    int status = -1;
    std::string out;
};

pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment, int out_fd) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env_strings = environment;
    for (char** e = environ; *e; ++e) env_strings.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out_fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

ran_t run_cli(const std::vector<std::string>& arguments, const std::string& state_home,
              const std::string& locale = "C") {
    std::vector<std::string> all = {ZAL_CLI_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return {};
    const pid_t pid = spawn(all, {"XDG_STATE_HOME=" + state_home, "LC_ALL=" + locale}, pipe_fds[1]);
    ::close(pipe_fds[1]);
    ran_t ran;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) ran.out.append(buffer, std::size_t(n));
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ran;
}

// --- the database itself

TEST(History, ARunIsRecordedAtItsStartAndCompletedAtItsEnd) {
    scratch_t dir;
    history_t history(dir / "state/ventaro-update/history.sqlite");
    EXPECT_TRUE(history.runs({})->empty());  // reading creates nothing
    EXPECT_FALSE(fs::exists(dir / "state"));

    const int64_t id = history.begin(start_of());
    ASSERT_NE(id, 0);
    EXPECT_EQ(history.runs({})->at(0).outcome, "running");  // its process is this one

    run_record_t now = start_of();
    now.usb_port = "1-1.4";
    now.phase = "programming-main-firmware";
    now.roundtrips = 12;
    history.update(id, now, "[1-1.4 Ventaro] first line\n");
    history.update(id, ended(now, "failure"), "[1-1.4 Ventaro] second line\n");
    const std::optional<run_record_t> run = *history.run(id);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->outcome, "failure");
    EXPECT_EQ(run->usb_port, "1-1.4");
    EXPECT_EQ(run->roundtrips, 12);
    EXPECT_EQ(run->log, "[1-1.4 Ventaro] first line\n[1-1.4 Ventaro] second line\n");
    EXPECT_EQ(run->duration_ms(), 1000);
    EXPECT_EQ(fs::status(history.path()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST(History, KeepsTheLastThousandRuns) {
    scratch_t dir;
    history_t history(dir / "history.sqlite");
    int64_t first = 0, last = 0;
    for (int i = 0; i < history_t::kept_runs + 5; ++i) {
        last = history.begin(start_of());
        if (i == 0) first = last;
    }
    const auto runs = *history.runs({.kind = std::nullopt, .limit = 5000});
    ASSERT_EQ(runs.size(), std::size_t(history_t::kept_runs));
    EXPECT_EQ(runs.front().id, last);
    EXPECT_EQ(runs.back().id, first + 5);
    EXPECT_FALSE(*history.run(first));
}

TEST(History, ReadsNewestFirstAndByKind) {
    scratch_t dir;
    history_t history(dir / "history.sqlite");
    for (const char* kind : {"ventaro", "ruvo", "ventaro"}) history.begin(start_of("2.1.0", kind));
    const auto ventaros = *history.runs({.kind = kind_t::ventaro, .limit = 10});
    ASSERT_EQ(ventaros.size(), 2u);
    EXPECT_GT(ventaros[0].id, ventaros[1].id);
    EXPECT_EQ(history.runs({.kind = std::nullopt, .limit = 1})->size(), 1u);
}

// A file that is not ours, or no longer a database, is kept beside a new one.
TEST(History, ADamagedOrForeignFileIsSetAsideWithItsDate) {
    for (const bool foreign : {false, true}) {
        scratch_t dir;
        const std::string path = dir / "history.sqlite";
        if (foreign) {
            execute(path, "CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('mine');");
        } else {
            std::ofstream(path) << std::string(8192, 'x');
        }
        std::vector<std::string> said;
        history_t history(path, [&said](const std::string& line) { said.push_back(line); });
        EXPECT_NE(history.begin(start_of()), 0);
        EXPECT_NE(history.begin(start_of()), 0);
        ASSERT_EQ(said.size(), 1u);
        EXPECT_NE(said[0].find("was set aside as history.sqlite.damaged-"), std::string::npos) << said[0];
        int aside = 0;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (entry.path().filename().string().starts_with("history.sqlite.damaged-20")) ++aside;
        EXPECT_EQ(aside, 1);
        EXPECT_EQ(history.runs({})->size(), 2u);
        EXPECT_EQ(integrity(path), "ok");
    }
}

// The first schema's database, as the first build wrote it, read by this one.
TEST(History, ADatabaseOfTheFirstSchemaIsBroughtUpToDate) {
    scratch_t dir;
    const std::string path = dir / "history.sqlite";
    std::ifstream schema(ZAL_TESTS_DIR "/updater/history-schema-1.sql");
    const std::string sql((std::istreambuf_iterator<char>(schema)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(sql.empty());
    execute(path, sql.c_str());

    history_t history(path);
    const auto runs = *history.runs({});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].version, "2.1.0");
    EXPECT_EQ(runs[1].outcome, "interrupted");  // no end, and a boot long gone
    const auto installed = *history.last_installed(kind_t::ventaro);
    ASSERT_TRUE(installed);
    EXPECT_EQ(installed->version, "2.1.0");
    EXPECT_NE(history.begin(start_of()), 0);

    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &statement, nullptr);
    sqlite3_step(statement);
    EXPECT_EQ(sqlite3_column_int(statement, 0), 3);
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

// A later version's database is not ours to change: nothing is recorded in it.
TEST(History, ADatabaseOfALaterSchemaIsLeftAsItIs) {
    scratch_t dir;
    const std::string path = dir / "history.sqlite";
    execute(path, "PRAGMA application_id = 1450464624; PRAGMA user_version = 99; CREATE TABLE runs (id INTEGER);");
    std::vector<std::string> said;
    history_t history(path, [&said](const std::string& line) { said.push_back(line); });
    EXPECT_EQ(history.begin(start_of()), 0);
    history.update(0, ended(start_of()), "line\n");
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("later version"), std::string::npos);
    EXPECT_FALSE(fs::exists(path + ".damaged"));
}

// A history that cannot be trusted or read is never taken for an empty one:
// reading fails and says why, `history` fails, and the administrator's
// refusal of older firmware refuses rather than lets the package through.
TEST(History, AHistoryThatCannotBeReadFailsClosed) {
    struct case_t {
        const char* what;
        std::function<void(const fs::path& folder)> make;
        const char* why;
        bool written_anew = false;  // recording sets a damaged file aside and starts a new one
    };
    const std::vector<case_t> cases = {
        {"a later version's", [](const fs::path& f) { execute(f / "history.sqlite", "PRAGMA user_version = 99;"); },
         "later version"},
        {"damaged", [](const fs::path& f) { std::ofstream(f / "history.sqlite") << std::string(8192, 'x'); },
         "not a database", true},
        {"a symbolic link",
         [](const fs::path& f) {
             std::ofstream(f / "elsewhere") << "someone else's";
             fs::permissions(f / "elsewhere", fs::perms::owner_read);
             fs::create_symlink(f / "elsewhere", f / "history.sqlite");
         },
         "symbolic link"},
        {"in a folder others can write",
         [](const fs::path& f) {
             history_t(f / "history.sqlite").begin(start_of());
             fs::permissions(f, fs::perms::all);
         },
         "can be written by others"},
        {"with no place (HOME unset, XDG_STATE_HOME relative)", {}, "no place"},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.what);
        scratch_t dir;
        const fs::path folder = dir / "state/ventaro-update";
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all);
        if (c.make) c.make(folder);
        history_t history(c.make ? (folder / "history.sqlite").string() : std::string());
        const auto runs = history.runs({});
        ASSERT_FALSE(runs);
        EXPECT_NE(runs.failure().text.find(c.why), std::string::npos) << runs.failure().text;
        update_t package;
        package.version_string = "1.0.0";
        package.ventaro.emplace();
        package.signature.status = signature_status_t::signed_package;
        EXPECT_EQ(updater::package_verdict(package, {{}, true, true}, false, &history).decision,
                  updater::decision_t::ask);
        EXPECT_EQ(updater::package_verdict(package, {{}, true, false}, false, &history).decision,
                  updater::decision_t::install);
        if (!c.make) continue;
        EXPECT_EQ(run_cli({"history"}, dir / "state").status, 1);
        EXPECT_NE(run_cli({"history", "--json"}, dir / "state").out.find("\"error\""), std::string::npos);
        EXPECT_EQ(history.begin(start_of()) != 0, c.written_anew);
    }
    scratch_t dir;  // the link's target kept its mode and its bytes
    fs::create_directories(dir / "f");
    cases[2].make(dir / "f");
    history_t(dir / "f/history.sqlite").begin(start_of());
    EXPECT_EQ(fs::status(dir / "f/elsewhere").permissions(), fs::perms::owner_read);
    std::ifstream target(dir / "f/elsewhere");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(target), {}), "someone else's");
}

// A home that cannot be written (here, where a file stands in for the folder)
// never stops a run: recording is said once to be impossible, then skipped.
TEST(History, AFolderThatCannotBeWrittenIsSaidOnce) {
    scratch_t dir;
    std::ofstream(dir / "state") << "a file, not a folder";
    std::vector<std::string> said;
    history_t history(dir / "state/ventaro-update/history.sqlite",
                      [&said](const std::string& line) { said.push_back(line); });
    EXPECT_EQ(history.begin(start_of()), 0);
    EXPECT_EQ(history.begin(start_of()), 0);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("The update goes on."), std::string::npos) << said[0];
}

// One of the writers of the test below, in a process of its own.
int write_runs(const char* path) {
    history_t history(path, [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    for (int i = 0; i < 150; ++i) {
        const int64_t id = history.begin(start_of());
        if (id == 0) return 1;
        history.update(id, start_of(), "a line\n");
        history.update(id, ended(start_of()), "the last line\n");
    }
    return 0;
}

TEST(History, TwoProcessesRecordingAtOnceLoseNothing) {
    scratch_t dir;
    const std::string path = dir / "history.sqlite";
    std::vector<pid_t> writers;
    for (int i = 0; i < 2; ++i) writers.push_back(spawn({"/proc/self/exe"}, {"ZAL_HISTORY_WRITER=" + path}, -1));
    for (const pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    history_t history(path);
    const auto runs = *history.runs({.kind = std::nullopt, .limit = 1000});
    ASSERT_EQ(runs.size(), 300u);
    for (const run_record_t& summary : runs) {
        const auto run = *history.run(summary.id);
        ASSERT_TRUE(run);
        EXPECT_EQ(run->outcome, "success");
        EXPECT_EQ(run->log, "a line\nthe last line\n");
    }
    EXPECT_EQ(integrity(path), "ok");
}

// Killed at a random roundtrip of each run (and once while it waits for the
// device), the command-line tool leaves its run "interrupted", every earlier
// run as it was, and a whole database.
TEST(History, SurvivesAKillAtAnyPhaseOfARun) {
    scratch_t dir;
    const std::string state = dir / "state";
    const std::string path = state + "/ventaro-update/history.sqlite";
    const std::vector<std::string> run_args = {"update",     "--json",  "--record",
                                               "--simulate", "ventaro", ZAL_SAMPLE_PACKAGE};
    ASSERT_EQ(run_cli(run_args, state).status, 0);

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::vector<run_record_t> before = *history_t(path).runs({});
    for (int attempt = 0; attempt < 5; ++attempt) {
        // Progress events come per percent; 0: before the device is found.
        const int kill_after = attempt == 0 ? 0 : int(random() % 99) + 1;
        SCOPED_TRACE("killed after " + std::to_string(kill_after) + " progress events");
        std::vector<std::string> all = {ZAL_CLI_PATH};
        all.insert(all.end(), run_args.begin(), run_args.end());
        int pipe_fds[2];
        ASSERT_EQ(::pipe(pipe_fds), 0);
        const pid_t pid = spawn(all, {"XDG_STATE_HOME=" + state, "LC_ALL=C"}, pipe_fds[1]);
        ::close(pipe_fds[1]);
        std::string out;
        int progress = 0;
        char c = 0;
        bool announced = false;
        while (::read(pipe_fds[0], &c, 1) == 1) {
            out += c;
            if (c != '\n') continue;
            if (out.find("\"event\":\"announce\"") != std::string::npos) announced = true;
            if (out.find("\"event\":\"progress\"") != std::string::npos) ++progress;
            out.clear();
            if (announced && progress >= kill_after) break;
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        ::close(pipe_fds[0]);

        history_t history(path);
        const auto runs = *history.runs({});
        ASSERT_EQ(runs.size(), before.size() + 1);
        EXPECT_EQ(runs.front().outcome, "interrupted");
        EXPECT_FALSE(runs.front().ended_ms);
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(runs[i + 1].id, before[i].id);
            EXPECT_EQ(runs[i + 1].outcome, before[i].outcome);
            EXPECT_EQ(runs[i + 1].roundtrips, before[i].roundtrips);
        }
        EXPECT_EQ(integrity(path), "ok");
        before = runs;
    }
    // A run after the kills is recorded as any other.
    ASSERT_EQ(run_cli(run_args, state).status, 0);
    EXPECT_EQ(history_t(path).runs({})->front().outcome, "success");
}

// --- the command-line tool's views of it

TEST(HistoryCommand, ListsShowsALogAndSaysWhatIsWrong) {
    scratch_t dir;
    const std::string state = dir / "state";
    EXPECT_EQ(run_cli({"history"}, state).out, "No update recorded on this computer yet.\n");
    EXPECT_EQ(run_cli({"history"}, state, "fr_FR.UTF-8").out,
              "Aucune mise à jour n’a encore été enregistrée sur cet ordinateur.\n");
    ASSERT_EQ(run_cli({"update", "--record", "--simulate", "ruvo", ZAL_SAMPLE_PACKAGE}, state).status, 0);
    ASSERT_EQ(run_cli({"update", "--record", "--simulate", "ventaro", "--fault", "unplug-at-roundtrip:30",
                       ZAL_SAMPLE_PACKAGE},
                      state)
                  .status,
              1);
    // Not asked: a simulated run is not the devices' history.
    ASSERT_EQ(run_cli({"update", "--simulate", "ventaro", ZAL_SAMPLE_PACKAGE}, state).status, 0);

    const ran_t listed = run_cli({"history"}, state);
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.out.find("ventaro  1-1        2.1.0      failure (disconnected)"), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("ruvo     1-1        2.1.0      success"), std::string::npos) << listed.out;

    const auto json = nlohmann::json::parse(run_cli({"history", "--json", "--kind", "ventaro"}, state).out);
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0]["outcome"], "failure");
    EXPECT_EQ(json[0]["failure"], "disconnected");
    EXPECT_EQ(json[0]["found"], "running");
    EXPECT_EQ(json[0]["phase"], "programming-stage2");
    EXPECT_EQ(json[0]["port"], "1-1");
    EXPECT_EQ(json[0]["roundtrips"], 30);
    EXPECT_EQ(json[0]["package_sha256"].get<std::string>().size(), 64u);

    const ran_t log = run_cli({"history", "--log", std::to_string(json[0]["id"].get<int>())}, state);
    EXPECT_NE(log.out.find("[1-1 Ventaro] Sent bootloader request."), std::string::npos) << log.out;
    EXPECT_NE(log.out.find("[1-1 Ventaro] Error on roundtrip #30"), std::string::npos) << log.out;

    EXPECT_EQ(run_cli({"history", "--log", "999"}, state).status, 1);

    // What came from a device never reaches the terminal as a control sequence.
    history_t history(state + "/ventaro-update/history.sqlite");
    const int64_t id = history.begin(start_of("2.1.0\x1b[2J"));
    history.update(id, ended(start_of()), "[1-1 Ventaro] \x1b]0;title\x07 said the device\n");
    EXPECT_EQ(run_cli({"history", "--log", std::to_string(id)}, state).out,
              "[1-1 Ventaro] \\x1b]0;title\\x07 said the device\n");
    EXPECT_EQ(run_cli({"history"}, state).out.find('\x1b'), std::string::npos);
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{{"history", "--limit", "0"},
                                                                                       {"history", "--limit", "x"},
                                                                                       {"history", "--kind", "piano"},
                                                                                       {"history", "--log"},
                                                                                       {"history", "--bogus"},
                                                                                       {"report", "--bogus"}})
        EXPECT_EQ(run_cli(wrong, state).status, 2) << wrong.back();
}

// --- going back to older firmware

TEST(OlderFirmware, ByVersionThenByReleaseDate) {
    EXPECT_LT(updater::compare_versions("2.0.9", "2.1.0"), 0);
    EXPECT_LT(updater::compare_versions("2.1.0b3", "2.1.0"), 0);  // a beta comes before its release
    EXPECT_LT(updater::compare_versions("2.1.0b3", "2.1.0b4"), 0);
    EXPECT_GT(updater::compare_versions("10.0.0", "9.9.9"), 0);
    EXPECT_EQ(updater::compare_versions("2.1.0", "2.1.0"), 0);

    scratch_t dir;
    history_t history(dir / "history.sqlite");
    run_record_t installed = start_of("2.1.0", "ventaro");
    installed.release_date = "2026-12-01";
    history.update(history.begin(installed), ended(installed), "");
    history.update(history.begin(start_of("3.0.0", "ventaro")), ended(start_of("3.0.0", "ventaro"), "failure"), "");

    auto package = [](const char* version, date_t date, bool ruvo_only = false) {
        update_t u;
        u.version_string = version;
        u.release_date = date;
        if (ruvo_only)
            u.ruvo.emplace();
        else
            u.ventaro.emplace();
        return u;
    };
    const auto older = *updater::newer_firmware_installed(history, package("2.0.0", {2027, 1, 1}));
    ASSERT_TRUE(older);  // a failed run installed nothing: 2.1.0 is the firmware
    EXPECT_EQ(older->installed.version, "2.1.0");
    EXPECT_EQ(older->kind, kind_t::ventaro);
    EXPECT_TRUE(*updater::newer_firmware_installed(history, package("2.1.0", {2026, 11, 30})));
    EXPECT_FALSE(*updater::newer_firmware_installed(history, package("2.1.0", {2026, 12, 1})));
    EXPECT_FALSE(*updater::newer_firmware_installed(history, package("2.2.0", {2026, 1, 1})));
    EXPECT_FALSE(*updater::newer_firmware_installed(history, package("1.0.0", {2026, 1, 1}, true)));  // a Ruvo's
    EXPECT_FALSE(*updater::newer_firmware_installed(history, package("1.0.0", {2026, 1, 1}), kind_t::ruvo));
}

TEST(OlderFirmware, TheToolSaysItAndItsJsonCarriesIt) {
    scratch_t dir;
    const std::string state = dir / "state";
    history_t history(state + "/ventaro-update/history.sqlite");
    run_record_t installed = start_of("9.0.0", "ventaro");
    history.update(history.begin(installed), ended(installed), "");

    const ran_t ran = run_cli({"update", "--json", "--record", "--simulate", "ventaro", ZAL_SAMPLE_PACKAGE}, state);
    EXPECT_EQ(ran.status, 0);  // told, not refused
    const std::string first_line = ran.out.substr(0, ran.out.find('\n'));
    const auto event = nlohmann::json::parse(first_line);
    EXPECT_EQ(event["event"], "older-firmware");
    EXPECT_EQ(event["installed_version"], "9.0.0");
    EXPECT_EQ(event["refused"], false);
    const std::string day = updater::local_date(*ended(installed).ended_ms);
    EXPECT_EQ(event["text"], "This package is older than the firmware installed on " + day + " (9.0.0).");
    // That run installed 2.1.0; 9.0.0 comes again after it.
    history.update(history.begin(installed), ended(installed), "");
    const ran_t french =
        run_cli({"update", "--json", "--simulate", "ventaro", "--record", ZAL_SAMPLE_PACKAGE}, state, "fr_FR.UTF-8");
    EXPECT_EQ(nlohmann::json::parse(french.out.substr(0, french.out.find('\n')))["text"],
              "Ce paquet est plus ancien que le firmware installé le " + day + " (9.0.0).");
}

// --- a recorded run of the engine

class RecordedRunTest : public EngineTest {
protected:
    updater::callbacks_t callbacks() override { return recorder.recording(events.callbacks()); }

    scratch_t dir;
    history_t history{dir / "history.sqlite"};
    updater::run_recorder_t recorder{history, "application"};
};

TEST_F(RecordedRunTest, HoldsTheDeviceThePackageAndTheRunsLog) {
    const update_t u = make_package({.ventaro_stage2 = true, .main_size = 6000, .stage2_size = 3000});
    make_device(devices::simulation_t::options_for(u, kind_t::ventaro)).plug();
    recorder.begin(u, kind_t::any, {});
    ASSERT_TRUE(engine().start(kind_t::any, u));
    ASSERT_TRUE(run_to_end());
    ASSERT_EQ(events.ends.at(0).end, end_t::success);

    const auto runs = *history.runs({});
    ASSERT_EQ(runs.size(), 1u);
    const auto run = *history.run(runs[0].id);
    EXPECT_EQ(run->program, "application");
    EXPECT_EQ(run->kind, "ventaro");
    EXPECT_EQ(run->found, "running");
    EXPECT_EQ(run->usb_port, "1-1");
    EXPECT_EQ(run->outcome, "success");
    EXPECT_EQ(run->phase, "programming-main-firmware");
    EXPECT_EQ(run->package_sha256, u.package_sha256);
    EXPECT_EQ(run->signature, "unsigned");
    const std::size_t written =
        updater::hid::make_programming_sequence(make_update_plan(u.ventaro->stage2.value())).size() +
        updater::hid::make_programming_sequence(make_update_plan(u.ventaro->main)).size();
    EXPECT_EQ(run->roundtrips, int64_t(written));
    EXPECT_NE(run->log.find("[1-1 Ventaro] Sent bootloader request.\n"), std::string::npos) << run->log;
    EXPECT_NE(run->log.find("[1-1 Ventaro] Will execute"), std::string::npos) << run->log;
}

TEST_F(RecordedRunTest, AFailureKeepsItsKindAndWhereItEnded) {
    const update_t u = make_package({.main_size = 6000});
    auto o = devices::simulation_t::options_for(u, kind_t::ventaro);
    o.start_in_bootloader = true;
    o.faults = {{devices::fault_t::type_t::no_answer, 3}};  // the first erase
    make_device(o).plug();
    recorder.begin(u, kind_t::ventaro, {});
    ASSERT_TRUE(engine().start(kind_t::ventaro, u));
    ASSERT_TRUE(run_to_end());
    const auto run = *history.run(history.runs({})->at(0).id);
    EXPECT_EQ(run->outcome, "failure");
    EXPECT_EQ(run->failure, "silent");
    EXPECT_EQ(run->found, "bootloader");
    EXPECT_EQ(run->roundtrips, 3);
    EXPECT_EQ(run->message, "No HID packet received after timeout.");
}

// --- the support report

TEST_F(RecordedRunTest, TheSupportReportHasItsSectionsAndNeitherTheUserNorTheHome) {
    const std::string home = dir / "home/musician";
    fs::create_directories(home);
    const char* old_home = std::getenv("HOME");
    const std::string saved_home = old_home ? old_home : "";
    ::setenv("HOME", home.c_str(), 1);
    const std::string user = ::getenv("USER") ? ::getenv("USER") : "";

    run_record_t r = start_of();
    const int64_t id = history.begin(r);
    history.update(
        id, ended(r, "failure"),
        "Opened " + home + "/Downloads/ventaro.zalmirupdate from /media/" + user + "/stick\n" + "Also " + home + "\n");
    const update_t u = make_package({.main_size = 6000});
    make_device(devices::simulation_t::options_for(u, kind_t::ventaro)).plug();
    // As the programs do before a report: the layers that list the devices.
    ASSERT_TRUE(hid_io::backend().init());
    ASSERT_TRUE(midi::io::init("VentaroUpdate"));
    run_until([] { return false; }, 200);
    const std::string report = updater::support_report(history, {.program = "ventaro-update-cli 1.0.0",
                                                                 .qt_version = "6.4.2",
                                                                 .inhibitors = {"logind: available"},
                                                                 .trusted_key_ids = {"BBAECAFDD4ED831B"}});
    ::setenv("HOME", saved_home.c_str(), 1);

    for (const char* section : {"System\n------", "Devices\n-------", "Session\n-------", "Trusted keys\n",
                                "Update history (1 runs, newest first; the last 1 with their logs)"})
        EXPECT_NE(report.find(section), std::string::npos) << section << "\n" << report;
    for (const char* fact :
         {"os-release: ", "Kernel: Linux", "Qt: 6.4.2", "hidapi: ", "ALSA library: ", "USB port 1-1: Ventaro, running",
          "udev rule: ", "ALSA sequencer clients:", "Inhibitor: logind: available", "key BBAECAFDD4ED831B", "Run "})
        EXPECT_NE(report.find(fact), std::string::npos) << fact << "\n" << report;
    EXPECT_NE(report.find("Opened ~/Downloads/ventaro.zalmirupdate"), std::string::npos) << report;
    EXPECT_EQ(report.find(home), std::string::npos);
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_TRUE(entry);
    const std::string name = entry->pw_name;
    EXPECT_EQ(report.find("/" + name + "/"), std::string::npos) << report;
}

// The last runs with their logs, each cut to its end, the others a line each:
// however large the logs, the report stays under a megabyte.
TEST_F(RecordedRunTest, TheSupportReportIsBounded) {
    const std::string line(1023, 'x');
    std::string log;
    while (log.size() < history_t::max_log_bytes) log += line + "\n";
    for (int i = 0; i < 30; ++i) history.update(history.begin(start_of()), ended(start_of(), "failure"), log);
    ASSERT_TRUE(hid_io::backend().init());
    ASSERT_TRUE(midi::io::init("VentaroUpdate"));
    const std::string report = updater::support_report(history, {});
    EXPECT_LT(report.size(), 1000000u);
    EXPECT_NE(report.find("Update history (30 runs, newest first; the last 20 with their logs)"), std::string::npos);
    std::size_t cut = 0;
    for (std::size_t at = report.find("bytes of this log are left out"); at != std::string::npos;
         at = report.find("bytes of this log are left out", at + 1))
        ++cut;
    EXPECT_EQ(cut, 20u);
}

// Only whole components of absolute paths: a user named as a word of the
// report (an outcome, a distribution) leaves the report's words alone.
TEST(SupportReport, TheUserAndHomeAreReplacedAsPathComponentsOnly) {
    const struct {
        const char *text, *home, *user, *expected;
    } cases[] = {
        {"/home/al/x and /media/al/stick, not also or al.", "/home/al", "al",
         "~/x and /media/USER/stick, not also or al."},
        {"ID=debian PRETTY_NAME=\"Debian GNU/debian\"", "/home/debian", "debian",
         "ID=debian PRETTY_NAME=\"Debian GNU/debian\""},
        {"Run 3: success (\"/run/user/success\")", "", "success", "Run 3: success (\"/run/user/USER\")"},
        {"/tmp/al-files /home/al2/x", "/home/al", "al", "/tmp/al-files /home/al2/x"},
        {"/ stays", "/", "", "/ stays"},
    };
    for (const auto& c : cases) EXPECT_EQ(updater::without_user(c.text, c.home, c.user), c.expected) << c.text;
}

// Without a MIDI sequencer (no snd-seq, or a container), the tool says what
// is missing and what to do, and --json still prints JSON.
TEST(Unreachable, ListSaysWhyWithoutASequencer) {
    if (::access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has a MIDI sequencer";
    scratch_t dir;
    const ran_t ran = run_cli({"list", "--json"}, dir / "state");
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(nlohmann::json::parse(ran.out)["error"], "midi-unavailable");
}

}  // namespace
}  // namespace zal::testing

int main(int argc, char** argv) {
    if (const char* path = std::getenv("ZAL_HISTORY_WRITER")) return zal::testing::write_runs(path);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
