// SPDX-License-Identifier: MIT
// The state machine on the virtual clock: every timer and hand-over, against
// simulated devices.
#include <gtest/gtest.h>

#include <thread>

#include "common/async/async.hpp"
#include "tests/updater/engine_fixture.hpp"
#include "update/update_plan.hpp"
#include "updater/hid.hpp"
#include "updater/midi.hpp"
#include "updater/updater.hpp"

using namespace zal;
using namespace zal::testing;
using devices::device_mode_t;
using devices::fault_t;

namespace {

class StateMachine : public EngineTest {};

std::vector<uint8_t> erased_flash() {
    std::vector<uint8_t> flash(devices::flash_size, 0xFF);
    return flash;
}

std::size_t occurrences(const std::string& text, const char* what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

::testing::AssertionResult same_below_bootloader(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    return same_flash(a, b, 0xE0000);
}

}  // namespace

TEST_F(StateMachine, CompleteRunFromNormalFirmwareWithStage2) {
    const update_t package = make_package({});
    make_device({.kind = kind_t::ventaro, .stage2_images = devices::stage2_images_of(package)}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    ASSERT_EQ(events.ends.size(), 1u);
    EXPECT_EQ(events.ends[0].end, end_t::success);
    EXPECT_EQ(events.ends[0].kind, kind_t::ventaro);
    EXPECT_EQ(events.titles, (std::vector<std::string>{
                                 "Connect your Ventaro", "Rebooting the Ventaro...", "Waiting for the Ventaro...",
                                 "Preparing to update internal components...", "Waiting for the Ventaro...",
                                 "Updating internal components...", "Waiting for the Ventaro...", "Updating..."}));
    // Progress: stage 2 up to 0.2, the stage-2 firmware's reports, then 0.8 to 1.0.
    ASSERT_FALSE(events.progress.empty());
    EXPECT_TRUE(std::is_sorted(events.progress.begin(), events.progress.end()));
    EXPECT_EQ(events.progress.back(), 1.0f);
    EXPECT_NE(std::find(events.progress.begin(), events.progress.end(), 0.2f), events.progress.end());
    EXPECT_NE(std::find(events.progress.begin(), events.progress.end(), 0.8f), events.progress.end());

    settle();
    EXPECT_EQ(device->mode(), device_mode_t::normal);
    EXPECT_EQ(device->application_starts(), 1);
    EXPECT_TRUE(same_below_bootloader(device->flash(), flash_after(erased_flash(), *package.ventaro)));
    EXPECT_EQ(events.ends.size(), 1u);
    const std::string lines = log();
    for (const char* line :
         {"[1-1 Ventaro] The device is on USB port 1-1.\n[1-1 Ventaro] Found a matching MIDI device (Ventaro).\n",
          "[1-1 Ventaro] Sent bootloader request.\n", "[1-1 Ventaro] Received bootloader request response.\n",
          "[1-1 Ventaro] Sent bootloader request confirmation: device rebooted.\n",
          "[1-1 Ventaro] Found the rebooted device as HID on USB port 1-1.\n"})
        EXPECT_NE(lines.find(line), std::string::npos) << line;
}

TEST_F(StateMachine, DeviceAlreadyInItsBootloaderSkipsTheHandshake) {
    const update_t package = make_package({.ventaro = false, .ventaro_stage2 = false, .ruvo = true});
    make_device({.kind = kind_t::ruvo, .start_in_bootloader = true}).plug();
    ASSERT_TRUE(engine().start(kind_t::ventaro, package));  // a receiver-only package runs for the receiver
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.titles, (std::vector<std::string>{"Connect your Ruvo receiver", "Updating..."}));
    EXPECT_EQ(events.ends[0].end, end_t::success);
    EXPECT_EQ(events.ends[0].kind, kind_t::ruvo);
    EXPECT_EQ(events.progress.front(), 0.0f);
    EXPECT_NE(log().find("Found a matching HID device (Ruvo).\n"), std::string::npos);
    EXPECT_EQ(log().find("Sent bootloader request"), std::string::npos);
    settle();
    EXPECT_TRUE(same_below_bootloader(device->flash(), devices::expected_flash(erased_flash(), package.ruvo->main)));
}

TEST_F(StateMachine, StartWhileLiveChangesNothing) {
    const update_t package = make_package({});
    ASSERT_TRUE(engine().start(kind_t::any, package));
    EXPECT_FALSE(engine().start(kind_t::ruvo, make_package({.ventaro = false, .ventaro_stage2 = false, .ruvo = true})));
    EXPECT_EQ(events.titles, std::vector<std::string>{"Connect your Ventaro"});
    // The live run still finds its device.
    make_device({.kind = kind_t::ventaro, .stage2_images = devices::stage2_images_of(package)}).plug();
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].end, end_t::success);
}

