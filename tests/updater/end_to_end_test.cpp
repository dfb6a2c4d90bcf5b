// SPDX-License-Identifier: MIT
// Whole runs on real threads against simulated devices, and a matrix of faults
// and cancels: every run ends exactly once, nothing reaches
// the application afterwards, no device handle or MIDI handler is left behind,
// and a second run on the same device succeeds and verifies, unless power was
// cut while sector 0 was erased, which loses the device as real hardware would.
#include <gtest/gtest.h>

#include "common/async/async.hpp"
#include "tests/updater/engine_fixture.hpp"
#include "update/update_plan.hpp"
#include "updater/hid.hpp"
#include "updater/updater.hpp"

using namespace zal;
using namespace zal::testing;
using devices::device_mode_t;
using devices::fault_t;

namespace {

class EndToEnd : public EngineTest {
protected:
    // The virtual clock stands still while the programming worker talks to a
    // device; a device slower than the worker's own time-outs needs the real one.
    explicit EndToEnd(bool virtual_clock = true) : EngineTest(virtual_clock) {}

    // The firmware the device ran before the update.
    std::vector<uint8_t> old_flash() const { return devices::older_application_flash(99); }

    // Runs to the end and checks the end is final and leaves nothing behind.
    void run_and_check_end(uint32_t limit_ms = 60000) {
        ASSERT_TRUE(run_to_end(limit_ms)) << "the run did not end";
        const std::size_t progress = events.progress.size(), titles = events.titles.size();
        settle(600);
        EXPECT_EQ(events.ends.size(), 1u);
        EXPECT_EQ(events.progress.size(), progress) << "progress after the end";
        EXPECT_EQ(events.titles.size(), titles) << "an announcement after the end";
        EXPECT_EQ(hid_open_handles(), 0u);
        EXPECT_EQ(midi::io::attached_inputs(), 0u);
        EXPECT_FALSE(engine().running());
    }

    // A Ventaro running its old firmware, with this fault, through one whole run.
    void run_with_fault(const fault_t& fault, const update_t& package) {
        make_device({.kind = kind_t::ventaro,
                     .faults = {fault},
                     .flash = old_flash(),
                     .stage2_images = devices::stage2_images_of(package)})
            .plug();
        ASSERT_TRUE(engine().start(kind_t::any, package));
        run_and_check_end();
    }

    // A second run on the same device, after the user replugged it.
    void second_run_succeeds(const update_t& package, kind_t kind) {
        device->unplug();
        device->plug();
        events.clear();
        ASSERT_TRUE(engine().start(kind, package));
        run_and_check_end();
        ASSERT_FALSE(events.ends.empty());
        EXPECT_EQ(events.ends[0].end, end_t::success) << events.ends[0].message;
        run_until([&] { return device->mode() == device_mode_t::normal; }, 10000);
        EXPECT_EQ(device->mode(), device_mode_t::normal);
        // The main image is the last one written: its sectors hold it exactly.
        const device_update_t& d = kind == kind_t::ruvo ? *package.ruvo : *package.ventaro;
        EXPECT_TRUE(same_flash(device->flash(), devices::expected_flash(device->flash(), d.main)));
    }
};

struct complete_case_t {
    const char* name;
    kind_t kind;
    bool stage2;
    bool from_bootloader;
};

void PrintTo(const complete_case_t& c, std::ostream* out) { *out << c.name; }

class CompleteRuns : public EndToEnd, public ::testing::WithParamInterface<complete_case_t> {};

}  // namespace

