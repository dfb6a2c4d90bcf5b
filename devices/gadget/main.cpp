// SPDX-License-Identifier: MIT
// ventaro-gadget: plays a Ventaro or a Ruvo on the kernel's USB gadget framework,
// with the same device model as the simulation, for the tests that run the
// shipped programs against a real kernel (scripts/vm-run.sh starts it).
//
//   ventaro-gadget --device DEVICE [--fault FAULT]... [--kind ventaro|ruvo]
//                  [--package PACKAGE] [--flash-in FILE] [--flash-out FILE]
//                  [--ready FILE] [--udc UDC] [--midi-function] [--hid-functionfs]
//   ventaro-gadget --replug
//
// One process plays one device on one controller (UDC). The firmwares go
// through gadgetfs, which serves one device per machine; with several devices,
// --midi-function plays them as f_midi functions instead (jacks unnamed). The
// bootloaders go through usb_f_hid, four per machine, or with --hid-functionfs
// through FunctionFS, which the host cannot tell from it.
//
// It runs until SIGTERM or SIGINT, then writes the device's flash. SIGUSR1 (what
// --replug sends) plugs the device in again, as a user does: unplugged first if
// it is connected, at once if a fault unplugged it.

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "common/async/async.hpp"
#include "common/async/main_queue.hpp"
#include "common/async/thread.hpp"
#include "devices/gadget/usb_gadget_port.hpp"
#include "devices/simulation.hpp"

namespace {

using namespace zal;

// One per device: /tmp/ventaro-gadget-UDC.pid.
std::string pid_file_of(const std::string& udc) { return "/tmp/ventaro-gadget-" + udc + ".pid"; }

struct options_t {
    devices::simulation_arguments_t simulation;
    kind_t kind = kind_t::ventaro;
    std::string package, flash_in, flash_out, ready, udc;
    bool midi_function = false;
    bool hid_functionfs = false;
};

int usage(const std::string& problem) {
    std::fprintf(stderr,
                 "ventaro-gadget: %s\n"
                 "usage: ventaro-gadget --device %s [--fault FAULT]... [--kind ventaro|ruvo]\n"
                 "                      [--package PACKAGE] [--flash-in FILE] [--flash-out FILE] [--ready FILE]\n"
                 "                      [--udc UDC] [--midi-function] [--hid-functionfs]\n"
                 "       ventaro-gadget --replug\n",
                 problem.c_str(), devices::device_names);
    return 2;
}

bool read_file(const std::string& path, std::vector<uint8_t>& bytes, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof() ? bytes.size() <= limit : false;
}

// Every device running replugs.
int replug() {
    int signalled = 0;
    if (DIR* dir = ::opendir("/tmp")) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.rfind("ventaro-gadget-", 0) != 0 || name.size() < 4 || name.substr(name.size() - 4) != ".pid")
                continue;
            std::ifstream in("/tmp/" + name);
            pid_t pid = 0;
            if (in >> pid && pid > 0 && ::kill(pid, SIGUSR1) == 0) ++signalled;
        }
        ::closedir(dir);
    }
    if (signalled == 0) std::fprintf(stderr, "ventaro-gadget: no device is running\n");
    return signalled > 0 ? 0 : 1;
}

std::string first_udc() {
    std::string name;
    if (DIR* dir = ::opendir("/sys/class/udc")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.' && (name.empty() || std::string(entry->d_name) < name)) name = entry->d_name;
        ::closedir(dir);
    }
    return name;
}

std::atomic<bool> stopping{false};

// Signals reach one thread, which passes them on to the main queue.
void handle_signals(sigset_t set, devices::simulated_device_t& device) {
    named_thread("gadget signals", [set, &device] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0) continue;
            if (signal == SIGUSR1) {
                async_main([&device] {
                    if (device.mode() != devices::device_mode_t::off) device.unplug();
                    std::fprintf(stderr, "ventaro-gadget: plugged in again\n");
                    device.plug();
                });
            } else {
                stopping = true;
                async_main([] {});
                return;
            }
        }
    }).detach();
}

