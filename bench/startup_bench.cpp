// SPDX-License-Identifier: MIT
// Start-up to a window with its text: the application against two yardsticks
// started the same way, a minimal Qt Widgets window and a window that only
// shows the package's release notes. Each program is started in turn, and the
// time runs from just before the start to its first paint with text. Prints
// the medians in milliseconds and their ratios.
//
//   startup_bench APP_WINDOW NOTES_WINDOW MINIMAL_WINDOW PACKAGE [RUNS]
// (under a display, or with QT_QPA_PLATFORM=offscreen)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

long long now_ns() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// Milliseconds from the start of `argv` to its report of a shown window; -1
// when it reported none or failed.
double time_to_window(std::vector<std::string> argv) {
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    const long long started = now_ns();
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string output;
    char buffer[256];
    for (ssize_t n; spawned == 0 && (n = read(out[0], buffer, sizeof buffer)) > 0;) output.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    const std::size_t at = output.find("shown ");
    if (at == std::string::npos) return -1;
    return double(std::atoll(output.c_str() + at + 6) - started) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: startup_bench APP_WINDOW NOTES_WINDOW MINIMAL_WINDOW PACKAGE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 21;
    const std::string package = argv[4];
    const std::vector<std::vector<std::string>> programs = {{argv[1], package}, {argv[2], package}, {argv[3]}};
    std::vector<std::vector<double>> times(programs.size());
    // One warm-up each, so that all start from a warm page cache.
    for (int i = -1; i < runs; ++i) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            const double t = time_to_window(programs[p]);
            if (t < 0) {
                std::fprintf(stderr, "startup_bench: %s did not report its first paint\n", programs[p][0].c_str());
                return 1;
            }
            if (i >= 0) times[p].push_back(t);
        }
    }
    const double app = median(times[0]), notes = median(times[1]), minimal = median(times[2]);
    std::printf(
        "{\"app_ms\": %.1f, \"notes_ms\": %.1f, \"minimal_ms\": %.1f, \"ratio\": %.2f, \"notes_ratio\": %.2f, "
        "\"app_vs_notes\": %.2f, \"runs\": %d}\n",
        app, notes, minimal, app / minimal, notes / minimal, app / notes, runs);
    return 0;
}