TEST_P(CompleteRuns, FlashHoldsThePackageImages) {
    const complete_case_t c = GetParam();
    const bool ruvo = c.kind == kind_t::ruvo;
    const update_t package = make_package(
        {.ventaro = !ruvo, .ventaro_stage2 = !ruvo && c.stage2, .ruvo = ruvo, .ruvo_stage2 = ruvo && c.stage2});
    make_device({.kind = c.kind,
                 .start_in_bootloader = c.from_bootloader,
                 .flash = old_flash(),
                 .stage2_images = devices::stage2_images_of(package)});
    const std::vector<uint8_t> before = device->flash();
    device->plug();
    ASSERT_TRUE(engine().start(kind_t::any, package));
    run_and_check_end();
    ASSERT_EQ(events.ends[0].end, end_t::success) << events.ends[0].message;
    EXPECT_EQ(events.ends[0].kind, c.kind);
    run_until([&] { return device->mode() == device_mode_t::normal; }, 10000);
    EXPECT_EQ(device->mode(), device_mode_t::normal);
    EXPECT_EQ(device->application_starts(), 1);
    // Every byte as the images say, entry patch and stub included; what the plan
    // does not touch, the bootloader's sector among it, as before.
    const device_update_t& d = ruvo ? *package.ruvo : *package.ventaro;
    std::vector<uint8_t> expected = d.stage2 ? devices::expected_flash(before, *d.stage2) : before;
    expected = devices::expected_flash(expected, d.main);
    EXPECT_TRUE(same_flash(device->flash(), expected));
}

INSTANTIATE_TEST_SUITE_P(Devices, CompleteRuns,
                         ::testing::Values(complete_case_t{"VentaroStage2FromFirmware", kind_t::ventaro, true, false},
                                           complete_case_t{"RuvoFromFirmware", kind_t::ruvo, false, false},
                                           complete_case_t{"VentaroFromBootloader", kind_t::ventaro, false, true},
                                           complete_case_t{"RuvoStage2FromBootloader", kind_t::ruvo, true, true}),
                         [](const auto& p) { return std::string(p.param.name); });

// --- faults --------------------------------------------------------------------------

namespace {

struct fault_case_t {
    std::string name;
    fault_t fault;
    const char* message;  // the failure the first run ends with; none: it goes on by itself
    failure_kind_t failure;
};

// HID roundtrip numbers are counted over the device's life; this package's
// stage-2 sequence comes first, then the main image's.
const update_t& fault_package() {
    static const update_t package = make_package({});
    return package;
}

std::size_t sequence_length(const firmware_t& image) {
    return updater::hid::make_programming_sequence(make_update_plan(image)).size();
}

// The main image's roundtrips, counted from its first, during which sector 0 is
// erased and its vector table not yet written again.
std::pair<std::size_t, std::size_t> sector0_window(const firmware_t& image) {
    const std::size_t erase = sector0_erase(image);
    if (erase == sequence_length(image)) return {0, 0};
    return {erase + 1, erase + 2};  // the write command, then the first data report
}

// The roundtrip whose response is read nearest the middle of an image's sequence.
std::size_t checked_roundtrip_near_middle(const firmware_t& image) {
    const auto sequence = updater::hid::make_programming_sequence(make_update_plan(image));
    for (std::size_t i = sequence.size() / 2; i < sequence.size(); ++i)
        if (sequence[i].check) return i;
    return 0;
}

std::vector<fault_case_t> fault_cases() {
    const update_t& p = fault_package();
    const std::size_t stage2 = sequence_length(*p.ventaro->stage2);
    const std::size_t main = sequence_length(p.ventaro->main);
    const auto [w0, w1] = sector0_window(p.ventaro->main);
    const uint64_t in_window = stage2 + w0, after_window = stage2 + w1 + 1;
    using t = fault_t::type_t;
    using k = failure_kind_t;
    std::vector<fault_case_t> cases = {
        {"UnplugAtRequest", {t::unplug_at_request}, "Device disconnected.", k::disconnected},
        {"UnplugAtStage2", {t::unplug_at_stage2}, "Device disconnected.", k::disconnected},
        {"RefuseSend", {t::refuse_send}, "Could not send a MIDI SysEx.", k::disconnected},
        {"Stage2Error",
         {t::stage2_error, 0, "Motor driver does not answer"},
         "Motor driver does not answer",
         k::device_report},
        {"WrongInfo", {t::wrong_answer, 0}, "Invalid bootloader info.", k::unknown_bootloader},
        {"WrongBoot", {t::wrong_answer, 1}, "Wrong response in HID report.", k::refused},
        {"NoAnswerToErase", {t::no_answer, 3}, "No HID packet received after timeout.", k::silent},
        {"NoAnswerInMainImage",
         {t::no_answer, stage2 + checked_roundtrip_near_middle(p.ventaro->main)},
         "No HID packet received after timeout.",
         k::silent},
        {"WrongAnswerInStage2Image",
         {t::wrong_answer, checked_roundtrip_near_middle(*p.ventaro->stage2)},
         "Wrong response in HID report.",
         k::refused},
        {"UnplugInStage2Image", {t::unplug_at_roundtrip, stage2 / 2}, "Could not write a HID report.", k::disconnected},
        {"UnplugAtMainReboot",
         {t::unplug_at_roundtrip, stage2 + main - 1},
         "Could not write a HID report.",
         k::disconnected},
        // Gone before its first report was taken: the run waits for it again.
        {"PowerCutAtFirstRoundtrip", {t::power_cut, 0}, nullptr, k::none},
        {"PowerCutInStage2Image", {t::power_cut, stage2 / 3}, "Could not write a HID report.", k::disconnected},
        {"PowerCutAfterSector0Window", {t::power_cut, after_window}, "Could not write a HID report.", k::disconnected},
        {"PowerCutLateInMainImage",
         {t::power_cut, stage2 + main - 3},
         "Could not write a HID report.",
         k::disconnected},
        {"PowerCutInSector0Window", {t::power_cut, in_window}, "Could not write a HID report.", k::disconnected},
    };
    return cases;
}

void PrintTo(const fault_case_t& c, std::ostream* out) { *out << c.name; }

class Faults : public EndToEnd, public ::testing::WithParamInterface<fault_case_t> {};

}  // namespace

