// SPDX-License-Identifier: MIT
#include "updater/connected.hpp"

#include <algorithm>
#include <tuple>

#include "common/midi_io/midi_io.hpp"
#include "updater/hid.hpp"
#include "updater/midi.hpp"

namespace zal::updater {

namespace io = zal::midi::io;

std::vector<connected_device_t> connected_devices() {
    std::vector<connected_device_t> found;
    auto add = [&found](connected_device_t d) {
        if (std::find(found.begin(), found.end(), d) == found.end()) found.push_back(std::move(d));
    };
    for (const hid::found_bootloader_t& d : hid::matching_devices(kind_t::any))
        add({d.kind, d.state, d.usb_port, d.path});
    const std::size_t count = io::in_size();
    for (std::size_t i = 0; i < count; ++i) {
        const io::in_t in = io::in_get(i);
        const std::string port = io::get_usb_port(in);
        const midi::port_kind_t port_kind = midi::port_kind_of(in);
        if (const kind_t kind = midi::device_kind_of(port_kind); kind != kind_t::any)
            add({kind, midi::is_stage2_port(port_kind) ? device_state_t::stage2 : device_state_t::running, port, {}});
    }
    std::sort(found.begin(), found.end(), [](const connected_device_t& a, const connected_device_t& b) {
        return std::tie(a.usb_port, a.kind, a.state) < std::tie(b.usb_port, b.kind, b.state);
    });
    return found;
}

bool is_usb_port_path(const std::string& text) {
    // Linux numbers buses and ports in decimal, at most 3 digits each.
    auto number = [&text](std::size_t& at) {
        const std::size_t from = at;
        while (at < text.size() && at - from < 4 && text[at] >= '0' && text[at] <= '9') ++at;
        return at > from && at - from <= 3 && text[from] != '0';
    };
    std::size_t at = 0;
    if (!number(at) || at >= text.size() || text[at++] != '-') return false;
    for (int depth = 1; depth <= 7; ++depth) {
        if (!number(at)) return false;
        if (at == text.size()) return true;
        if (text[at++] != '.') return false;
    }
    return false;
}

}  // namespace zal::updater
