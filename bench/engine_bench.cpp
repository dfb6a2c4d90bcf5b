// SPDX-License-Identifier: MIT
// Host cost of programming: HID roundtrips per second into a simulated
// bootloader that answers at once, so that only our side is measured.
#include <benchmark/benchmark.h>

#include "common/async/main_queue.hpp"
#include "devices/simulation.hpp"
#include "tools/package_writer.hpp"
#include "update/update_plan.hpp"
#include "updater/hid.hpp"

namespace {

using namespace zal;

firmware_t full_size_image() {
    const std::string text = tools::make_ihex({{0x08000000, tools::make_synthetic_firmware(900 * 1024, 5)}});
    return load_firmware({text.data(), text.size()}, flash_map_stm32f40x_41x);
}

void BM_MakeProgrammingSequence(benchmark::State& state) {
    const firmware_t image = full_size_image();
    std::size_t roundtrips = 0;
    for (auto _ : state) {
        const auto sequence = updater::hid::make_programming_sequence(make_update_plan(image));
        roundtrips = sequence.size();
        benchmark::DoNotOptimize(sequence.data());
    }
    state.counters["roundtrips"] = double(roundtrips);
}
BENCHMARK(BM_MakeProgrammingSequence)->Unit(benchmark::kMillisecond);

void BM_HidRoundtrips(benchmark::State& state) {
    main_queue::attach_current_thread(false);  // the device is closed on this thread
    devices::simulation_t simulation;
    simulation.install();
    // Answers at once: only our side is measured.
    devices::simulated_device_t& device =
        simulation.add({.kind = kind_t::ventaro, .start_in_bootloader = true, .answer_ms = 0});
    device.plug();
    const auto found = updater::hid::first_matching_device(kind_t::ventaro);
    const firmware_t image = full_size_image();
    const auto sequence = updater::hid::make_programming_sequence(make_update_plan(image));
    // Without the final reboot the bootloader stays for the next iteration.
    const std::vector<updater::hid::roundtrip_t> without_reboot(sequence.begin(), sequence.end() - 1);
    std::FILE* saved = stderr;
    for (auto _ : state) {
        stderr = std::fopen("/dev/null", "w");  // the sequence logs its length
        updater::hid::run_sequence(without_reboot, found.path.c_str(), [](std::size_t, std::size_t) { return true; });
        std::fclose(stderr);
        stderr = saved;
    }
    const double per_iteration = double(without_reboot.size());
    state.counters["roundtrips_per_second"] =
        benchmark::Counter(per_iteration * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["us_per_roundtrip"] = benchmark::Counter(per_iteration * double(state.iterations()),
                                                            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["roundtrips"] = per_iteration;
}
BENCHMARK(BM_HidRoundtrips)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
