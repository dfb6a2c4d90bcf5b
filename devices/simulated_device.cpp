// SPDX-License-Identifier: MIT
#include "devices/simulated_device.hpp"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>

#include "common/async/async.hpp"
#include "devices/bootloader.hpp"
#include "devices/firmware.hpp"
#include "updater/hid.hpp"

namespace zal::devices {

namespace {

constexpr uint32_t reboot_ms = 150;
constexpr uint32_t power_back_ms = 1000;
constexpr uint32_t stage2_report_ms = 40;
constexpr uint32_t unplug_after_ms = 100;
constexpr uint32_t answer_ms = 3;  // the firmwares answer a message after a few milliseconds
constexpr std::size_t report_with_number = 65;

// The identities the engine looks for, as the devices' bootloaders show them.
const usb_descriptor_t& bootloader_identity(const device_options_t& options) {
    return options.first_generation_bootloader ? usb_descriptor_bootloader_ventaro_v1
           : options.kind == kind_t::ruvo      ? usb_descriptor_bootloader_ruvo2
                                               : usb_descriptor_bootloader_ventaro;
}

}  // namespace

std::vector<firmware_t> stage2_images_of(const update_t& update) {
    std::vector<firmware_t> images;
    for (const auto* device : {&update.ventaro, &update.ruvo})
        if (*device && (*device)->stage2 && !(*device)->stage2->sectors.empty()) images.push_back(*(*device)->stage2);
    return images;
}

struct simulated_device_t::impl : std::enable_shared_from_this<impl> {
    impl(usb_port_t& p, device_options_t o, scheduler_t s)
        : port(p),
          options(std::move(o)),
          schedule(std::move(s)),
          flash(options.flash),
          faults(options.faults),
          bootloader(flash, faults, options.kind, options.answer_ms),
          normal(options.kind, options.unnamed_jacks),
          stage2(options.kind) {
        if (!schedule)
            schedule = [](std::function<void()> task, uint32_t delay) { async_main(std::move(task), delay); };
        std::random_device seed;
        random.seed(seed());
    }

    // --- state, under `mutex` ---
    mutable std::mutex mutex;
    usb_port_t& port;
    device_options_t options;
    scheduler_t schedule;
    flash_model_t flash;
    fault_list_t faults;
    bootloader_t bootloader;
    normal_firmware_t normal;
    stage2_firmware_t stage2;
    std::mt19937 random;
    device_mode_t mode = device_mode_t::off;
    bool plugged_before = false;
    uint64_t epoch = 0;  // advanced at every change of mode: older timers do nothing
    uint64_t reports = 0;
    int app_starts = 0;
    // Tests hold the programming worker at a chosen report.
    std::condition_variable resumed;
    std::optional<uint64_t> pause_at;
    bool paused = false;

    void later(uint32_t delay, void (impl::*step)()) {
        std::weak_ptr<impl> weak = weak_from_this();
        const uint64_t at_epoch = epoch;
        schedule(
            [weak, at_epoch, step] {
                if (auto self = weak.lock()) {
                    std::lock_guard lock(self->mutex);
                    if (self->epoch == at_epoch) ((*self).*step)();
                }
            },
            delay);
    }

    // --- connections ---
    void disconnect() {
        ++epoch;
        // A refused send strikes for one connection.
        if ((mode == device_mode_t::normal || mode == device_mode_t::stage2) &&
            faults.pending(fault_t::type_t::refuse_send))
            faults.take(fault_t::type_t::refuse_send);
        port.detach();
        mode = device_mode_t::off;
    }

    usb_port_t::midi_receiver_t midi_receiver() {
        std::weak_ptr<impl> weak = weak_from_this();
        return [weak](std::size_t index, const uint8_t* bytes, std::size_t length) {
            if (auto self = weak.lock()) self->on_midi(index, std::vector<uint8_t>(bytes, bytes + length));
        };
    }

    void start_normal_firmware() {
        disconnect();
        mode = device_mode_t::normal;
        normal.start(random);
        port.attach_midi(normal.name(), normal.ports(), midi_receiver(), faults.pending(fault_t::type_t::refuse_send));
    }

    void start_stage2_firmware() {
        disconnect();
        mode = device_mode_t::stage2;
        stage2.start();
        port.attach_midi(stage2.name(), stage2.ports(), midi_receiver(), faults.pending(fault_t::type_t::refuse_send));
    }

    void start_bootloader() {
        disconnect();
        mode = device_mode_t::bootloader;
        bootloader.reset();
        uint32_t refuse_open_ms = 0;
        if (const fault_t* refuse = faults.pending(fault_t::type_t::refuse_open)) {
            refuse_open_ms = uint32_t(refuse->value);
            faults.take(fault_t::type_t::refuse_open);
        }
        std::weak_ptr<impl> weak = weak_from_this();
        port.attach_hid(
            bootloader_identity(options),
            [weak](const uint8_t* report, std::size_t length) {
                auto self = weak.lock();
                return self ? self->on_report(report, length) : -1;
            },
            refuse_open_ms);
        later(options.boot_wait_ms, &impl::boot_timeout);
    }

    // How long the device takes to show up again after a restart.
    uint32_t reenumeration_ms() {
        if (const fault_t* slow = faults.pending(fault_t::type_t::slow_enumeration)) {
            const uint32_t ms = uint32_t(slow->value);
            faults.take(fault_t::type_t::slow_enumeration);
            return ms;
        }
        return reboot_ms;
    }

    // A reset: the vector table in sector 0 decides what runs.
    void power_on() {
        disconnect();
        switch (flash.reset_start()) {
            case flash_model_t::start_t::nothing: mode = device_mode_t::lost; break;  // the device no longer boots
            case flash_model_t::start_t::bootloader: start_bootloader(); break;
            case flash_model_t::start_t::application: start_application(true); break;
        }
    }

