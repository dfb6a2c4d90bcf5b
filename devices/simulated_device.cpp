#include "devices/simulated_device.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>

#include "common/async/async.hpp"
#include "devices/simulated_hid.hpp"
#include "updater/hid.hpp"
#include "updater/midi.hpp"

namespace zal::devices {

namespace {

using io_service = midi::io::service_t;

constexpr uint32_t bootloader_offset = 0xE0000;  // sector 11
constexpr uint32_t stub_offset = bootloader_offset - 20;
constexpr uint32_t reboot_ms = 150;
constexpr uint32_t power_back_ms = 1000;
constexpr uint32_t stage2_report_ms = 40;
constexpr int stage2_steps = 10;
constexpr uint32_t unplug_after_ms = 100;
constexpr uint32_t answer_ms = 3;  // a device answers a request after a few milliseconds

uint32_t le32(const std::vector<uint8_t>& bytes, std::size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 | uint32_t(bytes[at + 3]) << 24;
}

// The start address and size of the sector holding `offset` (from the flash base).
std::pair<uint32_t, uint32_t> sector_at(uint32_t offset) {
    for (int i = 0; i < flash_map_stm32f40x_41x.size; ++i) {
        const flash_sector_t& s = flash_map_stm32f40x_41x.sectors[i];
        const uint32_t start = s.base_address - flash_base;
        if (offset >= start && offset < start + s.size) return {start, s.size};
    }
    return {0, 0};
}

std::vector<uint8_t> info_record(kind_t kind) {
    // As an STM32F4 board's bootloader sends it, with our device's name.
    std::vector<uint8_t> r = {0x38, 0x01, 0x25, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x03, 0x00, 0x00,
                              0x40, 0x04, 0x00, 0x04, 0x00, 0x05, 0x00, 0x10, 0x13, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                              0x0e, 0x00, 0x07};
    const std::string name = kind == kind_t::ruvo ? "Ruvo" : "Ventaro";
    r.insert(r.end(), name.begin(), name.end());
    r.push_back(0);
    r.resize(64, 0);
    return r;
}

// Bytes the simulation keeps in the bootloader's own sector.
std::vector<uint8_t> initial_flash() {
    std::vector<uint8_t> flash(flash_size, 0xFF);
    for (uint32_t i = bootloader_offset; i < flash_size; ++i) flash[i] = uint8_t(i * 7 + 3);
    return flash;
}

}  // namespace

std::optional<fault_t> parse_fault(const std::string& spec, std::string& error) {
    const std::size_t colon = spec.find(':');
    const std::string name = spec.substr(0, colon);
    const std::string value = colon == std::string::npos ? std::string() : spec.substr(colon + 1);
    auto counted = [&](fault_t::type_t type) -> std::optional<fault_t> {
        char* end = nullptr;
        const unsigned long long k = std::strtoull(value.c_str(), &end, 10);
        if (value.empty() || *end != 0) {
            error = "fault '" + spec + "' needs a roundtrip number, as in " + name + ":12";
            return std::nullopt;
        }
        return fault_t{type, k, {}};
    };
    if (name == "unplug-at-request" && value.empty()) return fault_t{fault_t::type_t::unplug_at_request, 0, {}};
    if (name == "unplug-at-stage2" && value.empty()) return fault_t{fault_t::type_t::unplug_at_stage2, 0, {}};
    if (name == "refuse-send" && value.empty()) return fault_t{fault_t::type_t::refuse_send, 0, {}};
    if (name == "stage2-stall" && value.empty()) return fault_t{fault_t::type_t::stage2_stall, 1, {}};
    if (name == "stage2-stall") return counted(fault_t::type_t::stage2_stall);
    if (name == "unplug-at-roundtrip") return counted(fault_t::type_t::unplug_at_roundtrip);
    if (name == "no-answer") return counted(fault_t::type_t::no_answer);
    if (name == "wrong-answer") return counted(fault_t::type_t::wrong_answer);
    if (name == "power-cut") return counted(fault_t::type_t::power_cut);
    if (name == "stage2-error" && !value.empty()) return fault_t{fault_t::type_t::stage2_error, 0, value};
    error = "unknown fault '" + spec + "'";
    return std::nullopt;
}

const char* mode_name(mode_t mode) {
    switch (mode) {
    case mode_t::off: return "off";
    case mode_t::normal: return "normal firmware";
    case mode_t::bootloader: return "bootloader";
    case mode_t::stage2: return "stage-2 firmware";
    case mode_t::lost: return "lost";
    }
    return "?";
}

std::vector<uint8_t> expected_flash(const std::vector<uint8_t>& before, const firmware_t& image) {
    std::vector<uint8_t> flash = before;
    for (const auto& [index, block] : image.sectors) {
        const flash_sector_t& s = image.flash_map.sectors[index];
        const uint32_t start = s.base_address - flash_base;
        if (start >= bootloader_offset) continue;  // the bootloader keeps its sector
        std::fill(flash.begin() + start, flash.begin() + start + s.size, 0xFF);
        std::copy(block.begin(), block.end(), flash.begin() + start);
    }
    return flash;
}

struct simulated_device_t::impl : std::enable_shared_from_this<impl> {
    impl(midi::io::virtual_service_t& m, device_options_t o, scheduler_t s)
        : midi(m), options(std::move(o)), schedule(std::move(s)), flash(initial_flash()) {
        if (!options.flash.empty()) {
            std::copy_n(options.flash.begin(), std::min(options.flash.size(), std::size_t(bootloader_offset)), flash.begin());
        } else {
            std::fill(flash.begin(), flash.begin() + bootloader_offset, 0xFF);
        }
        if (!schedule) schedule = [](std::function<void()> task, uint32_t delay) { async_main(std::move(task), delay); };
        std::random_device seed;
        rng.seed(seed());
    }