int run(const options_t& o) {
    update_t update;
    if (!o.package.empty()) {
        std::vector<uint8_t> bytes;
        if (!read_file(o.package, bytes, 32u << 20)) {
            std::fprintf(stderr, "ventaro-gadget: cannot read %s\n", o.package.c_str());
            return 1;
        }
        update = make_update(bytes.data(), bytes.size());
    }
    devices::device_options_t options =
        devices::simulation_t::options_for(update, *o.simulation.device, o.simulation.faults, o.kind);
    // USB itself takes its time: the bootloader answers at once.
    options.answer_ms = 0;
    if (!o.flash_in.empty() &&
        (!read_file(o.flash_in, options.flash, devices::flash_size) || options.flash.size() != devices::flash_size)) {
        std::fprintf(stderr, "ventaro-gadget: %s is not a 1 MiB flash image\n", o.flash_in.c_str());
        return 1;
    }
    const std::string udc = o.udc.empty() ? first_udc() : o.udc;
    if (udc.empty()) {
        std::fprintf(stderr, "ventaro-gadget: no USB device controller (is dummy_hcd loaded?)\n");
        return 1;
    }

    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGUSR1}) sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);  // before any thread starts
    main_queue::attach_current_thread(false);

    using port_t = devices::usb_gadget_port_t;
    port_t port(udc, o.midi_function ? port_t::midi_transport_t::f_midi : port_t::midi_transport_t::gadgetfs,
                o.hid_functionfs ? port_t::hid_transport_t::functionfs : port_t::hid_transport_t::usb_f_hid);
    devices::simulated_device_t device(port, std::move(options));
    handle_signals(set, device);
    const std::string pid_file = pid_file_of(udc);
    std::ofstream(pid_file) << ::getpid() << '\n';

    device.plug();
    if (!port.wait_until_enumerated(15000)) {
        std::fprintf(stderr, "ventaro-gadget: the host did not enumerate the device\n");
        return 1;
    }
    if (!o.ready.empty()) std::ofstream(o.ready) << "ready\n";
    main_queue::run_until([] { return stopping.load(); });

    int status = 0;
    if (!o.flash_out.empty()) {
        const std::vector<uint8_t> flash = device.flash();
        std::ofstream out(o.flash_out, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(flash.data()), std::streamsize(flash.size()));
        if (!out) {
            std::fprintf(stderr, "ventaro-gadget: cannot write %s\n", o.flash_out.c_str());
            status = 1;
        }
    }
    std::fprintf(stderr, "ventaro-gadget: %llu HID roundtrips, %d start(s) of new firmware\n",
                 static_cast<unsigned long long>(device.roundtrips()), device.application_starts());
    std::string counts;
    for (uint64_t count : port.midi_bytes_received()) {
        counts += ' ';
        counts += std::to_string(count);
    }
    std::fprintf(stderr, "ventaro-gadget: MIDI bytes received by port:%s\n", counts.c_str());
    ::unlink(pid_file.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--replug") == 0) return replug();
    options_t o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string problem;
        if (arg == "--device") {
            if (i + 1 >= argc) return usage("--device needs a value");
            o.simulation.device = devices::device_named(argv[++i]);
            if (!o.simulation.device) return usage(std::string("unknown device '") + argv[i] + "'");
            continue;
        }
        if (arg == "--midi-function") {
            o.midi_function = true;
            continue;
        }
        if (arg == "--hid-functionfs") {
            o.hid_functionfs = true;
            continue;
        }
        if (devices::take_simulation_argument(argc, argv, i, o.simulation, problem)) continue;
        if (!problem.empty()) return usage(problem);
        if (i + 1 >= argc) return usage(arg + " needs a value");
        const std::string value = argv[++i];
        if (arg == "--kind" && (value == "ventaro" || value == "ruvo"))
            o.kind = value == "ruvo" ? kind_t::ruvo : kind_t::ventaro;
        else if (arg == "--package")
            o.package = value;
        else if (arg == "--flash-in")
            o.flash_in = value;
        else if (arg == "--flash-out")
            o.flash_out = value;
        else if (arg == "--ready")
            o.ready = value;
        else if (arg == "--udc")
            o.udc = value;
        else
            return usage("unknown option " + arg + " " + value);
    }
    if (!o.simulation.device) return usage("no --device given");
    try {
        return run(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ventaro-gadget: %s\n", e.what());
        return 1;
    }
}
