// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace zal::gui {

// Calls `quit` on the main thread when the session ends (SIGTERM at logout or
// shutdown, SIGHUP when its terminal goes) or the user presses Ctrl+C
// (SIGINT): the signal reaches the Qt loop through a pipe. Nobody is there to
// answer a question then, so `quit` must not ask one; a running update is
// cancelled where the device can still start. Call once, after the
// QApplication exists.
void quit_on_termination_signals(std::function<void(int signal)> quit);

}  // namespace zal::gui
