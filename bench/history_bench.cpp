// SPDX-License-Identifier: MIT
// What recording a run in the update history costs: the same engine callbacks
// with and without the recorder, on a history already holding its 1000 runs
// (so that every new run also deletes the oldest), and the look-up made when a
// package is opened.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "updater/history.hpp"
#include "updater/package_verdict.hpp"
#include "updater/run_recorder.hpp"

namespace {

using namespace zal;

// A run as the engine reports it: nine phases, about sixty log lines.
constexpr int phases = 9;
constexpr int lines_per_phase = 7;

std::string scratch() {
    char name[] = "/tmp/history-bench-XXXXXX";
    return std::string(::mkdtemp(name)) + "/history.sqlite";
}

update_t package() {
    update_t u;
    u.product = "Ventaro";
    u.version_string = "2.1.0";
    u.release_date = {2026, 12, 1};
    u.package_sha256 = std::string(64, 'a');
    u.ventaro.emplace();
    return u;
}

void play_run(updater::callbacks_t& c) {
    updater::run_state_t state{.phase = updater::phase_t::waiting_for_device,
                               .found = device_state_t::running,
                               .device_kind = kind_t::ventaro,
                               .usb_port = "1-1.4",
                               .roundtrips = 0};
    for (int p = 1; p <= phases; ++p) {
        state.phase = updater::phase_t(p % 9);
        state.roundtrips += 200;
        for (int l = 0; l < lines_per_phase; ++l) c.log("[1-1.4 Ventaro] Sent bootloader request.");
        if (c.entered) c.entered(state);
    }
    updater::outcome_t outcome;
    outcome.kind = kind_t::ventaro;
    outcome.last = state;
    c.end(outcome);
}

updater::callbacks_t shown_callbacks() {
    return {.announce = [](const char*, const char*) {},
            .progress = [](float) {},
            .end =
                [](const updater::outcome_t& o) {
                    end_t end = o.end;
                    benchmark::DoNotOptimize(end);
                },
            .ask_kind = {},
            .device_phases = {},
            .entered = {},
            .log =
                [](const std::string& line) {
                    const char* text = line.data();
                    benchmark::DoNotOptimize(text);
                }};
}

void BM_RunCallbacks(benchmark::State& state) {
    const bool recorded = state.range(0) != 0;
    const std::string path = scratch();
    updater::history_t history(path);
    const update_t u = package();
    updater::run_recorder_t recorder(history, "bench");
    for (int i = 0; i < updater::history_t::kept_runs; ++i) {
        updater::callbacks_t c = recorder.recording(shown_callbacks());
        recorder.begin(u, kind_t::any, {});
        play_run(c);
    }
    updater::callbacks_t c = recorded ? recorder.recording(shown_callbacks()) : shown_callbacks();
    for (auto _ : state) {
        if (recorded) recorder.begin(u, kind_t::any, {});
        play_run(c);
    }
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
BENCHMARK(BM_RunCallbacks)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Opening a package: is it older than what this computer installed last?
void BM_OlderFirmwareLookup(benchmark::State& state) {
    const std::string path = scratch();
    {
        updater::history_t history(path);
        updater::run_recorder_t recorder(history, "bench");
        updater::callbacks_t c = recorder.recording(shown_callbacks());
        for (int i = 0; i < updater::history_t::kept_runs; ++i) {
            recorder.begin(package(), kind_t::any, {});
            play_run(c);
        }
    }
    const update_t u = package();
    for (auto _ : state) {
        // A history opened afresh each time, as a program does once.
        updater::history_t history(path);
        auto newer = updater::newer_firmware_installed(history, u);
        benchmark::DoNotOptimize(newer);
    }
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
BENCHMARK(BM_OlderFirmwareLookup)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
