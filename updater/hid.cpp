// SPDX-License-Identifier: MIT
#include "updater/hid.hpp"
#include "common/text/marked.hpp"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <unistd.h>

#include "common/async/async.hpp"
#include "common/text/printable.hpp"
#include "updater/log.hpp"

namespace zal {

namespace {
std::string maker_manufacturer() { return std::string("Zalmir Instruments (") + maker_web_domain + ")"; }
}  // namespace

const usb_descriptor_t usb_descriptor_bootloader_ventaro_v1{"Mikroelektronika", "USB HID Bootloader", 0x1234, 0x0001};
const usb_descriptor_t usb_descriptor_bootloader_ventaro{maker_manufacturer(), "Ventaro Updater", 0x16C0, 0x05DF};
const usb_descriptor_t usb_descriptor_bootloader_ruvo{maker_manufacturer(), "VentaroRuvo Update", 0x16C0, 0x05DF};
const usb_descriptor_t usb_descriptor_bootloader_ruvo2{maker_manufacturer(), "Ventaro Ruvo Update", 0x16C0, 0x05DF};

namespace updater::hid {

namespace {

// A device without the string matches no identity.
bool same_text(const std::optional<std::string>& text, const std::string& expected) {
    return text && *text == expected;
}

// The backend's own words after the engine's line, so that the kernel's reason
// reaches the log console.
void log_backend_error(const log_target_t& log, const std::string& text) {
    if (!text.empty()) log_line(log, "HID: %s", printable(text).c_str());
}

// Right after a bootloader appears, udev may not yet have given us access.
constexpr auto permission_retry = std::chrono::seconds(2);

result_t<std::unique_ptr<hid_io::handle_t>> open_with_retry(const char* path, const log_target_t& log) {
    const auto give_up = std::chrono::steady_clock::now() + permission_retry;
    for (;;) {
        result_t<std::unique_ptr<hid_io::handle_t>> opened = hid_io::backend().open(path);
        if (opened) return opened;
        const int code = opened.failure().code;
        const bool denied = code == EACCES || code == EPERM ||
                            (::access(path, R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM));
        if (!denied) return opened;
        if (std::chrono::steady_clock::now() >= give_up) {
            log_line(log,
                     "Access to %s was denied: install the udev rule "
                     "/usr/lib/udev/rules.d/70-ventaro-update.rules and plug the device in again.",
                     printable(path).c_str());
            return failure_t{EACCES, opened.failure().text};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace

void owned_handle_t::close() {
    if (!device_) return;
    sync_main([this] { device_.reset(); });
}

bool connected(const std::string& path) {
    const std::vector<hid_io::device_info_t> devices = hid_io::backend().enumerate();
    return std::any_of(devices.begin(), devices.end(), [&](const auto& d) { return d.path == path; });
}

bool matches(const hid_io::device_info_t& device, const usb_descriptor_t& descriptor) {
    return device.vendor_id == descriptor.vendor_id && device.product_id == descriptor.product_id &&
           same_text(device.manufacturer, descriptor.manufacturer) && same_text(device.product, descriptor.product);
}

std::vector<found_bootloader_t> matching_devices(kind_t kind) {
    struct row_t {
        const usb_descriptor_t* descriptor;
        kind_t result;
    };
    std::vector<row_t> rows;
    switch (kind) {
        case kind_t::any:
            rows = {{&usb_descriptor_bootloader_ventaro_v1, kind_t::any},
                    {&usb_descriptor_bootloader_ventaro, kind_t::ventaro},
                    {&usb_descriptor_bootloader_ruvo, kind_t::ruvo},
                    {&usb_descriptor_bootloader_ruvo2, kind_t::ruvo}};
            break;
        case kind_t::ventaro:
            rows = {{&usb_descriptor_bootloader_ventaro_v1, kind_t::ventaro},
                    {&usb_descriptor_bootloader_ventaro, kind_t::ventaro}};
            break;
        case kind_t::ruvo:
            rows = {{&usb_descriptor_bootloader_ventaro_v1, kind_t::ruvo},
                    {&usb_descriptor_bootloader_ruvo, kind_t::ruvo},
                    {&usb_descriptor_bootloader_ruvo2, kind_t::ruvo}};
            break;
    }

    std::vector<found_bootloader_t> found;
    for (const hid_io::device_info_t& d : hid_io::backend().enumerate())
        for (const row_t& row : rows)
            if (matches(d, *row.descriptor)) {
                found.push_back({d.path, row.result, d.usb_port});
                if (row.descriptor == &usb_descriptor_bootloader_ventaro_v1)
                    found.back().state = device_state_t::first_generation_bootloader;
                break;
            }
    return found;
}

found_bootloader_t first_matching_device(kind_t kind) {
    const std::vector<found_bootloader_t> found = matching_devices(kind);
    return found.empty() ? found_bootloader_t{} : found.front();
}

void append(std::vector<roundtrip_t>& sequence, const update_plan_t& plan) {
    // From the erase of sector 0 until the device confirms the last write into
    // it, the vector table that starts the device is gone. Sector 0's writes are
    // the ones between its erase and the next erase; the first may begin past
    // its first byte, when the image's block 0 begins with 0xFF.
    const auto& actions = plan.actions;
    std::size_t last_sector0_write = actions.size();
    for (std::size_t i = 0; i < actions.size(); ++i) {
        if (actions[i].operation != update_action_t::operation_t::erase || actions[i].address != 0) continue;
        for (std::size_t j = i + 1; j < actions.size() && actions[j].operation == update_action_t::operation_t::write;
             ++j)
            last_sector0_write = j;
    }
    bool sector0_erased = false;
    for (std::size_t i = 0; i < actions.size(); ++i) {
        const update_action_t& action = actions[i];
        if (action.operation == update_action_t::operation_t::erase) {
            if (action.address == 0) sector0_erased = true;
            roundtrip_t erase = make_command({uhb::cmd_code::erase, uint32_t(action.address), uint16_t(action.count)});
            erase.check = uhb::check_response<uhb::cmd_code::erase>;
            erase.timeout_ms = 4000;
            erase.leaves_sector0_erased = sector0_erased;
            sequence.push_back(std::move(erase));
        } else if (action.operation == update_action_t::operation_t::write) {
            roundtrip_t write = make_command({uhb::cmd_code::write, uint32_t(action.address), uint16_t(action.size)});
            write.leaves_sector0_erased = sector0_erased;
            sequence.push_back(std::move(write));
            for (uint64_t offset = 0; offset < action.size; offset += uhb::report_size) {
                roundtrip_t data;
                const uint64_t n = std::min<uint64_t>(uhb::report_size, action.size - offset);
                std::memset(data.request, 0xFF, sizeof data.request);
                std::memcpy(data.request, action.data + offset, n);
                const bool last = offset + uhb::report_size >= action.size;
                if (last) {
                    data.check = uhb::check_response<uhb::cmd_code::write>;
                    data.timeout_ms = 4000;
                    if (i == last_sector0_write) sector0_erased = false;
                }
                data.leaves_sector0_erased = sector0_erased;
                sequence.push_back(std::move(data));
            }
        }
    }
}

std::vector<roundtrip_t> make_programming_sequence(const update_plan_t& plan) {
    std::vector<roundtrip_t> sequence;
    roundtrip_t info = make_command({uhb::cmd_code::info});
    // Nothing is erased before the device has said where its bootloader begins:
    // erasing it would leave no way back.
    info.check = [reach = plan_reach(plan), base = plan.base_address](
                     const uint8_t* data, std::size_t length) -> std::optional<uhb::wrong_answer_t> {
        if (auto wrong = uhb::check_response<uhb::cmd_code::info>(data, length)) return wrong;
        uhb::info_t record;
        record.read(data, length);
        if (reach > uhb::bootloader_offset_of(record, base))
            return uhb::wrong_answer_t{failure_kind_t::would_overwrite_bootloader,
                                       ZAL_TEXT("Engine", "The update would overwrite the device's bootloader.")};
        return std::nullopt;
    };
    roundtrip_t boot = make_command({uhb::cmd_code::boot});
    boot.check = uhb::check_response<uhb::cmd_code::boot>;
    roundtrip_t sync = make_command({uhb::cmd_code::sync});
    sync.check = uhb::check_response<uhb::cmd_code::sync>;
    sequence.push_back(std::move(info));
    sequence.push_back(std::move(boot));
    sequence.push_back(std::move(sync));
    append(sequence, plan);
    sequence.push_back(make_command({uhb::cmd_code::reboot}));
    return sequence;
}

namespace {

// A report still waiting in the input buffer (an answer that came twice, or too
// late for its request) must never pass for the answer to the next request.
void discard_stale_reports(hid_io::handle_t& device, const log_target_t& log) {
    unsigned char buffer[uhb::report_size];
    for (int i = 0; i < 64; ++i) {
        const result_t<std::size_t> read = device.read(buffer, sizeof buffer, 0);
        if (!read || *read == 0) return;
        log_line(log, "Discarded a stale HID report.");
    }
}

// Throws exchange_error_t when the exchange fails.
void exchange(const roundtrip_t& roundtrip, hid_io::handle_t& device, const log_target_t& log) {
    if (roundtrip.check) discard_stale_reports(device, log);
    unsigned char report[uhb::report_size + 1];
    report[0] = 0;  // report number
    std::memcpy(report + 1, roundtrip.request, uhb::report_size);
    const result_t<std::size_t> written = device.write(report, sizeof report);
    if (!written) {
        log_backend_error(log, written.failure().text);
        throw unsent_t(failure_kind_t::disconnected, ZAL_TEXT("Engine", "Could not write a HID report."),
                       written.failure().code);
    }
    if (*written != sizeof report)
        throw exchange_error_t(failure_kind_t::disconnected, ZAL_TEXT("Engine", "Could not write a HID report."));
    if (!roundtrip.check) return;
    unsigned char buffer[uhb::report_size] = {};
    const result_t<std::size_t> read =
        device.read(buffer, sizeof buffer, roundtrip.timeout_ms ? roundtrip.timeout_ms : 500);
    if (!read) {
        log_backend_error(log, read.failure().text);
        throw exchange_error_t(failure_kind_t::disconnected, ZAL_TEXT("Engine", "Could not read a HID report."));
    }
    if (*read == 0)
        throw exchange_error_t(failure_kind_t::silent, ZAL_TEXT("Engine", "No HID packet received after timeout."));
    if (const auto wrong = roundtrip.check(buffer, *read)) throw exchange_error_t(wrong->kind, wrong->text);
}

}  // namespace

void run_sequence(const std::vector<roundtrip_t>& sequence, const char* path,
                  const std::function<bool(std::size_t done, std::size_t total)>& progress, const log_target_t& log) {
    const std::size_t n = sequence.size();
    if (n == 0) {
        log_line(log, "No work to do.");
        return;
    }
    log_line(log, "Will execute %zu HID roundtrip%s.", n, n == 1 ? "" : "s");
    result_t<std::unique_ptr<hid_io::handle_t>> opened = open_with_retry(path, log);
    if (!opened) {
        log_backend_error(log, opened.failure().text);
        const int code = opened.failure().code;
        throw unopened_t(code == EACCES || code == EPERM ? failure_kind_t::access_denied : failure_kind_t::disconnected,
                         ZAL_TEXT("Engine", "Unable to connect to HID device."));
    }
    owned_handle_t device(std::move(*opened));
    bool cancelled = false;
    for (std::size_t i = 0; i < n; ++i) {
        try {
            exchange(sequence[i], device.get(), log);
        } catch (const std::exception& e) {
            log_line(log, "Error on roundtrip #%zu: %s", i, e.what());
            device.close();
            if (const auto* unsent = dynamic_cast<const unsent_t*>(&e); unsent && i == 0)
                throw unopened_t(unsent->kind, e.what(), unsent->code == ENODEV);
            throw;
        }
        if (progress && !progress(i, n)) cancelled = true;
        if (cancelled && !sequence[i].leaves_sector0_erased) {
            log_line(log, "Cancelled at roundtrip #%zu.", i);
            device.close();
            return;
        }
    }
    device.close();
    if (progress) progress(n, n);
}

}  // namespace updater::hid
}  // namespace zal
