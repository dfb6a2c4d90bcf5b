// SPDX-License-Identifier: MIT
// The application as it ships, started with a package: the start-up benchmark
// waits for its window to show the package's release notes.
#include <QTextBrowser>

#include "app/application.hpp"
#include "app/shell.hpp"
#include "app/update_window.hpp"
#include "bench/startup_probe.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"

int main(int argc, char** argv) {
    std::unique_ptr<zal::bench::startup_probe_t> probe;
    zal::gui::platform_t platform;
    platform.set_up = [] { zal::midi::io::set_service(&zal::midi::io::alsa_service()); };
    platform.on_launched = [&probe](zal::gui::Application& delegate) {
        QTextBrowser* notes = delegate.updateWindow()->textView();
        probe = std::make_unique<zal::bench::startup_probe_t>(notes->viewport(),
                                                              [notes] { return !notes->document()->isEmpty(); });
    };
    return zal::gui::main(argc, argv, platform);
}