TEST_P(Faults, EndOnceThenASecondRunSucceeds) {
    const fault_case_t& c = GetParam();
    const update_t& package = fault_package();
    run_with_fault(c.fault, package);
    if (HasFatalFailure()) return;
    ASSERT_FALSE(events.ends.empty());
    if (!c.message) {
        EXPECT_EQ(events.ends[0].end, end_t::success) << events.ends[0].message;
        run_until([&] { return device->mode() == device_mode_t::normal; }, 10000);
        EXPECT_TRUE(same_flash(device->flash(), devices::expected_flash(device->flash(), package.ventaro->main)));
        return;
    }
    EXPECT_EQ(events.ends[0].end, end_t::failure);
    EXPECT_EQ(events.ends[0].message, c.message);
    EXPECT_EQ(events.ends[0].failure, c.failure);

    if (c.fault.type == fault_t::type_t::power_cut || c.fault.type == fault_t::type_t::unplug_at_roundtrip) {
        const std::size_t stage2 = sequence_length(*package.ventaro->stage2);
        const auto [w0, w1] = sector0_window(package.ventaro->main);
        const bool in_window = c.fault.value >= stage2 + w0 && c.fault.value <= stage2 + w1;
        if (in_window) {
            settle(1200);  // power comes back; nothing can start
            device->unplug();
            device->plug();
            EXPECT_EQ(device->mode(), device_mode_t::lost) << "sector 0 was erased: the device cannot boot";
            return;
        }
    }
    second_run_succeeds(package, kind_t::any);
}

INSTANTIATE_TEST_SUITE_P(Matrix, Faults, ::testing::ValuesIn(fault_cases()),
                         [](const auto& p) { return p.param.name; });

// --- cancels ----------------------------------------------------------------------------

class Cancels : public EndToEnd, public ::testing::WithParamInterface<int> {};

