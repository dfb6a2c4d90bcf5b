// SPDX-License-Identifier: MIT
// Start-up to a window with its text, the application against a minimal Qt
// Widgets window started the same way: each program is started in turn, and
// the time runs from just before the start to its first paint with text.
// Prints the medians in milliseconds and their ratio.
//
//   startup_bench APP_WINDOW MINIMAL_WINDOW PACKAGE [RUNS]
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
    if (argc < 4) {
        std::fprintf(stderr, "usage: startup_bench APP_WINDOW MINIMAL_WINDOW PACKAGE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 21;
    std::vector<double> app, minimal;
    // One warm-up each, so that both start from a warm page cache.
    for (int i = -1; i < runs; ++i) {
        const double a = time_to_window({argv[1], argv[3]});
        const double m = time_to_window({argv[2]});
        if (a < 0 || m < 0) {
            std::fprintf(stderr, "startup_bench: a window did not report its first paint\n");
            return 1;
        }
        if (i < 0) continue;
        app.push_back(a);
        minimal.push_back(m);
    }
    const double a = median(app), m = median(minimal);
    std::printf("{\"app_ms\": %.1f, \"minimal_ms\": %.1f, \"ratio\": %.2f, \"runs\": %d}\n", a, m, a / m, runs);
    return 0;
}
