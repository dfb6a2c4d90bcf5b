#include "devices/simulated_device.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
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
constexpr uint32_t late_answer_ms = 4500;  // past the longest time-out of the engine
constexpr int sector_count = 12;

using steady = std::chrono::steady_clock;

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

// Without a given flash, the device holds only what its firmware needs to start
// through the bootloader: a vector table whose reset enters the bootloader, and
// the bootloader's jump stub. The rest of that firmware is not modelled.
void put_factory_firmware(std::vector<uint8_t>& flash) {
    std::fill(flash.begin(), flash.begin() + bootloader_offset, 0xFF);
    const uint32_t words[] = {0x20020000, flash_base + bootloader_offset + 1};
    for (std::size_t w = 0; w < 2; ++w)
        for (std::size_t i = 0; i < 4; ++i) flash[w * 4 + i] = uint8_t(words[w] >> (8 * i));
    std::fill(flash.begin() + stub_offset, flash.begin() + bootloader_offset, 0x47);
}

// Bytes the simulation keeps in the bootloader's own sector.
std::vector<uint8_t> initial_flash() {
    std::vector<uint8_t> flash(flash_size, 0xFF);
    for (uint32_t i = bootloader_offset; i < flash_size; ++i) flash[i] = uint8_t(i * 7 + 3);
    return flash;
}

}  // namespace

std::optional<fault_t> parse_fault(const std::string& fault, std::string& error) {
    const std::size_t colon = fault.find(':');
    const std::string name = fault.substr(0, colon);
    const std::string value = colon == std::string::npos ? std::string() : fault.substr(colon + 1);
    auto counted = [&](fault_t::type_t type, const char* what) -> std::optional<fault_t> {
        const bool digits = !value.empty() && value.size() <= 9 &&
                            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!digits) {
            error = "fault '" + fault + "' needs " + what + ", as in " + name + ":12";
            return std::nullopt;
        }
        return fault_t{type, std::stoull(value), {}};
    };
    using type_t = fault_t::type_t;
    if (name == "unplug-at-request" && value.empty()) return fault_t{type_t::unplug_at_request, 0, {}};
    if (name == "unplug-at-stage2" && value.empty()) return fault_t{type_t::unplug_at_stage2, 0, {}};
    if (name == "refuse-send" && value.empty()) return fault_t{type_t::refuse_send, 0, {}};
    if (name == "short-info" && value.empty()) return fault_t{type_t::short_info, 0, {}};
    if (name == "stage2-stall" && value.empty()) return fault_t{type_t::stage2_stall, 1, {}};
    if (name == "stage2-stall") return counted(type_t::stage2_stall, "a number of reports");
    if (name == "unplug-at-roundtrip") return counted(type_t::unplug_at_roundtrip, "a roundtrip number");
    if (name == "no-answer") return counted(type_t::no_answer, "a roundtrip number");
    if (name == "wrong-answer") return counted(type_t::wrong_answer, "a roundtrip number");
    if (name == "power-cut") return counted(type_t::power_cut, "a roundtrip number");
    if (name == "late-answer") return counted(type_t::late_answer, "a roundtrip number");
    if (name == "duplicate-answer") return counted(type_t::duplicate_answer, "a roundtrip number");
    if (name == "short-answer") return counted(type_t::short_answer, "a roundtrip number");
    if (name == "slow-erase") return counted(type_t::slow_erase, "a time in milliseconds");
    if (name == "slow-enumeration") return counted(type_t::slow_enumeration, "a time in milliseconds");
    if (name == "refuse-open") return counted(type_t::refuse_open, "a time in milliseconds");
    if (name == "stage2-error" && !value.empty()) return fault_t{type_t::stage2_error, 0, value};
    error = "unknown fault '" + fault + "'";
    return std::nullopt;
}