TEST_P(Cancels, InEveryPhase) {
    const int phase = GetParam();
    const update_t& package = fault_package();
    const bool plugged = phase != 1;  // a plugged device leaves phase 1 at once
    make_device({.kind = kind_t::ventaro, .flash = old_flash(), .stage2_images = devices::stage2_images_of(package)});
    // Announcements counted per phase of a run that starts from the firmware.
    const std::size_t announcements = std::size_t(phase);
    ASSERT_TRUE(engine().start(kind_t::any, package));
    if (plugged) device->plug();
    ASSERT_TRUE(run_until([&] { return events.titles.size() >= announcements; }, 30000)) << "phase " << phase;
    if (phase == 4 || phase == 8) {
        ASSERT_TRUE(run_until([this] { return events.progress.size() > 5; }));
    }
    if (phase == 6) {
        ASSERT_TRUE(run_until([this] { return !events.progress.empty() && events.progress.back() > 0.2f; }));
    }
    engine().cancel();
    ASSERT_EQ(events.ends.size(), 1u);
    EXPECT_EQ(events.ends[0].end, end_t::cancelled);
    run_and_check_end();
    second_run_succeeds(package, kind_t::any);
}

INSTANTIATE_TEST_SUITE_P(Phases, Cancels, ::testing::Range(1, 9));

// --- imperfections of real devices and kernels ---------------------------------------

namespace {

struct imperfection_case_t {
    std::string name;
    fault_t fault;
    const char* message;  // the failure the first run ends with; null when it succeeds
    failure_kind_t failure;
};

void PrintTo(const imperfection_case_t& c, std::ostream* out) { *out << c.name; }

std::vector<imperfection_case_t> imperfection_cases() {
    const update_t& p = fault_package();
    const std::size_t stage2 = sequence_length(*p.ventaro->stage2);
    using t = fault_t::type_t;
    using k = failure_kind_t;
    const char* timed_out = "No HID packet received after timeout.";
    return {
        {"EraseTaking2s", {t::slow_erase, 2000}, nullptr, k::none},
        {"EraseTaking4500ms", {t::slow_erase, 4500}, timed_out, k::silent},
        {"AnswerAfterTheTimeOut",
         {t::late_answer, stage2 + checked_roundtrip_near_middle(p.ventaro->main)},
         timed_out,
         k::silent},
        {"AnswerComingTwice", {t::duplicate_answer, 1}, nullptr, k::none},
        {"OneByteAnswer",
         {t::short_answer, checked_roundtrip_near_middle(*p.ventaro->stage2)},
         "Wrong response in HID report.",
         k::refused},
        {"InfoRecordOf55Bytes", {t::short_info}, "Invalid bootloader info data.", k::refused},
        {"ReEnumerationTaking3s", {t::slow_enumeration, 3000}, nullptr, k::none},
        {"NodeRefusingToOpenFor1500ms", {t::refuse_open, 1500}, nullptr, k::none},
        {"NodeRefusingToOpenFor2500ms", {t::refuse_open, 2500}, "Unable to connect to HID device.", k::access_denied},
    };
}

class Imperfections : public EndToEnd, public ::testing::WithParamInterface<imperfection_case_t> {
protected:
    Imperfections() : EndToEnd(false) {}
};

}  // namespace

// What real hardware does now and then: a run either copes, or fails cleanly
// with the device left in its bootloader, where a retry without a replug succeeds.
TEST_P(Imperfections, RunCopesOrARetryFinishes) {
    const imperfection_case_t& c = GetParam();
    const update_t& package = fault_package();
    run_with_fault(c.fault, package);
    if (HasFatalFailure()) return;
    ASSERT_FALSE(events.ends.empty());
    if (c.message) {
        EXPECT_EQ(events.ends[0].end, end_t::failure);
        EXPECT_EQ(events.ends[0].message, c.message);
        EXPECT_EQ(events.ends[0].failure, c.failure);
        EXPECT_EQ(device->mode(), device_mode_t::bootloader);
        events.clear();
        ASSERT_TRUE(engine().start(kind_t::any, package));
        run_and_check_end();
        ASSERT_FALSE(events.ends.empty());
    }
    EXPECT_EQ(events.ends[0].end, end_t::success) << events.ends[0].message;
    run_until([&] { return device->mode() == device_mode_t::normal; }, 10000);
    EXPECT_TRUE(same_flash(device->flash(), devices::expected_flash(device->flash(), package.ventaro->main)));
}

INSTANTIATE_TEST_SUITE_P(Hardware, Imperfections, ::testing::ValuesIn(imperfection_cases()),
                         [](const auto& p) { return p.param.name; });