TEST_F(StateMachine, EffectiveKindFollowsThePackage) {
    const update_t both = make_package({.ruvo = true});
    ASSERT_TRUE(engine().start(kind_t::ruvo, both));
    engine().cancel();
    update_t none = both;
    none.ventaro.reset();
    none.ruvo.reset();
    ASSERT_TRUE(engine().start(kind_t::any, none));
    engine().cancel();
    EXPECT_EQ(events.titles,
              (std::vector<std::string>{"Connect your Ruvo receiver", "Connect your Ventaro or your Ruvo receiver"}));
    EXPECT_EQ(events.ends.size(), 2u);
}

TEST_F(StateMachine, PackageWithoutFirmwareRebootsTheDeviceThenFails) {
    update_t none = make_package({});
    none.ventaro.reset();
    make_device({.kind = kind_t::ventaro}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, none));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].end, end_t::failure);
    EXPECT_EQ(events.ends[0].message, "No firmware found.");
    EXPECT_EQ(events.titles.back(), "Waiting for the Ventaro...");
    EXPECT_EQ(device->mode(), device_mode_t::bootloader);
}

TEST_F(StateMachine, MainImageWithoutSectorsInItsMapIsNoFirmware) {
    update_t package = make_package({.ventaro_stage2 = false});
    package.ventaro->main.flash_map.size = 0;
    make_device({.kind = kind_t::ventaro, .start_in_bootloader = true}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].message, "No firmware found.");
}

TEST_F(StateMachine, EmptyStage2ImageGoesStraightToTheMainImage) {
    update_t package = make_package({});
    package.ventaro->stage2->sectors.clear();
    make_device({.kind = kind_t::ventaro, .start_in_bootloader = true}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.titles, (std::vector<std::string>{"Connect your Ventaro", "Updating..."}));
    EXPECT_EQ(events.progress.front(), 0.0f);
}

TEST_F(StateMachine, OutputThatRefusesSysexFailsBeforeAttaching) {
    make_device({.kind = kind_t::ventaro, .faults = {{fault_t::type_t::refuse_send}}}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, make_package({})));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].end, end_t::failure);
    EXPECT_EQ(events.ends[0].message, "Could not send a MIDI SysEx.");
    settle();
    EXPECT_EQ(events.ends.size(), 1u);
}

TEST_F(StateMachine, UndeterminedBootloaderAsksOnceAndUsesTheAnswer) {
    const update_t package = make_package({.ruvo = true});
    events.kind_answer = kind_t::ruvo;
    make_device({.kind = kind_t::ruvo, .first_generation_bootloader = true, .start_in_bootloader = true}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.kind_questions, 1);
    EXPECT_EQ(events.ends[0].end, end_t::success);
    EXPECT_EQ(events.ends[0].kind, kind_t::ruvo);
}

TEST_F(StateMachine, DecliningTheKindQuestionCancels) {
    make_device({.kind = kind_t::ventaro, .first_generation_bootloader = true, .start_in_bootloader = true}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, make_package({.ruvo = true})));
    ASSERT_EQ(events.ends.size(), 1u);  // inside start
    EXPECT_EQ(events.ends[0].end, end_t::cancelled);
    EXPECT_EQ(events.ends[0].message, "");
    EXPECT_FALSE(engine().running());
    settle(5000);
    EXPECT_EQ(events.kind_questions, 1);
}

TEST_F(StateMachine, FirstGenerationBootloaderAfterTheHandshakeIsTheDevicesKind) {
    const update_t package = make_package({.ruvo = true});
    make_device({.kind = kind_t::ventaro,
                 .first_generation_bootloader = true,
                 .stage2_images = devices::stage2_images_of(package)})
        .plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.kind_questions, 0);
    EXPECT_EQ(events.ends[0].end, end_t::success);
    EXPECT_EQ(events.ends[0].kind, kind_t::ventaro);
}