    void boot_timeout() {
        if (mode == device_mode_t::bootloader && !bootloader.booted() && flash.application_present())
            start_application(true);
    }

    void restart_after_programming() { start_application(true); }

    // `counted`: a start after programming, which `application_starts` counts.
    void start_application(bool counted) {
        if (!flash.application_present()) {
            start_bootloader();  // nothing to start: the bootloader keeps control
            return;
        }
        const bool stage2_whole = std::any_of(options.stage2_images.begin(), options.stage2_images.end(),
                                              [&](const firmware_t& image) { return flash.holds_newest(image); });
        if (stage2_whole) {
            start_stage2_firmware();
        } else {
            if (counted) ++app_starts;
            start_normal_firmware();
        }
    }

    // --- MIDI, on the transport's thread ---
    void on_midi(std::size_t index, const std::vector<uint8_t>& message) {
        std::lock_guard lock(mutex);
        if (mode == device_mode_t::normal) {
            switch (normal.on_message(index, message, faults)) {
                case normal_firmware_t::then_t::send_key: later(answer_ms, &impl::send_key); break;
                case normal_firmware_t::then_t::unplug_soon: later(unplug_after_ms, &impl::disconnect); break;
                case normal_firmware_t::then_t::reboot_into_bootloader:
                    disconnect();
                    later(reenumeration_ms(), &impl::start_bootloader);
                    break;
                case normal_firmware_t::then_t::nothing: break;
            }
        } else if (mode == device_mode_t::stage2 && index == 0) {
            switch (stage2.on_message(message, faults)) {
                case stage2_firmware_t::then_t::start_reporting: later(answer_ms, &impl::report_stage2); break;
                case stage2_firmware_t::then_t::report_complete: later(answer_ms, &impl::send_complete); break;
                case stage2_firmware_t::then_t::unplug_soon: later(unplug_after_ms, &impl::disconnect); break;
                case stage2_firmware_t::then_t::reboot:  // into the bootloader, whatever sector 0 would start
                    disconnect();
                    later(reenumeration_ms(), &impl::start_bootloader);
                    break;
                case stage2_firmware_t::then_t::nothing: break;
            }
        }
    }

    void send_key() {
        if (mode == device_mode_t::normal) port.send_midi(0, normal.key_message());
    }

    void send_complete() {
        if (mode == device_mode_t::stage2) port.send_midi(0, stage2.complete_message());
    }

    void report_stage2() {
        if (mode != device_mode_t::stage2) return;
        bool more = false;
        port.send_midi(0, stage2.next_report(faults, more));
        if (more) later(stage2_report_ms, &impl::report_stage2);
    }

    // --- HID, on the programming worker ---
    int on_report(const uint8_t* data, std::size_t length) {
        std::unique_lock lock(mutex);
        if (mode != device_mode_t::bootloader || length != report_with_number) return -1;
        if (pause_at && *pause_at == reports) {
            paused = true;
            resumed.wait(lock, [this] { return !pause_at; });
            paused = false;
            if (mode != device_mode_t::bootloader) return -1;
        }
        const bootloader_t::outcome_t outcome = bootloader.on_report(data + 1, reports++);
        switch (outcome.then) {
            case bootloader_t::outcome_t::then_t::power_cut:
                disconnect();
                later(power_back_ms, &impl::power_on);
                return -1;
            case bootloader_t::outcome_t::then_t::unplug: disconnect(); return -1;
            case bootloader_t::outcome_t::then_t::reboot:  // start what was written
                disconnect();
                later(reenumeration_ms(), &impl::restart_after_programming);
                return int(length);
            case bootloader_t::outcome_t::then_t::stay: break;
        }
        for (const bootloader_t::answer_t& answer : outcome.answers) port.send_report(answer.bytes, answer.delay_ms);
        return int(length);
    }
};

simulated_device_t::simulated_device_t(usb_port_t& port, device_options_t options, scheduler_t schedule)
    : impl_(std::make_shared<impl>(port, std::move(options), std::move(schedule))) {}

simulated_device_t::~simulated_device_t() {
    std::lock_guard lock(impl_->mutex);
    impl_->disconnect();
}

void simulated_device_t::plug() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->mode != device_mode_t::off && impl_->mode != device_mode_t::lost) return;
    if (!impl_->plugged_before) {
        impl_->plugged_before = true;
        if (impl_->options.start_in_bootloader)
            impl_->start_bootloader();
        else if (impl_->options.flash.empty())
            impl_->start_normal_firmware();  // the firmware it came with, outside the flash model
        else if (impl_->flash.reset_start() == flash_model_t::start_t::nothing)
            impl_->mode = device_mode_t::lost;  // sector 0 erased and not written again: nothing starts
        else
            impl_->start_application(false);  // whatever the given flash holds
        return;
    }
    impl_->power_on();
}

void simulated_device_t::unplug() {
    std::lock_guard lock(impl_->mutex);
    impl_->disconnect();
}

device_mode_t simulated_device_t::mode() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->mode;
}

std::vector<uint8_t> simulated_device_t::flash() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->flash.bytes();
}

uint64_t simulated_device_t::roundtrips() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->reports;
}

void simulated_device_t::pause_at_roundtrip(uint64_t roundtrip) {
    std::lock_guard lock(impl_->mutex);
    impl_->pause_at = roundtrip;
}

bool simulated_device_t::paused() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->paused;
}

void simulated_device_t::resume() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->pause_at.reset();
    }
    impl_->resumed.notify_all();
}

int simulated_device_t::stage2_status_requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->stage2.status_requests();
}

int simulated_device_t::application_starts() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->app_starts;
}

}  // namespace zal::devices
