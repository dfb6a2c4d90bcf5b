// SPDX-License-Identifier: MIT
// Several devices connected at once: the device flashed is the device asked
// for, followed across its reboots by its USB port, or, where the host tells no
// port, never confused with a bootloader that was there before it rebooted.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/updater/engine_fixture.hpp"
#include "updater/updater.hpp"

using namespace zal;
using namespace zal::testing;
using devices::device_mode_t;
using updater::phase_t;

namespace {

class SeveralDevices : public EngineTest {
protected:
    // Runs one update to its end; true when it succeeded.
    bool update(kind_t kind, const update_t& contents, const std::string& usb_port = {}) {
        events.clear();
        if (!engine().start(kind, contents, usb_port)) return false;
        if (!run_to_end()) return false;
        settle(1000);
        return events.ends[0].end == end_t::success;
    }

    const update_t package = make_package({.ruvo = true, .ruvo_stage2 = true});
};

// A flash that starts nothing: its device stays in its bootloader, as one left
// there by an earlier failed update.
const std::vector<uint8_t> erased(devices::flash_size, 0xFF);

}  // namespace

// A first-generation bootloader is both products' first identity. Beside a
// running device of the asked kind it may be another device: it is left alone,
// and the running one is updated, whether the host tells ports or not.
TEST_F(SeveralDevices, AFirstGenerationBootloaderBesideTheAskedDeviceIsLeftAlone) {
    for (const bool ports : {true, false}) {
        SCOPED_TRACE(ports ? "with port paths" : "without port paths");
        remove_devices();
        auto port = [&](const char* path) { return ports ? std::optional<std::string>(path) : std::string(); };
        auto& ruvo =
            add_device({.kind = kind_t::ruvo, .stage2_images = devices::stage2_images_of(package)}, port("1-1"));
        auto& ventaro = add_device({.kind = kind_t::ventaro,
                                    .first_generation_bootloader = true,
                                    .start_in_bootloader = true,
                                    .flash = erased},
                                   port("1-2"));
        ventaro.plug();
        ruvo.plug();
        const std::vector<uint8_t> ruvo_before = ruvo.flash(), ventaro_before = ventaro.flash();

        ASSERT_TRUE(update(kind_t::ruvo, package)) << (events.ends.empty() ? "no end" : events.ends[0].message);
        EXPECT_EQ(events.ends[0].kind, kind_t::ruvo);
        EXPECT_EQ(ventaro.roundtrips(), 0u) << "nothing was written to the other device";
        EXPECT_EQ(ventaro.flash(), ventaro_before);
        EXPECT_EQ(ventaro.mode(), device_mode_t::bootloader);
        EXPECT_TRUE(same_flash(ruvo.flash(), flash_after(ruvo_before, *package.ruvo)));
        EXPECT_NE(log().find("A first-generation bootloader is connected too; it may be another device and is left "
                             "alone.\n"),
                  std::string::npos);
    }
}

// The application's flow: one device, then the offer to update its counterpart.
TEST_F(SeveralDevices, AVentaroThenItsRuvoEachGetItsOwnFirmware) {
    auto& ventaro = add_device({.kind = kind_t::ventaro, .stage2_images = devices::stage2_images_of(package)});
    auto& ruvo = add_device({.kind = kind_t::ruvo, .stage2_images = devices::stage2_images_of(package)});
    ventaro.plug();
    ruvo.plug();
    const std::vector<uint8_t> ventaro_before = ventaro.flash(), ruvo_before = ruvo.flash();

    ASSERT_TRUE(update(kind_t::ventaro, package));
    EXPECT_EQ(ruvo.roundtrips(), 0u);
    ASSERT_TRUE(update(kind_t::ruvo, package));
    EXPECT_TRUE(same_flash(ventaro.flash(), flash_after(ventaro_before, *package.ventaro)));
    EXPECT_TRUE(same_flash(ruvo.flash(), flash_after(ruvo_before, *package.ruvo)));
    EXPECT_EQ(ventaro.mode(), device_mode_t::normal);
    EXPECT_EQ(ruvo.mode(), device_mode_t::normal);
}

