// SPDX-License-Identifier: MIT
// ventaro-update-demo: the application against simulated devices, for seeing a
// whole update on a machine without hardware. A simulated device is plugged in
// a few seconds after a run starts, and plugged in again at the next run when a
// fault had unplugged it.
//
//   ventaro-update-demo [--simulate DEVICE] [--fault FAULT]... [--run-update]
//                       [--flash-out FILE] [--record] [PACKAGE]
//
// --run-update clicks Update once the window is up and quits two seconds after
// that run ends (status 0 when it succeeded), or after it could not start (1), for scripted runs; --flash-out writes
// the chosen device's flash when the application ends; --record records the simulated runs in the update history, which
// otherwise holds real devices only.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <memory>

#include "app/application.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"
#include "common/async/async.hpp"
#include "devices/simulation.hpp"

namespace {

using namespace zal;

struct demo_t {
    devices::simulation_arguments_t arguments;
    bool run_update = false;
    std::optional<end_t> scripted_end;
    std::string flash_out;
    std::unique_ptr<devices::simulation_t> simulation;
    std::map<kind_t, devices::simulated_device_t*> plugged;
    devices::simulated_device_t* chosen = nullptr;  // the first plugged in
};

demo_t demo;

// The device of this kind, created and plugged in three seconds from now; the
// first one is the device the user chose, with its faults.
void plug_later(kind_t kind, const update_t& update) {
    if (demo.plugged.count(kind)) {
        // A device a fault unplugged is plugged in again, as the alert asked the
        // user to do; one that is still connected stays as it is.
        async_main([] { demo.simulation->replug_unplugged(); }, 3000);
        return;
    }
    const devices::device_choice_t chosen = demo.arguments.device.value_or(*devices::device_named("ventaro"));
    const devices::device_options_t options =
        demo.plugged.empty() ? devices::simulation_t::options_for(update, chosen, demo.arguments.faults, kind)
                             : devices::simulation_t::options_for(update, kind);
    devices::simulated_device_t& device = demo.simulation->add(options);
    if (demo.plugged.empty()) demo.chosen = &device;
    demo.plugged[kind] = &device;
    async_main([&device] { device.plug(); }, 3000);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> passed = {argv[0]};
    bool record = false;
    for (int i = 1; i < argc; ++i) {
        std::string error;
        if (std::strcmp(argv[i], "--record") == 0) {
            record = true;
            continue;
        }
        if (std::strcmp(argv[i], "--run-update") == 0) {
            demo.run_update = true;
            continue;
        }
        if (std::strcmp(argv[i], "--flash-out") == 0 && i + 1 < argc) {
            demo.flash_out = argv[++i];
            continue;
        }
        if (devices::take_simulation_argument(argc, argv, i, demo.arguments, error)) continue;
        if (!error.empty()) {
            std::fprintf(stderr, "ventaro-update-demo: %s\n", error.c_str());
            return 2;
        }
        passed.push_back(argv[i]);
    }
    int passed_count = int(passed.size());
    gui::platform_t platform;
    platform.set_up = [] {
        demo.simulation = std::make_unique<devices::simulation_t>();
        demo.simulation->install();
    };
    platform.bundle_directory = QStringLiteral(ZAL_DEMO_BUNDLE_DIR);
    platform.records_history = record;
    platform.extra_trusted_key = QStringLiteral(ZAL_DEMO_KEY);  // signs the sample package
    platform.options = [] {
        return QList<QCommandLineOption>{
            {QStringLiteral("simulate"),
             Messages::tr("The simulated device: %1.")
                 .arg(
                     QStringLiteral("ventaro, ruvo, ruvo-unnamed, ventaro-bootloader, ruvo-bootloader, v1-bootloader")),
             QStringLiteral("DEVICE")},
            {QStringLiteral("fault"),
             Messages::tr("A fault of the simulated device (ventaro-update-cli update --help lists them)."),
             QStringLiteral("FAULT")},
            {QStringLiteral("run-update"),
             Messages::tr("Starts an update at once, and quits two seconds after it ends (status 0 for a success).")},
            {QStringLiteral("flash-out"), Messages::tr("Writes the simulated device's flash into FILE at the end."),
             QStringLiteral("FILE")},
            {QStringLiteral("record"), Messages::tr("Records the simulated runs in the update history.")}};
    };
    // A sample feed in the build tree, with a newer sample package, and the key that signs it.
    platform.feed_url = QStringLiteral(ZAL_DEMO_FEED_URL);
    platform.extra_feed_key = QStringLiteral(ZAL_DEMO_FEED_KEY);
    platform.on_launched = [](gui::Application& app) {
        QObject::connect(&app, &gui::Application::runStarted, &app, [&app](kind_t kind) {
            const auto& chosen = demo.arguments.device;
            const kind_t wanted = kind != kind_t::any                     ? kind
                                  : chosen && chosen->kind != kind_t::any ? chosen->kind
                                  : app.update().ventaro                  ? kind_t::ventaro
                                                                          : kind_t::ruvo;
            plug_later(wanted, app.update());
        });
        if (demo.run_update) {
            // The simulated device's own history decides whether its firmware is older.
            const devices::device_choice_t chosen = demo.arguments.device.value_or(*devices::device_named("ventaro"));
            const kind_t kind = chosen.first_generation_bootloader ? kind_t::any : chosen.kind;
            QTimer::singleShot(0, &app, [&app, kind] {
                app.startUpdate(kind);
                // No package, a refusal, or a question only a user may answer: a script ends, failed.
                if (app.inUpdate() || demo.scripted_end) return;
                std::fputs("ventaro-update-demo: the update did not start; the window says why.\n", stderr);
                QTimer::singleShot(2000, qApp, &QCoreApplication::quit);
            });
            // The alert stays up a moment: long enough to be seen, and heard.
            QObject::connect(&app, &gui::Application::runEnded, &app, [](end_t end) {
                demo.scripted_end = end;
                QTimer::singleShot(2000, qApp, &QCoreApplication::quit);
            });
        }
    };
    int status = gui::main(passed_count, passed.data(), platform);
    if (demo.run_update && status == 0 && demo.scripted_end != end_t::success) status = 1;
    if (!demo.flash_out.empty() && demo.chosen) {
        const std::vector<uint8_t> flash = demo.chosen->flash();
        std::ofstream out(demo.flash_out, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(flash.data()), std::streamsize(flash.size()));
        if (!out) {
            std::fprintf(stderr, "ventaro-update-demo: cannot write %s\n", demo.flash_out.c_str());
            status = 1;
        }
    }
    demo.plugged.clear();
    demo.chosen = nullptr;
    demo.simulation.reset();
    return status;
}