TEST_F(StateMachine, Stage2ErrorTextEndsTheRun) {
    const update_t package = make_package({});
    make_device({.kind = kind_t::ventaro,
                 .faults = {{fault_t::type_t::stage2_error, 0, "Voice board not found"}},
                 .stage2_images = devices::stage2_images_of(package)})
        .plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].end, end_t::failure);
    EXPECT_EQ(events.ends[0].message, "Voice board not found");
}

TEST_F(StateMachine, UnplugDuringTheHandshake) {
    make_device({.kind = kind_t::ventaro, .faults = {{fault_t::type_t::unplug_at_request}}}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, make_package({})));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].message, "Device disconnected.");
    EXPECT_EQ(log().find("Error:"), std::string::npos);  // the vanished input is not detached again
}

TEST_F(StateMachine, HidFailureEndsTheRunWithItsText) {
    make_device({.kind = kind_t::ventaro, .start_in_bootloader = true, .faults = {{fault_t::type_t::wrong_answer, 3}}})
        .plug();
    ASSERT_TRUE(engine().start(kind_t::any, make_package({.ventaro_stage2 = false})));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].message, "Wrong response in HID report.");
    EXPECT_EQ(events.progress.size(), 3u);  // the roundtrips before it
}

TEST_F(StateMachine, CancelDuringProgrammingReportsNothingMore) {
    make_device({.kind = kind_t::ventaro, .start_in_bootloader = true}).plug();
    device->pause_at_roundtrip(30);
    ASSERT_TRUE(engine().start(kind_t::any, make_package({.ventaro_stage2 = false})));
    ASSERT_TRUE(run_until([&] { return device->paused(); }));
    engine().cancel();
    device->resume();  // the exchange in progress completes; no further one is sent
    ASSERT_EQ(events.ends.size(), 1u);
    EXPECT_EQ(events.ends[0].end, end_t::cancelled);
    settle();
    EXPECT_LE(events.progress.size(), 30u);
    EXPECT_EQ(events.ends.size(), 1u);
    EXPECT_EQ(hid_open_handles(), 0u);
    EXPECT_NE(log().find("Cancelled at roundtrip #30.\n"), std::string::npos);
    EXPECT_EQ(device->roundtrips(), 31u);
    EXPECT_EQ(device->mode(), device_mode_t::bootloader);
}

// Sector 0 holds the vector table that starts the device, bootloader included:
// quitting (a cancel) while it is erased lets the worker write it again first.
TEST_F(StateMachine, QuittingWhileSectorZeroIsErasedStopsOnceItIsWrittenAgain) {
    const update_t package = make_package({.ventaro_stage2 = false});
    const std::size_t erase = sector0_erase(package.ventaro->main);
    ASSERT_LT(erase, updater::hid::make_programming_sequence(make_update_plan(package.ventaro->main)).size());
    const std::size_t rewritten =
        erase + 1 + (package.ventaro->main.sectors.at(0).size() + 63) / 64;  // write command, then its reports

    make_device({.kind = kind_t::ventaro, .start_in_bootloader = true}).plug();
    device->pause_at_roundtrip(erase);
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_until([&] { return device->paused(); }));
    // The device answers the erase only once the run is cancelled.
    std::thread eraser([&] {
        while (engine().phase() != updater::phase_t::idle) std::this_thread::yield();
        device->resume();
    });
    engine().shut_down();
    eraser.join();
    EXPECT_EQ(device->roundtrips(), rewritten + 1);
    EXPECT_EQ(hid_open_handles(), 0u);
    EXPECT_NE(log().find("Cancelled at roundtrip #" + std::to_string(rewritten) + ".\n"), std::string::npos);
    ASSERT_EQ(events.ends.size(), 1u);
    EXPECT_EQ(events.ends[0].end, end_t::cancelled);
    const std::size_t progress = events.progress.size();
    settle();
    EXPECT_EQ(events.progress.size(), progress);
    EXPECT_EQ(events.ends.size(), 1u);

    device->unplug();
    device->plug();
    EXPECT_EQ(device->mode(), device_mode_t::bootloader) << "the device must still start";
}