// Two devices of one kind: the port chooses; without it exactly one is updated.
// The second Ventaro keeps running its normal firmware all along, a MIDI device
// of the kind the engine waits for while the first runs its stage-2 firmware.
TEST_F(SeveralDevices, TwoVentarosThePortChooses) {
    auto& first = add_device({.kind = kind_t::ventaro, .stage2_images = devices::stage2_images_of(package)});
    auto& second = add_device({.kind = kind_t::ventaro, .stage2_images = devices::stage2_images_of(package)});
    first.plug();
    second.plug();
    const std::vector<uint8_t> first_before = first.flash(), second_before = second.flash();

    ASSERT_TRUE(update(kind_t::ventaro, package, "1-2"));
    EXPECT_EQ(first.roundtrips(), 0u);
    EXPECT_EQ(first.stage2_status_requests(), 0);
    EXPECT_TRUE(same_flash(second.flash(), flash_after(second_before, *package.ventaro)));
    EXPECT_NE(log().find("Found the rebooted device as HID on USB port 1-2.\n"), std::string::npos);

    const uint64_t second_roundtrips = second.roundtrips();
    ASSERT_TRUE(update(kind_t::ventaro, package));
    EXPECT_TRUE(same_flash(first.flash(), flash_after(first_before, *package.ventaro))) << "the first one listed";
    EXPECT_EQ(second.roundtrips(), second_roundtrips) << "exactly one device per run";

    // A port with no device of ours: the run waits, touching nothing.
    events.clear();
    ASSERT_TRUE(engine().start(kind_t::ventaro, package, "3-9"));
    settle(12000);
    EXPECT_TRUE(events.ends.empty());
    EXPECT_EQ(events.titles, (std::vector<std::string>{"Connect your Ventaro"}));
    EXPECT_NE(log().find("[3-9] No Ventaro or Ruvo on USB port 3-9; connected: 1-1 (Ventaro), 1-2 (Ventaro).\n"),
              std::string::npos);
    // After a minute without news, what the user can do, as in the other waits.
    settle(50000);
    EXPECT_EQ(events.titles.size(), 2u);
    engine().cancel();
}

// Where the host tells no port, the rebooted device's bootloader is told from
// one that was already connected by being new.
TEST_F(SeveralDevices, WithoutPortsTheBootloaderThatWasThereIsNotTheRebootedOne) {
    auto& waiting = add_device(
        {.kind = kind_t::ruvo, .first_generation_bootloader = true, .start_in_bootloader = true, .flash = erased},
        std::string());
    auto& ventaro =
        add_device({.kind = kind_t::ventaro, .stage2_images = devices::stage2_images_of(package)}, std::string());
    waiting.plug();
    ventaro.plug();
    const std::vector<uint8_t> before = ventaro.flash(), waiting_before = waiting.flash();
    ASSERT_TRUE(update(kind_t::ventaro, package));
    EXPECT_TRUE(same_flash(ventaro.flash(), flash_after(before, *package.ventaro)));
    EXPECT_EQ(waiting.roundtrips(), 0u);
    EXPECT_EQ(waiting.flash(), waiting_before);
    EXPECT_NE(log().find("Found the rebooted device as HID.\n"), std::string::npos);
}

namespace {

// One engine per device, as `update --all` runs them, each recording its own
// events and when it stops acting on its device.
struct device_run_t {
    engine_events_t events;
    std::vector<bool> device_phases;
    std::unique_ptr<updater::engine_t> engine;

    explicit device_run_t(std::function<void(bool)> on_phases = {}) {
        updater::callbacks_t callbacks = events.callbacks();
        callbacks.device_phases = [this, on_phases = std::move(on_phases)](bool active) {
            device_phases.push_back(active);
            if (on_phases) on_phases(active);
        };
        engine = std::make_unique<updater::engine_t>(std::move(callbacks));
    }
    bool ended() const { return !events.ends.empty(); }
};

}  // namespace

// Three devices updated at once, one of them unplugged midway: the other two
// finish with exact flashes, each run names its device in its log lines, and
// the failed one says why.
TEST_F(SeveralDevices, ThreeAtOnceOneFailingMidway) {
    auto& ventaro = add_device({.kind = kind_t::ventaro, .stage2_images = devices::stage2_images_of(package)});
    auto& ruvo = add_device({.kind = kind_t::ruvo, .stage2_images = devices::stage2_images_of(package)});
    auto& unplugged = add_device({.kind = kind_t::ventaro,
                                  .faults = {{devices::fault_t::type_t::unplug_at_roundtrip, 300}},
                                  .stage2_images = devices::stage2_images_of(package)});
    for (auto* d : {&ventaro, &ruvo, &unplugged}) d->plug();
    const std::vector<uint8_t> ventaro_before = ventaro.flash(), ruvo_before = ruvo.flash();

    std::vector<std::unique_ptr<device_run_t>> runs;
    for (const auto& [kind, port] :
         {std::pair{kind_t::ventaro, "1-1"}, {kind_t::ruvo, "1-2"}, {kind_t::ventaro, "1-3"}}) {
        runs.push_back(std::make_unique<device_run_t>());
        ASSERT_TRUE(runs.back()->engine->start(kind, package, port));
    }
    ASSERT_TRUE(
        run_until([&] { return std::all_of(runs.begin(), runs.end(), [](auto& r) { return r->ended(); }); }, 240000));
    settle(1000);

    EXPECT_EQ(runs[0]->events.ends[0].end, end_t::success) << runs[0]->events.ends[0].message;
    EXPECT_EQ(runs[1]->events.ends[0].end, end_t::success) << runs[1]->events.ends[0].message;
    EXPECT_TRUE(same_flash(ventaro.flash(), flash_after(ventaro_before, *package.ventaro)));
    EXPECT_TRUE(same_flash(ruvo.flash(), flash_after(ruvo_before, *package.ruvo)));
    EXPECT_EQ(ventaro.mode(), device_mode_t::normal);
    EXPECT_EQ(ruvo.mode(), device_mode_t::normal);

    const updater::outcome_t& failed = runs[2]->events.ends[0];
    EXPECT_EQ(failed.end, end_t::failure);
    EXPECT_EQ(failed.failure, failure_kind_t::disconnected);
    EXPECT_EQ(failed.usb_port, "1-3");
    EXPECT_EQ(runs[0]->events.ends[0].usb_port, "1-1");

    const std::string lines = log();
    for (const char* line : {"[1-1 Ventaro] Sent bootloader request.\n", "[1-2 Ruvo] Sent bootloader request.\n",
                             "[1-3 Ventaro] Error on roundtrip #"})
        EXPECT_NE(lines.find(line), std::string::npos) << line;
    EXPECT_EQ(lines.find("Waiting for the previous programming to stop."), std::string::npos)
        << "each device has its own lock";
    for (auto& run : runs) EXPECT_EQ(run->device_phases, (std::vector<bool>{true, false}));
}

