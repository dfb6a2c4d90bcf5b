// SPDX-License-Identifier: MIT
#include "cli/list_command.hpp"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/async/main_queue.hpp"
#include "common/hid_io/hid_io.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"
#include "common/text/printable.hpp"
#include "devices/simulation.hpp"
#include "updater/hid.hpp"

namespace zal::cli {

namespace {

namespace io = zal::midi::io;

struct listed_t {
    std::string kind;   // "ventaro", "ruvo", or "unknown" for a first-generation bootloader
    std::string state;  // "running", "stage-2" or "bootloader"
    std::string port;   // the USB port path, "" when the system does not tell
    bool operator<(const listed_t& other) const {
        return std::tie(port, kind, state) < std::tie(other.port, other.kind, other.state);
    }
};

std::vector<listed_t> connected_devices() {
    // A device shows several ports (the Ruvo three): one line per device.
    std::set<listed_t> found;
    for (const updater::hid::device_t& d : updater::hid::matching_devices(kind_t::any))
        found.insert({d.kind == kind_t::any ? "unknown" : kind_word(d.kind), "bootloader", d.usb_port});
    const std::size_t count = io::in_size();
    for (std::size_t i = 0; i < count; ++i) {
        const io::in_t in = io::in_get(i);
        const std::string port = io::get_usb_port(in);
        switch (io::get_kind(in)) {
            case io::port_kind_t::ventaro: found.insert({kind_word(kind_t::ventaro), "running", port}); break;
            case io::port_kind_t::ruvo: found.insert({kind_word(kind_t::ruvo), "running", port}); break;
            case io::port_kind_t::ventaro_updater: found.insert({kind_word(kind_t::ventaro), "stage-2", port}); break;
            case io::port_kind_t::ruvo_updater: found.insert({kind_word(kind_t::ruvo), "stage-2", port}); break;
            default: break;
        }
    }
    return {found.begin(), found.end()};
}

int usage(const std::string& problem) {
    std::fprintf(stderr, "ventaro-update-cli: %s\nusage: ventaro-update-cli list [--json]\n",
                 printable(problem).c_str());
    return 2;
}

}  // namespace

int list_command(int argc, char** argv) {
    bool json = false;
    devices::simulation_arguments_t simulated;
    std::vector<devices::device_choice_t> choices;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string problem;
        if (arg == "--json") {
            json = true;
        } else if (devices::take_simulation_argument(argc, argv, i, simulated, problem)) {
            if (!simulated.faults.empty()) return usage("list takes no --fault");
            choices.push_back(*simulated.device);
        } else {
            return usage(problem.empty() ? "unknown argument " + arg : problem);
        }
    }

    main_queue::attach_current_thread(false);
    std::unique_ptr<devices::simulation_t> simulation;
    if (choices.empty()) {
        io::set_service(&io::alsa_service());
    } else {
        // Simulated devices, one per port, for trying the command without hardware.
        simulation = std::make_unique<devices::simulation_t>();
        simulation->install();
        for (const devices::device_choice_t& choice : choices)
            simulation->add(devices::simulation_t::options_for({}, choice, {}, kind_t::ventaro)).plug();
    }
    if (!hid_io::backend().init()) {
        std::fprintf(stderr, "Could not access USB HID devices.\n");
        return 1;
    }
    if (!io::init("VentaroUpdate", {})) {
        std::fprintf(stderr, "Could not access MIDI devices.\n");
        hid_io::backend().exit();
        return 1;
    }
    const std::vector<listed_t> devices = connected_devices();
    io::deinit();
    hid_io::backend().exit();

    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const listed_t& d : devices)
            list.push_back({{"kind", d.kind}, {"state", d.state}, {"port", d.port.empty() ? nullptr : d.port}});
        std::cout << nlohmann::ordered_json{{"devices", list}}.dump() << std::endl;
        return 0;
    }
    if (devices.empty()) std::cout << "No Ventaro or Ruvo is connected." << std::endl;
    for (const listed_t& d : devices) {
        std::printf("%-8s %-10s %s\n", d.kind.c_str(), d.state.c_str(), d.port.empty() ? "-" : d.port.c_str());
        if (d.kind == "unknown")
            std::printf(
                "         (a first-generation bootloader: a Ventaro or a Ruvo; update it with --kind and --port)\n");
    }
    return 0;
}

}  // namespace zal::cli
