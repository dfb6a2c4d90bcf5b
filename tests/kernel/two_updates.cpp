// SPDX-License-Identifier: MIT
// two-updates PACKAGE: two whole updates of a Ventaro in one process, on the
// system's hidapi and ALSA sequencer, as the application runs a device and then
// its counterpart. Between them the device re-enumerates under the client and
// port numbers it had, which the process has used before. Exit status 0 when
// both succeed.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/async/main_queue.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"
#include "updater/hid.hpp"
#include "updater/updater.hpp"

int main(int argc, char** argv) {
    using namespace zal;
    if (argc != 2) {
        std::fputs("usage: two-updates PACKAGE\n", stderr);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const update_t update = make_update(bytes.data(), bytes.size());
    main_queue::attach_current_thread(false);
    midi::io::set_service(&midi::io::alsa_service());
    std::optional<end_t> end;
    std::string message;
    updater::engine_t engine(
        {.announce = [](const char* title, const char*) { std::printf("%s\n", title); },
         .progress = [](float) {},
         .end =
             [&](const updater::outcome_t& outcome) {
                 end = outcome.end;
                 message = outcome.message;
             },
         .ask_kind = [](const std::function<void(std::optional<kind_t>)>& answer) { answer(kind_t::ventaro); },
         .device_phases = {},
         .entered = {},
         .log = {}});

    for (int run = 1; run <= 2; ++run) {
        end.reset();
        if (!engine.start(kind_t::ventaro, update)) return 1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
        main_queue::run_until([&] { return end || std::chrono::steady_clock::now() > deadline; });
        const bool success = end == end_t::success;
        if (!end) message = "no end within 3 minutes";  // its own limit, before the test's
        std::printf("run %d: %s%s%s\n", run, success ? "success" : "failure", message.empty() ? "" : ": ",
                    message.c_str());
        if (!success) {
            engine.shut_down();
            return 1;
        }
        // A run ends once the device is written, while it still leaves its
        // bootloader: the next one starts as the application's does, after the
        // success alert, once the device runs its firmware (a bootloader caught
        // on its way out cannot be opened).
        for (int i = 0; i < 100 && !updater::hid::matching_devices(kind_t::any).empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    engine.shut_down();
    return 0;
}