TEST_F(StateMachine, TimersOfEndedPhasesDoNothing) {
    // Phase 1 with nothing connected: HID every second, MIDI every five.
    ASSERT_TRUE(engine().start(kind_t::any, make_package({})));
    run_until([] { return false; }, 12000);
    EXPECT_EQ(occurrences(log(), "MIDI devices:"), 1u);  // the same inputs, looked at three times
    engine().cancel();
    const std::string before = log();
    run_until([] { return false; }, 20000);
    EXPECT_EQ(log(), before);
    EXPECT_EQ(events.ends.size(), 1u);
}

// A setup change looks at once and starts no timer of its own: however many
// come, the run goes on looking every five seconds.
TEST_F(StateMachine, SetupChangesWhileWaitingLeaveOneTimer) {
    ASSERT_TRUE(engine().start(kind_t::any, make_package({})));
    for (int i = 0; i < 20; ++i) midi_service().announce_setup_change();
    run_until([] { return false; }, 100);
    const std::string changed = log();
    EXPECT_EQ(occurrences(changed, "MIDI devices:"), 1u);  // the same inputs each time
    // A foreign input added every second makes each look log its list.
    for (int second = 0; second < 20; ++second) {
        const std::string name = "Synth " + std::to_string(second);
        midi_service().add_endpoint("Other", name, name, midi::io::service_t::is_source);
        run_until([] { return false; }, 1000);
    }
    EXPECT_EQ(occurrences(log().substr(changed.size()), "MIDI devices:"), 4u);
}

TEST_F(StateMachine, NoStatusRequestAfterTheFirstProgress) {
    const update_t package = make_package({});
    make_device({.kind = kind_t::ventaro,
                 .faults = {{fault_t::type_t::stage2_stall, 1}},
                 .stage2_images = devices::stage2_images_of(package)})
        .plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_until(
        [this] { return !events.titles.empty() && events.titles.back() == "Updating internal components..."; }));
    run_until([] { return false; }, 10000);
    EXPECT_EQ(device->stage2_status_requests(), 1);
    EXPECT_TRUE(events.ends.empty());  // no time-out: the phase waits
    EXPECT_EQ(events.progress.back(), 0.2f);
}

// No time limit while the device is waited for; but after a minute without
// news the user is told what to do, once, and the run goes on.
TEST_F(StateMachine, AMinuteWithoutNewsSaysWhatTheUserCanDo) {
    const std::string hint =
        "Still waiting. You can wait, or cancel, turn the device off and on again, and run the "
        "update again: it will finish the job.";
    const update_t package = make_package({});
    // A stage-2 firmware that stops reporting after its first report.
    make_device({.kind = kind_t::ventaro,
                 .faults = {{fault_t::type_t::stage2_stall, 1}},
                 .stage2_images = devices::stage2_images_of(package)})
        .plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_until(
        [this] { return !events.titles.empty() && events.titles.back() == "Updating internal components..."; }));
    const std::size_t announced = events.titles.size();
    run_until([] { return false; }, 59000);
    EXPECT_EQ(events.titles.size(), announced) << "too early";
    run_until([] { return false; }, 2000);
    ASSERT_EQ(events.titles.size(), announced + 1);
    EXPECT_EQ(events.titles.back(), "Updating internal components...");
    EXPECT_EQ(events.subtitles.back(), hint);
    run_until([] { return false; }, 130000);
    EXPECT_EQ(events.titles.size(), announced + 1) << "said once";
    EXPECT_TRUE(events.ends.empty());

    // A device that does not come back after its reboot.
    engine().cancel();
    events.clear();
    make_device({.kind = kind_t::ruvo, .faults = {{fault_t::type_t::slow_enumeration, 200000}}}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, make_package({.ventaro = false, .ventaro_stage2 = false, .ruvo = true})));
    ASSERT_TRUE(
        run_until([this] { return !events.titles.empty() && events.titles.back() == "Waiting for the Ruvo..."; }));
    run_until([] { return false; }, 61000);
    EXPECT_EQ(events.titles.back(), "Waiting for the Ruvo...");
    EXPECT_EQ(events.subtitles.back(), hint);
}