    // --- state, under `mutex` ---
    mutable std::mutex mutex;
    midi::io::virtual_service_t& midi;
    device_options_t options;
    scheduler_t schedule;
    std::vector<uint8_t> flash;
    std::mt19937 rng;
    mode_t mode = mode_t::off;
    bool plugged_before = false;
    uint64_t epoch = 0;  // advanced at every change of mode: older timers do nothing
    uint64_t reports = 0;
    int app_starts = 0;
    std::vector<int32_t> ports;
    std::string hid_path;
    // bootloader
    std::optional<std::vector<uint8_t>> response;
    bool booted = false;
    uint32_t write_address = 0;
    uint32_t write_remaining = 0;
    // normal firmware
    std::array<uint8_t, 4> key{};
    // stage-2 firmware
    bool stage2_reporting = false;
    int status_requests = 0;

    // Every fault strikes once: a second run on the same device finds it healthy.
    std::vector<bool> fired = std::vector<bool>(options.faults.size(), false);

    bool take_fault(fault_t::type_t type, uint64_t roundtrip = 0) {
        for (std::size_t i = 0; i < options.faults.size(); ++i) {
            const fault_t& f = options.faults[i];
            const bool counted = type == fault_t::type_t::unplug_at_roundtrip || type == fault_t::type_t::no_answer ||
                                 type == fault_t::type_t::wrong_answer || type == fault_t::type_t::power_cut;
            if (f.type == type && !fired[i] && (!counted || f.roundtrip == roundtrip)) {
                fired[i] = true;
                return true;
            }
        }
        return false;
    }

    const fault_t* pending_fault(fault_t::type_t type) const {
        for (std::size_t i = 0; i < options.faults.size(); ++i)
            if (options.faults[i].type == type && !fired[i]) return &options.faults[i];
        return nullptr;
    }

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
        if (!ports.empty() && pending_fault(fault_t::type_t::refuse_send)) take_fault(fault_t::type_t::refuse_send);
        if (!ports.empty()) {
            for (int32_t id : ports) midi.remove_endpoint(id);
            ports.clear();
            midi.announce_setup_change();
        }
        if (!hid_path.empty()) {
            hid_unplug(hid_path);
            hid_path.clear();
        }
        response.reset();
        write_remaining = 0;
        stage2_reporting = false;
        mode = mode_t::off;
    }

