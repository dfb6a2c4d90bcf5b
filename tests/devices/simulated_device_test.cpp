// SPDX-License-Identifier: MIT
// The device model on its own: what a reset, a plug and the stage-2 finish
// request start, seen through a port that records what the host would see.
#include "devices/simulated_device.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "updater/midi.hpp"

using namespace zal;
using devices::device_mode_t;

namespace {

// Records what the device enumerates as; the host's side of the cable.
class recording_port_t final : public devices::usb_port_t {
public:
    void attach_midi(const std::string& name, const std::vector<std::string>&, midi_receiver_t receive, bool) override {
        shown.push_back(name);
        midi = std::move(receive);
    }
    void send_midi(std::size_t, const std::vector<uint8_t>&) override {}
    void attach_hid(const usb_descriptor_t&, report_receiver_t, uint32_t) override {
        shown.push_back("bootloader");
        midi = {};
    }
    void send_report(std::vector<uint8_t>, uint32_t) override {}
    void detach() override { midi = {}; }

    std::vector<std::string> shown;  // in order
    midi_receiver_t midi;
};

// Delayed device actions, run by hand.
struct manual_clock_t {
    struct task_t {
        uint64_t at;
        std::function<void()> run;
    };
    std::vector<task_t> tasks;
    uint64_t now = 0;

    devices::scheduler_t scheduler() {
        return [this](std::function<void()> task, uint32_t delay) { tasks.push_back({now + delay, std::move(task)}); };
    }
    void advance(uint64_t ms) {
        const uint64_t until = now + ms;
        for (;;) {
            auto next = std::min_element(tasks.begin(), tasks.end(), [](auto& a, auto& b) { return a.at < b.at; });
            if (next == tasks.end() || next->at > until) break;
            now = next->at;
            auto run = std::move(next->run);
            tasks.erase(next);
            run();
        }
        now = until;
    }
};

// An image of random bytes in the sectors given, away from sector 0.
firmware_t random_image(std::initializer_list<int> sectors, uint32_t seed) {
    std::mt19937 random(seed);
    firmware_t image{flash_map_stm32f40x_41x, {}};
    for (int index : sectors) {
        std::vector<unsigned char> block(4096);
        for (auto& b : block) b = uint8_t(random());
        image.sectors[uint64_t(index)] = block;
    }
    return image;
}

void set_reset_vector(std::vector<uint8_t>& flash, uint32_t address) {
    for (std::size_t i = 0; i < 4; ++i) flash[4 + i] = uint8_t(address >> (8 * i));
}

class DeviceModel : public ::testing::Test {
protected:
    devices::simulated_device_t& make(devices::device_options_t options) {
        device = std::make_unique<devices::simulated_device_t>(port, std::move(options), clock.scheduler());
        return *device;
    }
    recording_port_t port;
    manual_clock_t clock;
    std::unique_ptr<devices::simulated_device_t> device;
};

}  // namespace

TEST_F(DeviceModel, AnOlderApplicationStartsAsTheBootloaderStartsIt) {
    const std::vector<uint8_t> flash = devices::older_application_flash(7);
    devices::flash_model_t model(flash);
    EXPECT_EQ(model.reset_start(), devices::flash_model_t::start_t::bootloader) << "sector 0 enters the bootloader";
    EXPECT_TRUE(model.application_present()) << "through the jump stub";

    // Plugged in running, or plugged in its bootloader, which starts it after its wait.
    make({.kind = kind_t::ruvo, .flash = flash}).plug();
    EXPECT_EQ(port.shown, (std::vector<std::string>{"Ventaro Ruvo"}));
    make({.kind = kind_t::ruvo, .start_in_bootloader = true, .flash = flash, .boot_wait_ms = 5000}).plug();
    EXPECT_EQ(device->mode(), device_mode_t::bootloader);
    clock.advance(5000);
    EXPECT_EQ(device->mode(), device_mode_t::normal);
    EXPECT_EQ(device->flash(), flash) << "starting changes nothing";
}

// Sector 0 erased and not yet written again: the window a power cut must not
// fall into. Such a device starts nothing, neither at once nor from its
// bootloader's wait.
TEST_F(DeviceModel, AnErasedVectorTableStartsNothing) {
    std::vector<uint8_t> flash = devices::older_application_flash(8);
    std::fill(flash.begin(), flash.begin() + 0x4000, 0xFF);
    EXPECT_FALSE(devices::flash_model_t(flash).application_present());

    make({.kind = kind_t::ventaro, .flash = flash}).plug();
    EXPECT_EQ(device->mode(), device_mode_t::lost);
    EXPECT_TRUE(port.shown.empty());

    make({.kind = kind_t::ventaro, .start_in_bootloader = true, .flash = flash}).plug();
    clock.advance(20000);
    EXPECT_EQ(device->mode(), device_mode_t::bootloader) << "the bootloader keeps control";
}

// The finish request restarts into the bootloader, even where sector 0 would
// start the application directly: otherwise the stage-2 firmware would start
// again and the run would wait for ever.
TEST_F(DeviceModel, TheFinishRequestRestartsIntoTheBootloader) {
    const firmware_t stage2 = random_image({5, 6}, 3);
    std::vector<uint8_t> flash = devices::older_application_flash(9);
    set_reset_vector(flash, devices::flash_base + 0x189);  // an application that does not enter the bootloader
    flash = devices::expected_flash(flash, stage2);
    ASSERT_EQ(devices::flash_model_t(flash).reset_start(), devices::flash_model_t::start_t::application);

    make({.kind = kind_t::ruvo, .flash = flash, .stage2_images = {stage2}}).plug();
    ASSERT_EQ(device->mode(), device_mode_t::stage2);
    const auto& finish = updater::midi::stage2_finish_request;
    port.midi(0, finish.data(), finish.size());
    clock.advance(1000);
    EXPECT_EQ(device->mode(), device_mode_t::bootloader);
    EXPECT_EQ(port.shown, (std::vector<std::string>{"Ruvo Updater", "bootloader"}));
}
