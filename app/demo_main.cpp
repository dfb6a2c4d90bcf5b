// ventaro-update-demo: the application against simulated devices, for seeing a
// whole update on a machine without hardware. A simulated device is plugged in
// a few seconds after a run starts.
//
//   ventaro-update-demo [--simulate DEVICE] [--fault FAULT]... [PACKAGE]
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "app/app_delegate.hpp"
#include "app/shell.hpp"
#include "common/async/async.hpp"
#include "common/midi_io/midi_io.hpp"
#include "common/midi_io/virtual/virtual_service.hpp"
#include "devices/simulated_device.hpp"
#include "devices/simulated_hid.hpp"

namespace {

using namespace zal;

struct demo_t {
    std::string device = "ventaro";
    std::vector<devices::fault_t> faults;
    std::unique_ptr<midi::io::virtual_service_t> midi;
    std::map<kind_t, std::unique_ptr<devices::simulated_device_t>> plugged;
};

demo_t demo;

// The device of this kind, created and plugged in three seconds from now.
void plug_later(kind_t kind, const update_t& update) {
    if (demo.plugged.count(kind)) return;
    devices::device_options_t options;
    const bool first = demo.plugged.empty();
    options.kind = kind;
    if (first) {
        options.start_in_bootloader = demo.device.find("bootloader") != std::string::npos;
        options.v1_bootloader = demo.device == "v1-bootloader";
        options.faults = demo.faults;
    }
    options.stage2_images = devices::stage2_images_of(update);
    auto device = std::make_unique<devices::simulated_device_t>(*demo.midi, options);
    devices::simulated_device_t* raw = device.get();
    demo.plugged[kind] = std::move(device);
    async_main([raw] { raw->plug(); }, 3000);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> passed = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        std::string error;
        if (std::strcmp(argv[i], "--simulate") == 0 && i + 1 < argc) {
            demo.device = argv[++i];
        } else if (std::strcmp(argv[i], "--fault") == 0 && i + 1 < argc) {
            const auto fault = devices::parse_fault(argv[++i], error);
            if (!fault) {
                std::fprintf(stderr, "ventaro-update-demo: %s\n", error.c_str());
                return 2;
            }
            demo.faults.push_back(*fault);
        } else {
            passed.push_back(argv[i]);
        }
    }
    int passed_count = int(passed.size());
    gui::platform_t platform;
    platform.set_up = [] {
        devices::hid_use_simulation(true);
        demo.midi = std::make_unique<midi::io::virtual_service_t>();
        midi::io::set_service(demo.midi.get());
    };
    platform.bundle_directory = QStringLiteral(ZAL_DEMO_BUNDLE_DIR);
    platform.on_launched = [](gui::AppDelegate& delegate) {
        delegate.onRunStarted = [&delegate](kind_t kind) {
            const kind_t wanted = kind != kind_t::any ? kind
                                  : demo.device.rfind("ruvo", 0) == 0 ? kind_t::ruvo
                                  : delegate.update().ventaro ? kind_t::ventaro
                                                              : kind_t::ruvo;
            plug_later(wanted, delegate.update());
        };
    };
    const int status = gui::main(passed_count, passed.data(), platform);
    demo.plugged.clear();
    return status;
}