    void add_ports(const std::string& model, const std::vector<std::string>& names) {
        std::weak_ptr<impl> weak = weak_from_this();
        for (const std::string& name : names) {
            const bool main_port = &name == &names.front();
            const int32_t id = midi.add_endpoint(model, name, model + " " + name, io_service::is_source | io_service::is_destination,
                                                 [weak, main_port](const uint8_t* bytes, std::size_t length) {
                                                     if (auto self = weak.lock()) self->on_midi(main_port, bytes, length);
                                                 });
            if (pending_fault(fault_t::type_t::refuse_send)) midi.set_send_refused(id, true);
            ports.push_back(id);
        }
        midi.announce_setup_change();
    }

    void start_normal_firmware() {
        disconnect();
        mode = mode_t::normal;
        for (uint8_t& k : key) k = uint8_t(rng() & 0x7F);
        if (options.kind == kind_t::ruvo)
            add_ports("Ventaro Ruvo", {"Ventaro", "MIDI DIN", "USB-MIDI Host"});
        else
            add_ports("Ventaro", {"MIDI 1"});
    }

    void start_stage2_firmware() {
        disconnect();
        mode = mode_t::stage2;
        add_ports(options.kind == kind_t::ruvo ? "Ruvo Updater" : "Ventaro Updater", {"MIDI 1"});
    }

    void start_bootloader() {
        disconnect();
        mode = mode_t::bootloader;
        booted = false;
        const std::wstring maker = std::wstring(L"Zalmir Instruments (") +
                                   std::wstring(maker_web_domain, maker_web_domain + std::strlen(maker_web_domain)) + L")";
        hid_identity_t identity{0x16C0, 0x05DF, maker, options.kind == kind_t::ruvo ? L"Ventaro Ruvo Update" : L"Ventaro Updater"};
        if (options.v1_bootloader) identity = {0x1234, 0x0001, L"Mikroelektronika", L"USB HID Bootloader"};
        hid_path = hid_plug(identity, std::make_shared<endpoint_t>(weak_from_this()));
        later(options.boot_wait_ms, &impl::boot_timeout);
    }

    // A reset: the vector table in sector 0 decides what runs.
    void power_on() {
        disconnect();
        const uint32_t reset = le32(flash, 4);
        const uint32_t target = (reset & ~1u) >= flash_base ? (reset & ~1u) - flash_base : (reset & ~1u);
        if (reset == 0xFFFFFFFF || target >= flash_size) {
            mode = mode_t::lost;  // nothing valid to start: the device no longer boots
            return;
        }
        if (target >= bootloader_offset)
            start_bootloader();
        else
            start_application();
    }

    bool application_present() const {
        const uint32_t reset = le32(flash, 4);
        const bool via_stub = (reset & ~1u) % flash_base >= bootloader_offset;
        if (!via_stub) return reset != 0xFFFFFFFF;
        return !std::all_of(flash.begin() + stub_offset, flash.begin() + bootloader_offset, [](uint8_t b) { return b == 0xFF; });
    }

    void boot_timeout() {
        if (mode == mode_t::bootloader && !booted && application_present()) start_application();
    }

    void start_application() {
        if (!application_present()) return;  // the bootloader stays
        const bool stage2 = std::any_of(options.stage2_sector0.begin(), options.stage2_sector0.end(), [&](const auto& block) {
            return !block.empty() && block.size() <= flash.size() && std::equal(block.begin(), block.end(), flash.begin());
        });
        if (stage2) {
            start_stage2_firmware();
        } else {
            ++app_starts;
            start_normal_firmware();
        }
    }

