// SPDX-License-Identifier: MIT
#pragma once

namespace zal::cli {

// `list [--json] [--simulate DEVICE]...`: every Ventaro and Ruvo connected,
// running, in its stage-2 firmware or in a bootloader, with the USB port it is
// plugged into. Returns the exit status: 0, 1 when the devices cannot be
// reached, 2 usage.
int list_command(int argc, char** argv);

}  // namespace zal::cli