// An engine's writing has stopped when its own worker has: another engine
// still programming its device does not keep it holding off suspend.
TEST_F(SeveralDevices, AnEngineStopsHoldingOffWhenItsOwnWritingStops) {
    auto& quick = add_device(
        {.kind = kind_t::ventaro, .start_in_bootloader = true, .stage2_images = devices::stage2_images_of(package)});
    // Its answers take long enough that the other device is written meanwhile.
    auto& slow = add_device({.kind = kind_t::ruvo,
                             .start_in_bootloader = true,
                             .faults = {{devices::fault_t::type_t::slow_erase, 3500}},
                             .stage2_images = devices::stage2_images_of(package),
                             .answer_ms = 10});
    quick.plug();
    slow.plug();
    device_run_t slow_run;
    phase_t slow_phase_when_released = phase_t::idle;
    device_run_t quick_run([&](bool active) {
        if (!active) slow_phase_when_released = slow_run.engine->phase();
    });
    ASSERT_TRUE(slow_run.engine->start(kind_t::ruvo, package, "1-2"));
    ASSERT_TRUE(quick_run.engine->start(kind_t::ventaro, package, "1-1"));
    ASSERT_TRUE(run_until([&] { return quick_run.ended() && slow_run.ended(); }, 240000));
    EXPECT_EQ(quick_run.events.ends[0].end, end_t::success);
    EXPECT_EQ(slow_run.events.ends[0].end, end_t::success);
    EXPECT_EQ(quick_run.device_phases, (std::vector<bool>{true, false}));
    EXPECT_TRUE(slow_phase_when_released == phase_t::programming_stage2 ||
                slow_phase_when_released == phase_t::programming_main_firmware)
        << "the other device was still being written, in phase " << int(slow_phase_when_released);
}

// On the real clock: a device held mid-write would hold a virtual clock still.
class SeveralDevicesOnTheRealClock : public EngineTest {
protected:
    SeveralDevicesOnTheRealClock() : EngineTest(false) {}
};

// Any number of devices are written at once, as `update --all` runs them: six
// hold their writers mid-image at the same moment, each writer a thread named
// after its port, and all finish once let go.
TEST_F(SeveralDevicesOnTheRealClock, SixDevicesAreWrittenAtOnce) {
    const update_t package = make_package({.ventaro_stage2 = false});
    std::vector<devices::simulated_device_t*> six;
    std::vector<std::unique_ptr<device_run_t>> runs;
    for (int i = 1; i <= 6; ++i) {
        six.push_back(&add_device({.kind = kind_t::ventaro, .start_in_bootloader = true}));
        six.back()->pause_at_roundtrip(30);
        six.back()->plug();
        runs.push_back(std::make_unique<device_run_t>());
        ASSERT_TRUE(runs.back()->engine->start(kind_t::ventaro, package, "1-" + std::to_string(i)));
    }
    const auto paused = [&] { return std::count_if(six.begin(), six.end(), [](auto* d) { return d->paused(); }); };
    EXPECT_TRUE(run_until([&] { return paused() == 6; })) << paused() << " of 6 were being written";
    std::string names;  // a line each
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        names.append(std::istreambuf_iterator<char>(comm), {});
    }
    for (int i = 1; i <= 6; ++i) EXPECT_NE(names.find("write 1-" + std::to_string(i) + "\n"), std::string::npos) << i;
    for (auto* d : six) d->resume();

    ASSERT_TRUE(run_until([&] { return std::all_of(runs.begin(), runs.end(), [](auto& r) { return r->ended(); }); }));
    for (auto& run : runs) EXPECT_EQ(run->events.ends[0].end, end_t::success) << run->events.ends[0].message;
}