    // --- MIDI, on the wire thread ---
    void on_midi(bool main_port, const uint8_t* bytes, std::size_t length) {
        std::lock_guard lock(mutex);
        const std::vector<uint8_t> message(bytes, bytes + length);
        using updater::midi::bootloader_request;
        using updater::midi::stage2_finish_request;
        using updater::midi::stage2_status_request;
        if (mode == mode_t::normal && main_port) {
            if (std::equal(message.begin(), message.end(), bootloader_request.begin(), bootloader_request.end())) {
                if (take_fault(fault_t::type_t::unplug_at_request)) {
                    later(unplug_after_ms, &impl::disconnect);  // once the host listens
                    return;
                }
                later(answer_ms, &impl::send_key);
                return;
            }
            updater::midi::bootloader_magic_key_t k;
            k.k = key;
            const auto confirmation = updater::midi::bootloader_confirmation(k);
            if (std::equal(message.begin(), message.end(), confirmation.begin(), confirmation.end())) {
                disconnect();  // the firmware jumps to its bootloader
                later(reboot_ms, &impl::start_bootloader);
            }
            return;
        }
        if (mode == mode_t::stage2) {
            if (std::equal(message.begin(), message.end(), stage2_status_request.begin(), stage2_status_request.end())) {
                ++status_requests;
                if (take_fault(fault_t::type_t::unplug_at_stage2)) later(unplug_after_ms, &impl::disconnect);
                const fault_t* stall = pending_fault(fault_t::type_t::stage2_stall);
                if (stall && stall->roundtrip == 0) return;  // a firmware that never answers
                if (!stage2_reporting) {
                    stage2_reporting = true;
                    stage2_step = 0;
                    later(answer_ms, &impl::report_stage2);
                }
            } else if (std::equal(message.begin(), message.end(), stage2_finish_request.begin(), stage2_finish_request.end())) {
                disconnect();
                later(reboot_ms, &impl::power_on);
            }
        }
    }

    int stage2_step = 0;

    void send_key() {
        if (mode != mode_t::normal || ports.empty()) return;
        const uint8_t reply[] = {0xF0, 0x00, 0x31, 0x33, 0x7F, key[0], key[1], key[2], key[3], 0xF7};
        midi.device_send(ports.front(), reply, sizeof reply);
    }

    void send_stage2(const std::vector<uint8_t>& decoded) {
        std::vector<uint8_t> bytes = {0xF0, 0x00, 0x31, 0x33};
        const std::vector<uint8_t> content = updater::midi::escape(decoded);
        bytes.insert(bytes.end(), content.begin(), content.end());
        bytes.push_back(0xF7);
        midi.device_send(ports.front(), bytes.data(), bytes.size());
    }

