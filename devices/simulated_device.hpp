// SPDX-License-Identifier: MIT
#pragma once

// A simulated Ventaro or Ruvo: its flash model, bootloader, normal firmware and
// stage-2 firmware, switching between them as a device does, behind a USB port
// that connects it to the host. Faults can be injected at chosen moments.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "devices/faults.hpp"
#include "devices/flash_model.hpp"
#include "devices/usb_port.hpp"
#include "update/firmware.hpp"
#include "update/update.hpp"
#include "updater/kind.hpp"

namespace zal::devices {

struct device_options_t {
    kind_t kind = kind_t::ventaro;
    bool first_generation_bootloader = false;  // the first-generation identity, which tells no kind
    bool start_in_bootloader = false;
    bool unnamed_jacks = false;  // the normal firmware's jacks carry no strings
    std::vector<fault_t> faults = {};
    std::vector<uint8_t> flash = {};  // 1 MiB from 0x08000000; empty: a factory flash
    // The stage-2 firmware images this device runs as its stage-2 updater when
    // the flash holds one of them whole, written after everything else.
    std::vector<firmware_t> stage2_images = {};
    uint32_t boot_wait_ms = 5000;
    uint32_t answer_ms = 1;  // how long the bootloader takes to answer a command
};

enum class device_mode_t { off, normal, bootloader, stage2, lost };

// Delayed device actions: by default main-queue tasks, so that a virtual clock
// drives them in tests.
using scheduler_t = std::function<void(std::function<void()> task, uint32_t delay_ms)>;

class simulated_device_t {
public:
    simulated_device_t(usb_port_t& port, device_options_t options, scheduler_t schedule = {});
    ~simulated_device_t();
    simulated_device_t(const simulated_device_t&) = delete;
    simulated_device_t& operator=(const simulated_device_t&) = delete;

    // Connects the device: the first time as the options say (a given flash
    // starts what it holds), later through a power-on reset.
    void plug();
    void unplug();

    device_mode_t mode() const;
    std::vector<uint8_t> flash() const;
    uint64_t roundtrips() const;
    // Times the device started its main firmware after being programmed.
    int application_starts() const;
    // Stage-2 status requests the device has heard.
    int stage2_status_requests() const;

    // For tests: the bootloader holds HID report `roundtrip` (and the host that
    // sent it) until `resume`.
    void pause_at_roundtrip(uint64_t roundtrip);
    bool paused() const;
    void resume();

    struct impl;

private:
    std::shared_ptr<impl> impl_;
};

// The stage-2 images of a package, as a device recognises them.
std::vector<firmware_t> stage2_images_of(const update_t& update);

}  // namespace zal::devices
