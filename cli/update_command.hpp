// SPDX-License-Identifier: MIT
#pragma once

namespace zal::cli {

// `update [--kind ventaro|ruvo] [--port USB-PORT] [--simulate DEVICE [--fault FAULT]...
// [--flash-in FILE] [--flash-out FILE]] [--json] PACKAGE`: runs the update engine
// from a terminal, on the device plugged into USB-PORT when given.
// Returns the exit status: 0 success, 1 failure, 2 usage, 130 cancelled.
int update_command(int argc, char** argv);

}  // namespace zal::cli
