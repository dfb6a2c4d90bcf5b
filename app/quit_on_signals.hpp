// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace zal::gui {

// Ends the application as its Quit command does when the session ends
// (SIGTERM at logout or shutdown, SIGHUP when its terminal goes) or the user
// presses Ctrl+C (SIGINT): the signal reaches the Qt loop through a pipe, the
// loop ends, and a running update is cancelled where the device can still
// start. Call once, after the QApplication exists. `quit` replaces what is
// done on the main thread when a signal came (tests).
void quit_on_termination_signals(std::function<void(int signal)> quit = {});

}  // namespace zal::gui
