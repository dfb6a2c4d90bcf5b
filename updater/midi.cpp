// SPDX-License-Identifier: MIT
#include "updater/midi.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/text/printable.hpp"
#include "common/text/utf8.hpp"
#include "updater/log.hpp"

namespace zal::updater::midi {

namespace io = zal::midi::io;

namespace {

io::out_t first_out_of_kind(port_kind_t kind) {
    const std::size_t count = io::out_size();
    for (std::size_t i = 0; i < count; ++i) {
        const io::out_t out = io::out_get(i);
        if (port_kind_of(out) == kind) return out;
    }
    return io::no_out;
}

// The output of the device an input belongs to: the input's own endpoint when
// it is an output too (one ALSA port serves both directions), else the first
// output of its kind on the same USB port, so that with two devices of a kind
// the one that is listened to is the one that is asked.
io::out_t output_of(io::in_t in, port_kind_t kind, const std::string& usb_port) {
    const io::out_t own = io::out_t(uint64_t(in));
    if (port_kind_of(own) == kind) return own;
    if (usb_port.empty()) return first_out_of_kind(kind);
    const std::size_t count = io::out_size();
    for (std::size_t i = 0; i < count; ++i) {
        const io::out_t out = io::out_get(i);
        if (port_kind_of(out) == kind && io::get_usb_port(out) == usb_port) return out;
    }
    return io::no_out;
}

}  // namespace

port_kind_t port_kind(const std::string& model, const std::string& name) {
    if (model == "Ventaro Ruvo") {
        if (name.empty() || name == "Ventaro") return port_kind_t::ruvo;
        if (name == "MIDI DIN") return port_kind_t::ruvo_din;
        if (name == "USB-MIDI Host") return port_kind_t::ruvo_usb_host;
        return port_kind_t::none;
    }
    if (model == "Ventaro") return port_kind_t::ventaro;
    if (model == "Ventaro Updater") return port_kind_t::ventaro_updater;
    if (model == "Ruvo Updater") return port_kind_t::ruvo_updater;
    if (model == "Panda-Audio midiBeam") return port_kind_t::midibeam;
    if (model == "BCR2000") return port_kind_t::bcr2000;
    return port_kind_t::none;
}

// Only the Ruvo's ports differ by their names.
port_kind_t port_kind_of(io::in_t in) {
    const std::string model = io::get_model(in);
    return port_kind(model, model == "Ventaro Ruvo" ? io::get_port_name(in) : std::string());
}

port_kind_t port_kind_of(io::out_t out) {
    const std::string model = io::get_model(out);
    return port_kind(model, model == "Ventaro Ruvo" ? io::get_port_name(out) : std::string());
}

kind_t device_kind_of(port_kind_t port) {
    switch (port) {
        case port_kind_t::ventaro:
        case port_kind_t::ventaro_updater: return kind_t::ventaro;
        case port_kind_t::ruvo:
        case port_kind_t::ruvo_updater: return kind_t::ruvo;
        default: return kind_t::any;
    }
}

bool is_stage2_port(port_kind_t port) {
    return port == port_kind_t::ventaro_updater || port == port_kind_t::ruvo_updater;
}

bool bootloader_magic_key_t::read(const uint8_t* body, std::size_t length) {
    if (length != 8 || !from_our_manufacturer(body, length) || body[3] != 0x7F) return false;
    std::memcpy(k.data(), body + 4, 4);
    return true;
}

std::array<uint8_t, 10> bootloader_confirmation(const bootloader_magic_key_t& key) {
    std::array<uint8_t, 10> bytes = sysex_of(std::array<uint8_t, 5>{0x7F});
    for (int i = 0; i < 4; ++i) bytes[5 + i] = uint8_t(~key.k[i] & 0x7F);
    return bytes;
}

running_device_t first_matching_device(kind_t kind, const std::function<bool(const running_device_t&)>& accept,
                                       const log_target_t& log, std::optional<std::string>* told_inputs) {
    const std::size_t count = io::in_size();
    std::string inputs;
    for (std::size_t i = 0; i < count; ++i) inputs += (i ? ", " : "") + printable(io::get_name(io::in_get(i)));
    if (!told_inputs || *told_inputs != inputs) {
        log_line(log, "MIDI devices: %s.", inputs.empty() ? "none" : inputs.c_str());
        if (told_inputs) *told_inputs = inputs;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const io::in_t in = io::in_get(i);
        const port_kind_t port = port_kind_of(in);
        const kind_t mapped = device_kind_of(port);
        if (mapped == kind_t::any || (kind != kind_t::any && kind != mapped)) continue;
        const std::string usb_port = io::get_usb_port(in);
        const io::out_t out = output_of(in, port, usb_port);
        if (out == io::no_out) continue;
        running_device_t device{in, out, mapped, usb_port};
        if (accept && !accept(device)) continue;
        return device;
    }
    return {};
}

std::vector<uint8_t> sysex(const std::vector<uint8_t>& content) {
    // Sized once and filled: GCC 14 takes push_back's growth after a reserve
    // for a free of a pointer it never allocated.
    std::vector<uint8_t> bytes(1 + std::size(manufacturer_id) + content.size() + 1);
    bytes.front() = 0xF0;
    const auto body = std::copy(std::begin(manufacturer_id), std::end(manufacturer_id), bytes.begin() + 1);
    std::copy(content.begin(), content.end(), body);
    bytes.back() = 0xF7;
    return bytes;
}

std::vector<uint8_t> bootloader_key_message(const bootloader_magic_key_t& key) {
    return sysex({0x7F, key.k[0], key.k[1], key.k[2], key.k[3]});
}

std::vector<uint8_t> stage2_report_message(const stage2_report_t& report) {
    std::vector<uint8_t> decoded;
    decoded.reserve(2 + 1 + 64);  // the longest report: an error with its text
    decoded.push_back(0xFF);
    decoded.push_back(uint8_t(report.type));
    switch (report.type) {
        case stage2_report_t::type_t::progress: {
            uint32_t bits;
            std::memcpy(&bits, &report.progress, sizeof bits);
            for (int i = 0; i < 4; ++i) decoded.push_back(uint8_t(bits >> (8 * i)));
            break;
        }
        case stage2_report_t::type_t::error: {
            const std::string text = report.text.substr(0, 64);
            decoded.push_back(uint8_t(text.size()));
            decoded.insert(decoded.end(), text.begin(), text.end());
            break;
        }
        case stage2_report_t::type_t::complete: break;
    }
    return sysex(escape(decoded));
}

bool runs_stage2_firmware(const running_device_t& device) { return is_stage2_port(port_kind_of(device.in)); }

result_t<void> send_bootloader_request(io::out_t out) {
    if (out == io::no_out) return failure_t{ENODEV, "No MIDI output"};
    return io::send(out, bootloader_request.data(), bootloader_request.size());
}

result_t<void> send_bootloader_confirmation(io::out_t out, const bootloader_magic_key_t& key) {
    const std::array<uint8_t, 10> bytes = bootloader_confirmation(key);
    return io::send(out, bytes.data(), bytes.size());
}

std::vector<uint8_t> unescape(const uint8_t* content, std::size_t length) {
    std::vector<uint8_t> decoded;
    decoded.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        if (content[i] == 0x01 || content[i] == 0x02) {
            if (i + 1 == length) break;  // an escape at the very end decodes to nothing
            decoded.push_back(content[i] == 0x01 ? uint8_t(content[i + 1] | 0x80) : content[i + 1]);
            ++i;
        } else {
            decoded.push_back(content[i]);
        }
    }
    return decoded;
}