std::vector<firmware_t> stage2_images_of(const update_t& update) {
    std::vector<firmware_t> images;
    for (const auto* device : {&update.ventaro, &update.ruvo})
        if (*device && (*device)->stage2 && !(*device)->stage2->sectors.empty()) images.push_back(*(*device)->stage2);
    return images;
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
            put_factory_firmware(flash);
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
    struct answer_t {
        steady::time_point at;  // when it reaches the host
        std::vector<uint8_t> bytes;
    };
    std::deque<answer_t> answers;
    std::condition_variable answered;
    // Until when the bootloader's node refuses to open (steady clock, ns); read
    // without the device's lock, under the HID registry's.
    std::atomic<int64_t> open_refused_until{0};
    bool booted = false;
    // When each sector was last erased or written: a start runs the firmware
    // that was written last.
    std::array<uint64_t, sector_count> sector_written{};
    uint64_t write_serial = 0;
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
            using t = fault_t::type_t;
            const bool counted = type == t::unplug_at_roundtrip || type == t::no_answer || type == t::wrong_answer ||
                                 type == t::power_cut || type == t::late_answer || type == t::duplicate_answer ||
                                 type == t::short_answer;
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
        answers.clear();
        answered.notify_all();
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
        stage2_done = false;
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
        if (const fault_t* refuse = pending_fault(fault_t::type_t::refuse_open)) {
            const auto until = steady::now() + std::chrono::milliseconds(refuse->roundtrip);
            open_refused_until = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
            take_fault(fault_t::type_t::refuse_open);
        }
        hid_path = hid_plug(identity, std::make_shared<endpoint_t>(weak_from_this()));
        later(options.boot_wait_ms, &impl::boot_timeout);
    }

    // How long the device takes to show up again after a restart.
    uint32_t reenumeration_ms() {
        if (const fault_t* slow = pending_fault(fault_t::type_t::slow_enumeration)) {
            const uint32_t ms = uint32_t(slow->roundtrip);
            take_fault(fault_t::type_t::slow_enumeration);
            return ms;
        }
        return reboot_ms;
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
            start_application(true);
    }

    bool application_present() const {
        const uint32_t reset = le32(flash, 4);
        const bool via_stub = (reset & ~1u) % flash_base >= bootloader_offset;
        if (!via_stub) return reset != 0xFFFFFFFF;
        return !std::all_of(flash.begin() + stub_offset, flash.begin() + bootloader_offset, [](uint8_t b) { return b == 0xFF; });
    }

    void boot_timeout() {
        if (mode == mode_t::bootloader && !booted && application_present()) start_application(true);
    }

    // Whether the flash holds this image whole, and nothing was written after it.
    bool holds_newest(const firmware_t& image) const {
        uint64_t own = 0, others = 0;
        for (int i = 0; i < sector_count; ++i) {
            const auto block = image.sectors.find(uint64_t(i));
            if (block == image.sectors.end()) {
                others = std::max(others, sector_written[std::size_t(i)]);
                continue;
            }
            const uint32_t start = image.flash_map.sectors[i].base_address - flash_base;
            if (start + block->second.size() > flash.size() ||
                !std::equal(block->second.begin(), block->second.end(), flash.begin() + start))
                return false;
            own = std::max(own, sector_written[std::size_t(i)]);
        }
        return own >= others;
    }

    void restart_after_programming() { start_application(true); }

    // `counted`: a start after programming, which `application_starts` counts.
    void start_application(bool counted) {
        if (!application_present()) {
            start_bootloader();  // nothing to start: the bootloader keeps control
            return;
        }
        const bool stage2 = std::any_of(options.stage2_images.begin(), options.stage2_images.end(),
                                        [&](const firmware_t& image) { return holds_newest(image); });
        if (stage2) {
            start_stage2_firmware();
        } else {
            if (counted) ++app_starts;
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
                later(reenumeration_ms(), &impl::start_bootloader);
            }
            return;
        }
        if (mode == mode_t::stage2) {
            if (std::equal(message.begin(), message.end(), stage2_status_request.begin(), stage2_status_request.end())) {
                ++status_requests;
                if (take_fault(fault_t::type_t::unplug_at_stage2)) later(unplug_after_ms, &impl::disconnect);
                const fault_t* stall = pending_fault(fault_t::type_t::stage2_stall);
                if (stall && stall->roundtrip == 0) return;  // a firmware that never answers
                if (stage2_done) {
                    later(answer_ms, &impl::report_stage2_complete);  // asked again: it is still done
                } else if (!stage2_reporting) {
                    // Asked after an error too: the stage-2 firmware starts its work over.
                    stage2_reporting = true;
                    stage2_step = 0;
                    later(answer_ms, &impl::report_stage2);
                }
            } else if (std::equal(message.begin(), message.end(), stage2_finish_request.begin(), stage2_finish_request.end())) {
                disconnect();
                later(reenumeration_ms(), &impl::power_on);
            }
        }
    }

    int stage2_step = 0;
    bool stage2_done = false;

    void report_stage2_complete() {
        if (mode == mode_t::stage2) send_stage2({0xFF, 0x03});
    }

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
            stage2_reporting = false;
            return;
        }
        if (stage2_step > stage2_steps) {
            stage2_done = true;
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
        int read(uint8_t* data, std::size_t length, int timeout_ms) override {
            auto self = device.lock();
            if (!self) return -1;
            std::unique_lock lock(self->mutex);
            const auto deadline = steady::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
            for (;;) {
                if (self->mode != mode_t::bootloader) return -1;
                const auto now = steady::now();
                if (!self->answers.empty() && self->answers.front().at <= now) {
                    const std::vector<uint8_t> bytes = std::move(self->answers.front().bytes);
                    self->answers.pop_front();
                    const std::size_t n = std::min(length, bytes.size());
                    std::memcpy(data, bytes.data(), n);
                    return int(n);
                }
                if (now >= deadline) return 0;
                const auto wake = self->answers.empty() ? deadline : std::min(deadline, self->answers.front().at);
                self->answered.wait_until(lock, wake);
            }
        }
        bool may_open() override {
            auto self = device.lock();
            if (!self) return true;
            const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(steady::now().time_since_epoch()).count();
            return now >= self->open_refused_until.load();
        }
        std::weak_ptr<impl> device;
    };

    void respond(std::vector<uint8_t> bytes, uint32_t delay_ms) {
        answers.push_back({steady::now() + std::chrono::milliseconds(delay_ms), std::move(bytes)});
        answered.notify_all();
    }

    static int sector_index(uint32_t offset) {
        for (int i = 0; i < flash_map_stm32f40x_41x.size; ++i) {
            const flash_sector_t& s = flash_map_stm32f40x_41x.sectors[i];
            if (offset >= s.base_address - flash_base && offset < s.base_address - flash_base + s.size) return i;
        }
        return -1;
    }

    void mark_written(uint32_t offset) {
        if (const int i = sector_index(offset); i >= 0) sector_written[std::size_t(i)] = ++write_serial;
    }

    void program(uint32_t offset, const uint8_t* bytes, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t at = offset + uint32_t(i);
            if (at >= bootloader_offset) continue;  // acknowledged, never stored
            flash[at] &= bytes[i];                   // flash can only clear bits
        }
        if (n > 0) mark_written(offset);
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
        const bool late = take_fault(fault_t::type_t::late_answer, k);
        const bool twice = take_fault(fault_t::type_t::duplicate_answer, k);
        const bool short_answer = take_fault(fault_t::type_t::short_answer, k);
        uint32_t delay = options.answer_ms;
        auto answer = [&](std::vector<uint8_t> bytes) {
            if (silent) return;
            if (short_answer) bytes.resize(1);
            const uint32_t at = late ? late_answer_ms : delay;
            if (twice) respond(bytes, at);
            respond(std::move(bytes), at);
        };
        auto echo = [&](uint8_t code) { answer({0x0F, uint8_t(wrong ? 0x00 : code)}); };

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
        case 2: {  // info
            std::vector<uint8_t> record = info_record(options.kind);
            if (wrong) record[2] = 36;
            if (take_fault(fault_t::type_t::short_info)) record.resize(55);
            answer(std::move(record));
            break;
        }
        case 3:  // boot: the host takes over, no more waiting for the application
            booted = true;
            echo(3);
            break;
        case 1: echo(1); break;
        case 21: {  // erase
            // The bootloader refuses to erase its own sector, and then erases nothing.
            uint32_t at = address;
            bool own_sector = false;
            for (uint16_t i = 0; i < count; ++i) {
                const auto [start, size] = sector_at(at);
                if (size == 0) break;
                own_sector = own_sector || start >= bootloader_offset;
                at = start + size;
            }
            if (own_sector) {
                answer({0x0F, 0x00});
                break;
            }
            at = address;
            for (uint16_t i = 0; i < count; ++i) {
                const auto [start, size] = sector_at(at);
                if (size == 0) break;
                std::fill(flash.begin() + start, flash.begin() + start + size, 0xFF);
                mark_written(start);
                at = start + size;
            }
            if (const fault_t* slow = pending_fault(fault_t::type_t::slow_erase)) {
                delay = uint32_t(slow->roundtrip);
                take_fault(fault_t::type_t::slow_erase);
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
            later(reenumeration_ms(), &impl::restart_after_programming);
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
        else if (impl_->options.flash.empty())
            impl_->start_normal_firmware();  // the firmware it came with, outside the flash model
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
