// SPDX-License-Identifier: MIT
#include "devices/simulation.hpp"

#include <cstring>

#include "common/hid_io/hid_io.hpp"
#include "common/midi_io/midi_io.hpp"

namespace zal::devices {

std::optional<device_choice_t> device_named(const std::string& name) {
    if (name == "ventaro") return device_choice_t{name, kind_t::ventaro, false, false};
    if (name == "ruvo") return device_choice_t{name, kind_t::ruvo, false, false};
    if (name == "ruvo-unnamed") return device_choice_t{name, kind_t::ruvo, false, false, true};
    if (name == "ventaro-bootloader") return device_choice_t{name, kind_t::ventaro, true, false};
    if (name == "ruvo-bootloader") return device_choice_t{name, kind_t::ruvo, true, false};
    if (name == "v1-bootloader") return device_choice_t{name, kind_t::any, true, true};
    return std::nullopt;
}

bool take_simulation_argument(int argc, char** argv, int& i, simulation_arguments_t& arguments, std::string& error) {
    const bool simulate = std::strcmp(argv[i], "--simulate") == 0;
    const bool fault = std::strcmp(argv[i], "--fault") == 0;
    if (!simulate && !fault) return false;
    if (i + 1 >= argc) {
        error = std::string(argv[i]) + " needs a value";
        return false;
    }
    const std::string value = argv[++i];
    if (simulate) {
        arguments.device = device_named(value);
        if (!arguments.device) error = "unknown device '" + value + "'";
        return bool(arguments.device);
    }
    const std::optional<fault_t> parsed = parse_fault(value, error);
    if (parsed) arguments.faults.push_back(*parsed);
    return bool(parsed);
}

simulation_t::~simulation_t() { remove_all(); }

void simulation_t::install() {
    hid_io::set_backend(&hid_);
    midi::io::set_service(&midi_);
}

device_options_t simulation_t::options_for(const update_t& update, kind_t kind) {
    device_options_t options;
    options.kind = kind;
    options.stage2_images = stage2_images_of(update);
    return options;
}

device_options_t simulation_t::options_for(const update_t& update, const device_choice_t& choice,
                                           std::vector<fault_t> faults, kind_t kind) {
    device_options_t options = options_for(update, choice.first_generation_bootloader ? kind : choice.kind);
    options.start_in_bootloader = choice.start_in_bootloader;
    options.first_generation_bootloader = choice.first_generation_bootloader;
    options.unnamed_jacks = choice.unnamed_jacks;
    options.faults = std::move(faults);
    return options;
}

simulated_device_t& simulation_t::add(device_options_t options, scheduler_t schedule,
                                      std::optional<std::string> usb_port) {
    const std::string path = usb_port ? *usb_port : "1-" + std::to_string(devices_.size() + 1);
    slot_t& slot = devices_.emplace_back();
    slot.port = std::make_unique<in_process_port_t>(midi_, hid_, path);
    slot.device = std::make_unique<simulated_device_t>(*slot.port, std::move(options), std::move(schedule));
    return *slot.device;
}

std::size_t simulation_t::replug_unplugged() {
    std::size_t plugged = 0;
    for (slot_t& slot : devices_) {
        if (slot.device->mode() != device_mode_t::off) continue;
        slot.device->plug();
        ++plugged;
    }
    return plugged;
}

void simulation_t::remove_all() {
    for (slot_t& slot : devices_) slot.device.reset();
    devices_.clear();
}

}  // namespace zal::devices
