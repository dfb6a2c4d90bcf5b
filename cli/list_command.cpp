// SPDX-License-Identifier: MIT
#include "cli/list_command.hpp"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/catalogue.hpp"
#include "cli/help.hpp"
#include "cli/update_all.hpp"
#include "common/async/main_queue.hpp"
#include "common/hid_io/hid_io.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"
#include "common/text/printable.hpp"
#include "devices/simulation.hpp"
#include "updater/connected.hpp"
#include "updater/sentences.hpp"

namespace zal::cli {

namespace {

namespace io = zal::midi::io;

// A first-generation bootloader is listed as a bootloader of kind "unknown".
bool first_generation(const updater::connected_device_t& d) {
    return d.state == device_state_t::first_generation_bootloader;
}
const char* kind_of(const updater::connected_device_t& d) {
    return first_generation(d) ? "unknown" : kind_word(d.kind);
}
const char* state_of(const updater::connected_device_t& d) {
    return state_word(first_generation(d) ? device_state_t::bootloader : d.state);
}

}  // namespace

int list_command(int argc, char** argv) {
    bool json = false;
    auto usage = [json_asked = asks_json(argc, argv)](const std::string& problem) {
        return usage_error(json_asked, "list", problem);
    };
    devices::simulation_arguments_t simulated;
    std::vector<devices::device_choice_t> choices;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string problem;
        if (arg == "--json") {
            json = true;
        } else if (devices::take_simulation_argument(argc, argv, i, simulated, problem)) {
            if (!simulated.faults.empty()) return usage(translated("Cli", "list takes no --fault"));
            choices.push_back(*simulated.device);
        } else {
            return usage(problem.empty() ? fill(translated("Cli", "unknown argument %1"), {arg}) : problem);
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
    if (!hid_io::backend().init()) return tell_unreachable(json, failure_kind_t::hid_unavailable);
    if (const result_t<void> midi = io::init("VentaroUpdate"); !midi) {
        hid_io::backend().exit();
        return tell_unreachable(json, failure_kind_t::midi_unavailable, midi.failure().text);
    }
    const std::vector<updater::connected_device_t> devices = updater::connected_devices();
    io::deinit();
    hid_io::backend().exit();

    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const updater::connected_device_t& d : devices)
            list.push_back(
                {{"kind", kind_of(d)}, {"state", state_of(d)}, {"port", d.usb_port.empty() ? nullptr : d.usb_port}});
        std::cout << nlohmann::ordered_json{{"devices", list}}.dump() << std::endl;
        return 0;
    }
    if (devices.empty()) std::cout << translated("Cli", "No Ventaro or Ruvo is connected.") << std::endl;
    for (const updater::connected_device_t& d : devices) {
        std::printf("%-8s %-10s %s\n", kind_of(d), state_of(d),
                    d.usb_port.empty() ? "-" : printable(d.usb_port).c_str());
        if (first_generation(d))
            std::printf(
                "         %s\n",
                translated("Cli",
                           "(a first-generation bootloader: a Ventaro or a Ruvo; update it with --kind and --port)"));
    }
    return 0;
}

}  // namespace zal::cli
