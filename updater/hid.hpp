// SPDX-License-Identifier: MIT
#pragma once

// Finding a bootloader among the HID devices and programming it: an update plan
// becomes a sequence of request/response roundtrips run against the device.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/hid_io/hid_io.hpp"
#include "common/usb/usb_descriptor.hpp"
#include "update/update_plan.hpp"
#include "updater/uhb.hpp"
#include "updater/kind.hpp"
#include "updater/log.hpp"

namespace zal {

// The maker's web domain, shown in the manufacturer string of its bootloaders.
// A placeholder until the maker gives theirs.
constexpr const char* maker_web_domain = "zalmir.example";

extern const usb_descriptor_t usb_descriptor_bootloader_ventaro_v1;
extern const usb_descriptor_t usb_descriptor_bootloader_ventaro;
extern const usb_descriptor_t usb_descriptor_bootloader_ruvo;
extern const usb_descriptor_t usb_descriptor_bootloader_ruvo2;

namespace updater::hid {

struct found_bootloader_t {
    std::string path;  // empty: nothing found
    kind_t kind = kind_t::any;
    std::string usb_port;                               // where it is plugged in; empty when unknown
    device_state_t state = device_state_t::bootloader;  // or first_generation_bootloader
};

using check_t = std::function<std::optional<uhb::wrong_answer_t>(const uint8_t* data, std::size_t length)>;

struct roundtrip_t {
    uint8_t request[uhb::report_size] = {};
    check_t check;           // empty: no response is read
    int32_t timeout_ms = 0;  // 0 means 500
    // Stopping after this roundtrip would leave sector 0 erased: the device could
    // not start again, not even its bootloader. A cancel waits for a later one.
    bool leaves_sector0_erased = false;
};

// Owns one open device; closes it on the main thread.
class owned_handle_t {
public:
    explicit owned_handle_t(std::unique_ptr<hid_io::handle_t> device) : device_(std::move(device)) {}
    ~owned_handle_t() { close(); }
    owned_handle_t(const owned_handle_t&) = delete;
    owned_handle_t& operator=(const owned_handle_t&) = delete;

    hid_io::handle_t& get() const { return *device_; }
    void close();

private:
    std::unique_ptr<hid_io::handle_t> device_;
};

bool matches(const hid_io::device_info_t& device, const usb_descriptor_t& descriptor);
// Every connected bootloader that may be of `kind`, in the order the backend
// lists them. A first-generation bootloader tells no kind: it is taken to be
// `kind` (kind_t::any when `kind` is).
std::vector<found_bootloader_t> matching_devices(kind_t kind);
found_bootloader_t first_matching_device(kind_t kind);

inline roundtrip_t make_command(const uhb::command_t& command) {
    roundtrip_t roundtrip;
    const auto report = uhb::encode(command);
    std::copy(report.begin(), report.end(), roundtrip.request);
    return roundtrip;
}

void append(std::vector<roundtrip_t>& sequence, const update_plan_t& plan);

std::vector<roundtrip_t> make_programming_sequence(const update_plan_t& plan);

// A roundtrip that failed: why in a user's terms, and the log's words.
struct exchange_error_t : std::runtime_error {
    exchange_error_t(failure_kind_t why, const char* text) : std::runtime_error(text), kind(why) {}
    failure_kind_t kind;
};

// The request did not leave: writing it failed, with the system's `code`.
struct unsent_t : exchange_error_t {
    unsent_t(failure_kind_t why, const char* text, int error) : exchange_error_t(why, text), code(error) {}
    int code;
};

// Nothing reached the device: it could not be opened, or the first report of
// a sequence could not be written. `vanished`: the system said the device is
// gone (a device that re-enumerates as it is found), even if a node of the
// same name is back already.
struct unopened_t : exchange_error_t {
    unopened_t(failure_kind_t why, const char* text, bool gone = false) : exchange_error_t(why, text), vanished(gone) {}
    bool vanished;
};

// Whether a device is connected at this path now.
bool connected(const std::string& path);

// Opens the device, runs the sequence, closes it. `progress(done, total)` is
// called after each roundtrip and stops the sequence by returning false.
// Throws exchange_error_t on failure (unopened_t when nothing reached the
// device); returns when finished or stopped.
void run_sequence(const std::vector<roundtrip_t>& sequence, const char* path,
                  const std::function<bool(std::size_t done, std::size_t total)>& progress,
                  const log_target_t& log = {});

}  // namespace updater::hid
}  // namespace zal