std::vector<uint8_t> escape(const std::vector<uint8_t>& decoded) {
    std::vector<uint8_t> content;
    for (uint8_t b : decoded) {
        if (b >= 0x80) {
            content.push_back(0x01);
            content.push_back(b & 0x7F);
        } else if (b == 0x01 || b == 0x02) {
            content.push_back(0x02);
            content.push_back(b);
        } else {
            content.push_back(b);
        }
    }
    return content;
}

std::optional<stage2_report_t> read_stage2_report(const uint8_t* body, std::size_t length) {
    if (length < 4 || length > 256 || !from_our_manufacturer(body, length)) return std::nullopt;
    const std::vector<uint8_t> p = unescape(body + 3, length - 3);
    if (p.size() < 2 || p[0] != 0xFF) return std::nullopt;
    switch (p[1]) {
        case 1: {
            if (p.size() != 6) return std::nullopt;
            const uint32_t bits = uint32_t(p[2]) | uint32_t(p[3]) << 8 | uint32_t(p[4]) << 16 | uint32_t(p[5]) << 24;
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return stage2_report_t{stage2_report_t::type_t::progress, value, {}};
        }
        case 2: {
            if (p.size() < 3 || p.size() > 67) return std::nullopt;
            const std::size_t n = std::min<std::size_t>({p[2], 64, p.size() - 3});
            std::string text(p.begin() + 3, p.begin() + 3 + long(n));
            text = text.c_str();  // the text ends at its first zero byte
            // Cut at 64 bytes, maybe inside a character: the whole characters before the cut stay.
            return stage2_report_t{stage2_report_t::type_t::error, 0, std::string(without_cut_character(text))};
        }
        case 3: return stage2_report_t{stage2_report_t::type_t::complete, 0, {}};
        default: return std::nullopt;
    }
}

}  // namespace zal::updater::midi
