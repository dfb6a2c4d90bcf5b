// SPDX-License-Identifier: MIT
#pragma once

// The one way into the simulated world, for the demo, the command-line tool,
// the screenshot taker and the tests: a virtual MIDI service and a simulated
// HID bus handed to the engine, devices plugged into them, and the options
// users give them (--simulate, --fault).

#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/midi_io/virtual/virtual_service.hpp"
#include "devices/in_process/hid_bus.hpp"
#include "devices/in_process/usb_port.hpp"
#include "devices/simulated_device.hpp"

namespace zal::devices {

// A device a user can name: "ventaro", "ruvo", "ventaro-bootloader",
// "ruvo-bootloader" or "v1-bootloader" (which tells no kind).
struct device_choice_t {
    std::string name;
    kind_t kind = kind_t::ventaro;
    bool start_in_bootloader = false;
    bool first_generation_bootloader = false;
    bool unnamed_jacks = false;
};
std::optional<device_choice_t> device_named(const std::string& name);
constexpr const char* device_names = "ventaro|ruvo|ruvo-unnamed|ventaro-bootloader|ruvo-bootloader|v1-bootloader";

// What a program's command line says of the simulation.
struct simulation_arguments_t {
    std::optional<device_choice_t> device;
    std::vector<fault_t> faults;
};

// Takes "--simulate DEVICE" or "--fault FAULT" at argv[i], moving i to its
// value; false when argv[i] is neither, or, with `error` set, when it is wrong.
bool take_simulation_argument(int argc, char** argv, int& i, simulation_arguments_t& arguments, std::string& error);

class simulation_t {
public:
    simulation_t() = default;
    ~simulation_t();
    simulation_t(const simulation_t&) = delete;
    simulation_t& operator=(const simulation_t&) = delete;

    // The engine reaches devices through this simulation from now on.
    void install();

    midi::io::virtual_service_t& midi() { return midi_; }
    hid_bus_t& hid() { return hid_; }

    // A device of this kind that knows the package's stage-2 images.
    static device_options_t options_for(const update_t& update, kind_t kind);
    // The device a user chose, with the faults they gave; `kind` decides for
    // the first-generation bootloader, which tells none.
    static device_options_t options_for(const update_t& update, const device_choice_t& choice,
                                        std::vector<fault_t> faults, kind_t kind = kind_t::ventaro);

    // A new device on a port of its own, not yet plugged in; it lives as long
    // as the simulation, or until `remove_all`. Its port path is `usb_port`, by
    // default "1-N" for the Nth device (a host that tells no port: "").
    simulated_device_t& add(device_options_t options, scheduler_t schedule = {},
                            std::optional<std::string> usb_port = std::nullopt);
    void remove_all();

    // Plugs in again every device a fault unplugged, as a user does when the
    // application asks; the number plugged.
    std::size_t replug_unplugged();

private:
    struct slot_t {
        std::unique_ptr<in_process_port_t> port;
        std::unique_ptr<simulated_device_t> device;  // goes first: it unplugs from its port
    };
    midi::io::virtual_service_t midi_;
    hid_bus_t hid_;
    std::list<slot_t> devices_;
};

}  // namespace zal::devices
