// SPDX-License-Identifier: MIT
#pragma once

// Runs the engine against simulated devices on the virtual MIDI service; the
// main queue runs on the virtual clock or the real one, workers on real threads.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

#include "common/async/main_queue.hpp"
#include "common/midi_io/midi_io.hpp"
#include "common/midi_io/virtual/virtual_service.hpp"
#include "tests/updater/log_lines.hpp"
#include "devices/simulation.hpp"
#include "tests/updater/engine_events.hpp"
#include "tools/package_writer.hpp"
#include "update/update.hpp"
#include "update/update_plan.hpp"
#include "updater/hid.hpp"
#include "updater/updater.hpp"

namespace zal::testing {

// One per process: the MIDI and HID layers are set up once, by the first run.
inline devices::simulation_t& simulation() {
    static auto* world = new devices::simulation_t;
    return *world;
}

inline midi::io::virtual_service_t& midi_service() { return simulation().midi(); }
inline std::size_t hid_open_handles() { return simulation().hid().open_handles(); }

using tools::package_contents_t;

inline update_t make_package(const package_contents_t& contents) {
    const auto zip = tools::make_package_zip(contents);
    return make_update(zip.data(), zip.size());
}

// The roundtrip of an image's sequence that erases sector 0 (the sequence's
// length when none does): from there until sector 0 is written again, the
// device could not start.
inline std::size_t sector0_erase(const firmware_t& image) {
    const auto sequence = updater::hid::make_programming_sequence(make_update_plan(image));
    const auto erase =
        std::find_if(sequence.begin(), sequence.end(), [](const auto& r) { return r.leaves_sector0_erased; });
    return std::size_t(erase - sequence.begin());
}

// What a device's flash must hold after a complete run of this package.
// Whether two flash contents are equal, `length` bytes from the start (all of
// them by default); a failure names the first differing offset and its sector.
inline ::testing::AssertionResult same_flash(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected,
                                             std::size_t length = std::size_t(-1)) {
    const std::size_t compared = std::min({length, actual.size(), expected.size()});
    const auto [a, e] = std::mismatch(actual.begin(), actual.begin() + long(compared), expected.begin());
    if (a == actual.begin() + long(compared)) {
        if (length == std::size_t(-1) && actual.size() != expected.size())
            return ::testing::AssertionFailure()
                   << "the flash holds " << actual.size() << " bytes, not " << expected.size();
        return ::testing::AssertionSuccess();
    }
    const std::size_t offset = std::size_t(a - actual.begin());
    int sector = 0;
    const flash_map_t& map = flash_map_stm32f40x_41x;
    while (sector + 1 < map.size && map.sectors[sector + 1].base_address - map.base_address <= offset) ++sector;
    char detail[160];
    std::snprintf(detail, sizeof detail, "first difference at offset 0x%zX (sector %d): 0x%02X, expected 0x%02X",
                  offset, sector, unsigned(*a), unsigned(*e));
    return ::testing::AssertionFailure() << detail;
}

inline std::vector<uint8_t> flash_after(const std::vector<uint8_t>& before, const device_update_t& d) {
    std::vector<uint8_t> flash = d.stage2 ? devices::expected_flash(before, *d.stage2) : before;
    return devices::expected_flash(flash, d.main);
}

class EngineTest : public ::testing::Test {
protected:
    explicit EngineTest(bool virtual_clock = true) : virtual_clock_(virtual_clock) {}

    void SetUp() override {
        main_queue::attach_current_thread(virtual_clock_);
        simulation().install();
        engine_ = std::make_unique<updater::engine_t>(callbacks());
        stderr_captured_ = true;
        ::testing::internal::CaptureStderr();
    }

    void TearDown() override {
        engine_->cancel();
        remove_devices();
        settle(200);
        engine_.reset();
        log_ = ::testing::internal::GetCapturedStderr();
        if (HasFailure()) std::fprintf(stderr, "--- engine log ---\n%s", log_.c_str());
    }

    devices::simulated_device_t& make_device(devices::device_options_t options) {
        remove_devices();  // one device at a time, as before
        device = &simulation().add(std::move(options));
        return *device;
    }

    // Another device beside those there, on `usb_port` (by default the next
    // "1-N"; "" for a host that tells no port).
    devices::simulated_device_t& add_device(devices::device_options_t options,
                                            std::optional<std::string> usb_port = std::nullopt) {
        return simulation().add(std::move(options), {}, std::move(usb_port));
    }

    void remove_devices() {
        simulation().remove_all();
        device = nullptr;
    }

    // Lets time pass: the virtual clock in 1 ms steps, the real one in short sleeps,
    // giving the worker and the MIDI thread room to run.
    bool run_until(const std::function<bool()>& done, uint32_t limit_ms = 60000) {
        const auto begin = std::chrono::steady_clock::now();
        const auto wall_limit = begin + std::chrono::seconds(120);
        for (uint32_t t = 0; t < limit_ms && std::chrono::steady_clock::now() < wall_limit;) {
            midi_service().flush();
            if (virtual_clock_) {
                // While a worker programs a device, virtual time stands still, so
                // that programming takes no time whatever the machine's speed.
                if (main_queue::background_tasks() > 0 || hid_open_handles() > 0) {
                    main_queue::run_due();
                    if (done()) return true;
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                    continue;
                }
                main_queue::advance(1);
                ++t;
                if (main_queue::size() == 0 || t % 16 == 0) std::this_thread::yield();
            } else {
                main_queue::run_due();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                t = uint32_t(
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin)
                        .count());
            }
            if (done()) return true;
        }
        return done();
    }

    bool run_to_end(uint32_t limit_ms = 60000) {
        return run_until([this] { return !events.ends.empty(); }, limit_ms);
    }

    // Runs a while longer; for checking that nothing more happens.
    void settle(uint32_t ms = 3000) {
        run_until([] { return false; }, ms);
        // The worker closes its device through the main thread; let it finish.
        for (int i = 0; i < 2000 && hid_open_handles() != 0; ++i) {
            main_queue::run_due();
            if (virtual_clock_) main_queue::advance(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    std::string log() {
        if (stderr_captured_) {
            log_ += without_times(::testing::internal::GetCapturedStderr());
            ::testing::internal::CaptureStderr();
        }
        return log_;
    }

    updater::engine_t& engine() { return *engine_; }
    // What the engine made for each test is handed.
    virtual updater::callbacks_t callbacks() { return events.callbacks(); }

    engine_events_t events;  // declared before the engine, which calls into it
    devices::simulated_device_t* device = nullptr;

private:
    std::unique_ptr<updater::engine_t> engine_;
    bool virtual_clock_;
    bool stderr_captured_ = false;
    std::string log_;
};

}  // namespace zal::testing
