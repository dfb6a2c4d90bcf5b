// SPDX-License-Identifier: MIT
// ventaro-update: the application, on the system's hidapi and ALSA sequencer.
#include <QString>

#include "app/shell.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"

int main(int argc, char** argv) {
    zal::gui::platform_t platform;
    platform.set_up = [] { zal::midi::io::set_service(&zal::midi::io::alsa_service()); };
#ifdef ZAL_BUNDLE_DIR
    platform.bundle_directory =
        QStringLiteral(ZAL_BUNDLE_DIR);  // a package given at configure time, for runs from the build
#endif
    return zal::gui::main(argc, argv, platform);
}