    void report_stage2() {
        if (mode != mode_t::stage2) return;
        const fault_t* error = pending_fault(fault_t::type_t::stage2_error);
        if (error && stage2_step == stage2_steps / 2) {
            take_fault(fault_t::type_t::stage2_error);
            const std::string text = error->text.substr(0, 64);
            std::vector<uint8_t> decoded = {0xFF, 0x02, uint8_t(text.size())};
            for (char c : text) decoded.push_back(uint8_t(c));
            send_stage2(decoded);
            return;
        }
        if (stage2_step > stage2_steps) {
            send_stage2({0xFF, 0x03});
            return;
        }
        const float value = float(stage2_step) / float(stage2_steps);
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        send_stage2({0xFF, 0x01, uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)});
        ++stage2_step;
        if (const fault_t* stall = pending_fault(fault_t::type_t::stage2_stall); stall && stage2_step == int(stall->roundtrip)) {
            take_fault(fault_t::type_t::stage2_stall);
            return;
        }
        later(stage2_report_ms, &impl::report_stage2);
    }

    // --- HID, on the programming worker ---
    struct endpoint_t : hid_endpoint_t {
        explicit endpoint_t(std::weak_ptr<impl> d) : device(std::move(d)) {}
        int write(const uint8_t* data, std::size_t length) override {
            auto self = device.lock();
            return self ? self->on_report(data, length) : -1;
        }
        int read(uint8_t* data, std::size_t length, int) override {
            auto self = device.lock();
            if (!self) return -1;
            std::lock_guard lock(self->mutex);
            if (self->mode != mode_t::bootloader) return -1;
            if (!self->response) return 0;  // a time-out passes at once in the simulation
            const std::size_t n = std::min(length, self->response->size());
            std::memcpy(data, self->response->data(), n);
            self->response.reset();
            return int(n);
        }
        std::weak_ptr<impl> device;
    };

    void respond(std::vector<uint8_t> bytes) { response = std::move(bytes); }

    void program(uint32_t offset, const uint8_t* bytes, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t at = offset + uint32_t(i);
            if (at >= bootloader_offset) continue;  // acknowledged, never stored
            flash[at] &= bytes[i];                   // flash can only clear bits
        }
    }

    // Tests hold the programming worker at a chosen report.
    std::condition_variable resumed;
    std::optional<uint64_t> pause_at;
    bool paused = false;

    int on_report(const uint8_t* data, std::size_t length) {
        std::unique_lock lock(mutex);
        if (mode != mode_t::bootloader || length != 65) return -1;
        if (pause_at && *pause_at == reports) {
            paused = true;
            resumed.wait(lock, [this] { return !pause_at; });
            paused = false;
            if (mode != mode_t::bootloader) return -1;
        }
        const uint64_t k = reports++;
        if (take_fault(fault_t::type_t::power_cut, k)) {
            disconnect();
            later(power_back_ms, &impl::power_on);
            return -1;
        }
        if (take_fault(fault_t::type_t::unplug_at_roundtrip, k)) {
            disconnect();
            return -1;
        }
        const uint8_t* report = data + 1;
        const bool silent = take_fault(fault_t::type_t::no_answer, k);
        const bool wrong = take_fault(fault_t::type_t::wrong_answer, k);
        auto echo = [&](uint8_t code) {
            if (!silent) respond({0x0F, uint8_t(wrong ? 0x00 : code)});
        };

        if (write_remaining > 0) {
            const uint32_t n = std::min<uint32_t>(write_remaining, 64);
            program(write_address, report, n);
            write_address += n;
            write_remaining -= n;
            if (write_remaining == 0) echo(11);
            return 65;
        }
        if (report[0] != 0x0F) return 65;  // not a command: ignored
        const uint32_t address = uint32_t(report[2]) | uint32_t(report[3]) << 8 | uint32_t(report[4]) << 16 | uint32_t(report[5]) << 24;
        const uint16_t count = uint16_t(report[6] | report[7] << 8);
        switch (report[1]) {
        case 2:  // info
            if (!silent) {
                std::vector<uint8_t> record = info_record(options.kind);
                if (wrong) record[2] = 36;
                respond(record);
            }
            break;
        case 3:  // boot: the host takes over, no more waiting for the application
            booted = true;
            echo(3);
            break;
        case 1: echo(1); break;
        case 21: {  // erase
            uint32_t at = address;
            for (uint16_t i = 0; i < count; ++i) {
                const auto [start, size] = sector_at(at);
                if (size == 0) break;
                if (start < bootloader_offset) std::fill(flash.begin() + start, flash.begin() + start + size, 0xFF);
                at = start + size;
            }
            echo(21);
            break;
        }
        case 11:  // write: data reports follow
            write_address = address;
            write_remaining = count;
            break;
        case 4:  // reboot: start what was written
            disconnect();
            later(reboot_ms, &impl::start_application);
            break;
        default: break;
        }
        return 65;
    }
};

simulated_device_t::simulated_device_t(midi::io::virtual_service_t& midi, device_options_t options, scheduler_t schedule)
    : impl_(std::make_shared<impl>(midi, std::move(options), std::move(schedule))) {}

simulated_device_t::~simulated_device_t() {
    std::lock_guard lock(impl_->mutex);
    impl_->disconnect();
}

void simulated_device_t::plug() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->mode != mode_t::off && impl_->mode != mode_t::lost) return;
    if (!impl_->plugged_before) {
        impl_->plugged_before = true;
        if (impl_->options.start_in_bootloader)
            impl_->start_bootloader();
        else
            impl_->start_normal_firmware();
        return;
    }
    impl_->power_on();
}

void simulated_device_t::unplug() {
    std::lock_guard lock(impl_->mutex);
    impl_->disconnect();
}

mode_t simulated_device_t::mode() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->mode;
}

std::vector<uint8_t> simulated_device_t::flash() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->flash;
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
    return impl_->status_requests;
}

int simulated_device_t::application_starts() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->app_starts;
}

}  // namespace zal::devices