TEST_F(StateMachine, FinishRequestComesHalfASecondAfterCompletion) {
    const update_t package = make_package({});
    make_device({.kind = kind_t::ventaro, .stage2_images = devices::stage2_images_of(package)}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    // The stage-2 firmware reports 1.0 (0.8 overall), completes 40 ms later, and
    // leaves as soon as the finish request arrives.
    ASSERT_TRUE(run_until([this] { return !events.progress.empty() && events.progress.back() == 0.8f; }));
    // It completes 40 ms after its last progress report.
    run_until([] { return false; }, 530);
    EXPECT_EQ(device->mode(), device_mode_t::stage2);
    EXPECT_TRUE(run_until([&] { return device->mode() != device_mode_t::stage2; }, 20));
}

TEST_F(StateMachine, OnEndMayStartTheNextRun) {
    const update_t package = make_package({.ventaro_stage2 = false});
    make_device({.kind = kind_t::ventaro, .start_in_bootloader = true}).plug();
    events.on_end_hook = [&] {
        events.on_end_hook = nullptr;
        EXPECT_FALSE(engine().running());
        EXPECT_TRUE(engine().start(kind_t::ventaro, package));
    };
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    EXPECT_TRUE(engine().running());
    EXPECT_EQ(events.titles[2], "Connect your Ventaro");
}

// Ending a run detaches the input it attached: a later run that attaches the
// same input must hear its device, not the old run's handlers.
TEST_F(StateMachine, EndingARunDetachesItsInput) {
    // A device that never answers keeps the run in phase 2, its input attached.
    midi::io::virtual_service_t& service = midi_service();
    const int32_t port = service.add_endpoint("Ventaro", "MIDI 1", "Ventaro MIDI 1",
                                              midi::io::service_t::is_source | midi::io::service_t::is_destination);
    ASSERT_TRUE(engine().start(kind_t::any, make_package({})));
    ASSERT_TRUE(run_until([this] { return events.titles.size() == 2; }, 100));
    EXPECT_EQ(events.titles.back(), "Rebooting the Ventaro...");
    engine().cancel();

    std::atomic<int> heard{0};
    ASSERT_TRUE(midi::io::attach(midi::io::make_in(port), {}, [&](const uint8_t*, std::size_t, bool) { ++heard; }, {}));
    const uint8_t key[] = {0xF0, 0x00, 0x31, 0x33, 0x7F, 1, 2, 3, 4, 0xF7};
    service.device_send(port, key, sizeof key);
    service.flush();
    EXPECT_EQ(heard, 1);
    midi::io::detach(midi::io::make_in(port));
    service.remove_endpoint(port);
}

// A re-send that a cancelled run left pending must not act in the same phase of
// the next run: it would send to a port that is gone and fail that run.
TEST_F(StateMachine, StepsOfAnEarlierRunDoNothingInTheNextOne) {
    const update_t package = make_package({});
    const fault_t silent{fault_t::type_t::stage2_stall, 0};
    make_device({.kind = kind_t::ventaro, .faults = {silent}, .stage2_images = devices::stage2_images_of(package)})
        .plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_until(
        [this] { return !events.titles.empty() && events.titles.back() == "Updating internal components..."; }));
    engine().cancel();  // its status request is re-sent in a second
    remove_devices();

    events.clear();
    make_device({.kind = kind_t::ventaro,
                 .start_in_bootloader = true,
                 .faults = {silent},
                 .stage2_images = devices::stage2_images_of(package)})
        .plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_until([this] { return events.titles.size() == 4; }, 900))
        << ::testing::PrintToString(events.titles);  // phase 6 of the second run within the second
    EXPECT_EQ(events.titles.back(), "Updating internal components...");
    run_until([] { return false; }, 1500);
    EXPECT_TRUE(events.ends.empty()) << events.ends[0].message;
    EXPECT_TRUE(engine().running());
}

// --- a retry always finishes the job -------------------------------------------------

