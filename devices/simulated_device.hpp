#pragma once

// A simulated Ventaro or Ruvo: its normal firmware and its stage-2 firmware on
// the virtual MIDI service, its bootloader behind the simulated hidapi, and a
// model of its 1 MiB flash. Faults can be injected at chosen moments.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/midi_io/virtual/virtual_service.hpp"
#include "update/firmware.hpp"
#include "update/update.hpp"
#include "updater/updater.hpp"

namespace zal::devices {

constexpr uint32_t flash_base = 0x08000000;
constexpr std::size_t flash_size = 0x100000;

struct fault_t {
    enum class type_t {
        unplug_at_request,   // unplugged shortly after the first bootloader request, unanswered
        unplug_at_stage2,    // unplugged shortly after the first stage-2 status request
        unplug_at_roundtrip,  // unplugged when HID report `roundtrip` arrives
        no_answer,           // HID report `roundtrip` gets no answer
        wrong_answer,        // HID report `roundtrip` gets a wrong answer
        power_cut,           // power lost when HID report `roundtrip` arrives; back a second later
        stage2_error,        // the stage-2 firmware reports `text` instead of completing
        stage2_stall,        // the stage-2 firmware falls silent after `roundtrip` reports (0: never reports)
        refuse_send,         // nothing can be sent to the device's MIDI ports
        slow_erase,          // the next erase takes `roundtrip` milliseconds
        late_answer,         // the answer to HID report `roundtrip` comes 4.5 s late, after any time-out
        duplicate_answer,    // the answer to HID report `roundtrip` comes twice
        short_answer,        // the answer to HID report `roundtrip` is one byte long
        short_info,          // the next information record is 55 bytes long
        slow_enumeration,    // the next re-enumeration takes `roundtrip` milliseconds
        refuse_open,         // the next bootloader node refuses to open for `roundtrip` milliseconds
    };
    type_t type;
    uint64_t roundtrip = 0;  // counted over every HID report the device received
    std::string text = {};
};

// Reads "unplug-at-request", "unplug-at-stage2", "unplug-at-roundtrip:K",
// "no-answer:K", "wrong-answer:K", "power-cut:K", "stage2-error:TEXT",
// "stage2-stall[:K]" (K reports, 1 by default), "refuse-send", "slow-erase:MS",
// "late-answer:K", "duplicate-answer:K", "short-answer:K", "short-info",
// "slow-enumeration:MS", "refuse-open:MS". Nothing, with `error` set, when the
// text is none of them.
std::optional<fault_t> parse_fault(const std::string& fault, std::string& error);

struct device_options_t {
    kind_t kind = kind_t::ventaro;
    bool v1_bootloader = false;  // the first-generation identity, which tells no kind
    bool start_in_bootloader = false;
    std::vector<fault_t> faults = {};
    std::vector<uint8_t> flash = {};  // 1 MiB from 0x08000000; empty: sectors 0 to 10 erased
    // The stage-2 firmware images this device runs as its stage-2 updater when
    // the flash holds one of them whole, written after everything else.
    std::vector<firmware_t> stage2_images = {};
    uint32_t boot_wait_ms = 5000;
    uint32_t answer_ms = 1;  // how long the bootloader takes to answer a command
};

enum class mode_t { off, normal, bootloader, stage2, lost };
const char* mode_name(mode_t mode);

// Delayed device actions: by default main-queue tasks, so that a virtual clock
// drives them in tests.
using scheduler_t = std::function<void(std::function<void()> task, uint32_t delay_ms)>;

class simulated_device_t {
public:
    simulated_device_t(midi::io::virtual_service_t& midi, device_options_t options, scheduler_t schedule = {});
    ~simulated_device_t();
    simulated_device_t(const simulated_device_t&) = delete;
    simulated_device_t& operator=(const simulated_device_t&) = delete;

    // Connects the device: the first time in the mode the options say, later
    // through a power-on reset.
    void plug();
    void unplug();

    mode_t mode() const;
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

// What the flash holds after a plan-driven update with this image, as the
// device's flash model computes it: for checking a simulated device's flash.
std::vector<uint8_t> expected_flash(const std::vector<uint8_t>& before, const firmware_t& image);

}  // namespace zal::devices