// A run that ends while the stage-2 firmware works leaves the device running it;
// the next run, without a replug, finishes the internal update and then the main firmware.
TEST_F(StateMachine, RetryWithoutReplugFinishesAnInterruptedStage2) {
    const update_t package = make_package({});
    for (const bool cancelled : {true, false}) {
        SCOPED_TRACE(cancelled ? "cancelled during stage 2" : "stage-2 error");
        events.clear();
        std::vector<fault_t> faults;
        if (!cancelled) faults.push_back({fault_t::type_t::stage2_error, 0, "Voice board not found"});
        make_device({.kind = kind_t::ventaro, .faults = faults, .stage2_images = devices::stage2_images_of(package)})
            .plug();
        ASSERT_TRUE(engine().start(kind_t::any, package));
        if (cancelled) {
            ASSERT_TRUE(run_until([this] { return !events.progress.empty() && events.progress.back() > 0.3f; }));
            engine().cancel();
        } else {
            ASSERT_TRUE(run_to_end());
            EXPECT_EQ(events.ends[0].message, "Voice board not found");
        }
        EXPECT_EQ(device->mode(), device_mode_t::stage2);

        events.clear();
        ASSERT_TRUE(engine().start(kind_t::any, package));
        ASSERT_TRUE(run_to_end()) << ::testing::PrintToString(events.titles);
        EXPECT_EQ(events.ends[0].end, end_t::success) << events.ends[0].message;
        EXPECT_EQ(events.titles, (std::vector<std::string>{"Connect your Ventaro", "Updating internal components...",
                                                           "Waiting for the Ventaro...", "Updating..."}));
        EXPECT_NE(log().find("The device runs its stage-2 firmware: continuing its update.\n"), std::string::npos);
        settle();
        EXPECT_EQ(device->mode(), device_mode_t::normal);
        EXPECT_TRUE(same_below_bootloader(device->flash(), flash_after(erased_flash(), *package.ventaro)));
    }
}

// A stage-2 firmware found at the start that never answers: the user is told to
// power-cycle it, after ten requests, instead of waiting for ever.
TEST_F(StateMachine, SilentStage2FirmwareFoundAtTheStartAsksForAPowerCycle) {
    const update_t package = make_package({});
    const auto stage2_flash = devices::expected_flash(erased_flash(), *package.ventaro->stage2);
    make_device({.kind = kind_t::ventaro,
                 .faults = {{fault_t::type_t::stage2_stall, 0}},
                 .flash = stage2_flash,
                 .stage2_images = devices::stage2_images_of(package)})
        .plug();
    EXPECT_EQ(device->mode(), device_mode_t::stage2) << "a flash holding the stage-2 image starts it";
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end(30000));
    EXPECT_EQ(events.ends[0].end, end_t::failure);
    EXPECT_EQ(events.ends[0].message,
              "The device does not answer. Turn it off, then on again, and run the update again.");
    EXPECT_EQ(device->stage2_status_requests(), 10);
}

// A cancelled run's worker may still be finishing sector 0 when the next run
// finds the same bootloader: the new worker waits, and the two never interleave.
TEST_F(StateMachine, NextRunWaitsForTheCancelledRunsWorker) {
    const update_t package = make_package({.ventaro_stage2 = false});
    const std::size_t erase = sector0_erase(package.ventaro->main);
    make_device({.kind = kind_t::ventaro, .start_in_bootloader = true}).plug();
    device->pause_at_roundtrip(erase);
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_until([&] { return device->paused(); }));
    engine().cancel();
    events.clear();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    std::size_t most_handles = 0;
    std::thread eraser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        device->resume();
    });
    const bool ended = run_until([&] {
        most_handles = std::max(most_handles, hid_open_handles());
        return !events.ends.empty();
    });
    eraser.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(events.ends[0].end, end_t::success) << events.ends[0].message;
    EXPECT_NE(log().find("Waiting for the previous programming to stop.\n"), std::string::npos);
    settle();
    EXPECT_TRUE(same_below_bootloader(device->flash(), devices::expected_flash(erased_flash(), package.ventaro->main)));
    EXPECT_LE(most_handles, 1u);
}

// The kind question can stay open while its run ends and another begins: its
// answer belongs to the run that asked.
TEST_F(StateMachine, KindAnswerOfAnEndedRunIsIgnored) {
    const update_t package = make_package({.ventaro_stage2 = false, .ruvo = true});
    make_device({.kind = kind_t::ventaro, .first_generation_bootloader = true, .start_in_bootloader = true}).plug();
    events.kind_answer = std::nullopt;  // declined, but only after the user started a run for the Ventaro
    events.kind_question_hook = [&] {
        engine().cancel();
        EXPECT_TRUE(engine().start(kind_t::ventaro, package));
    };
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(engine().running());
    ASSERT_TRUE(run_until([this] { return events.ends.size() == 2; }));
    EXPECT_EQ(events.ends[0].end, end_t::cancelled);
    EXPECT_EQ(events.ends[1].end, end_t::success) << events.ends[1].message;
    EXPECT_EQ(events.ends[1].kind, kind_t::ventaro);
}

// Nothing is erased when the image reaches into the bootloader's sector.
TEST_F(StateMachine, ImageThatReachesTheBootloaderIsRefusedBeforeAnyErase) {
    const std::string hex = tools::make_ihex(
        {{0x08000000, tools::make_synthetic_firmware(4096, 5)}, {0x080E0100, std::vector<unsigned char>(64, 0x42)}});
    const auto zip =
        tools::make_zip({{"info.txt", tools::make_info_text("Test", "1.0.0", "2026-01-01")}, {"ventaro.hex", hex}});
    const update_t package = make_update(zip.data(), zip.size());
    ASSERT_TRUE(touches_bootloader(make_update_plan(package.ventaro->main)));
    make_device({.kind = kind_t::ventaro, .start_in_bootloader = true}).plug();
    const std::vector<uint8_t> before = device->flash();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].end, end_t::failure);
    EXPECT_EQ(events.ends[0].message, "The update would overwrite the device's bootloader.");
    EXPECT_EQ(device->roundtrips(), 1u);  // the information request only
    EXPECT_TRUE(same_flash(device->flash(), before));
}

// The demo plugs in again a device a fault unplugged, as the alert asks a user
// to do, so that a retry there finishes the job too.
TEST_F(StateMachine, ADeviceAFaultUnpluggedIsPluggedInAgain) {
    const update_t package = make_package({.ventaro_stage2 = false});
    make_device(
        {.kind = kind_t::ventaro, .start_in_bootloader = true, .faults = {{fault_t::type_t::unplug_at_roundtrip, 40}}})
        .plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].end, end_t::failure);
    settle(500);
    ASSERT_EQ(device->mode(), device_mode_t::off);
    EXPECT_EQ(simulation().replug_unplugged(), 1u);
    EXPECT_EQ(simulation().replug_unplugged(), 0u);  // it is connected now
    events.clear();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(events.ends[0].end, end_t::success) << events.ends[0].message;
}

namespace {

// A bootloader that goes away the moment the run takes it, before the worker
// opens it, and comes back two seconds later: one caught on its way out of a
// restart, or unplugged at that moment.
class LeavingBootloader : public EngineTest {
protected:
    updater::callbacks_t callbacks() override {
        updater::callbacks_t callbacks = EngineTest::callbacks();
        callbacks.announce = [this, record = callbacks.announce](const char* title, const char* subtitle) {
            record(title, subtitle);
            const std::string taken = title;
            if (!left && device && (taken == "Preparing to update internal components..." || taken == "Updating...")) {
                left = true;
                device->unplug();
                async_main([this] { device->plug(); }, 2000);
            }
        };
        return callbacks;
    }
    bool left = false;
};

}  // namespace

TEST_F(LeavingBootloader, FoundWaitingTheRunTakesItAgainOnceBack) {
    const update_t package = make_package({.ventaro_stage2 = false});
    make_device({.kind = kind_t::ventaro, .start_in_bootloader = true}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end());
    ASSERT_TRUE(left);
    EXPECT_EQ(events.ends[0].end, end_t::success) << events.ends[0].message;
    EXPECT_NE(log().find("The bootloader went away before it could be opened; waiting for it again.\n"),
              std::string::npos);
    settle();
    EXPECT_EQ(device->mode(), device_mode_t::normal);
    EXPECT_EQ(events.ends.size(), 1u);
}

// Taken after the reboot, it is awaited from the start again, whatever it shows
// when it is back.
TEST_F(LeavingBootloader, FoundAfterTheRebootTheRunStartsOverOnTheSameDevice) {
    const update_t package = make_package({});
    make_device({.kind = kind_t::ventaro, .stage2_images = devices::stage2_images_of(package)}).plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    ASSERT_TRUE(run_to_end(120000));
    ASSERT_TRUE(left);
    EXPECT_EQ(events.ends[0].end, end_t::success) << events.ends[0].message;
    EXPECT_EQ(std::count(events.titles.begin(), events.titles.end(), "Connect your Ventaro"), 2);
    EXPECT_NE(log().find("The bootloader went away before it could be opened; waiting for it again.\n"),
              std::string::npos);
    settle();
    EXPECT_EQ(device->mode(), device_mode_t::normal);
    EXPECT_TRUE(same_below_bootloader(device->flash(), flash_after(device->flash(), *package.ventaro)));
}
