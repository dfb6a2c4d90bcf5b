// SPDX-License-Identifier: MIT
#include "app/quit_on_signals.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

namespace zal::gui {

namespace {

int pipe_fds[2] = {-1, -1};

void on_signal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    (void)!::write(pipe_fds[1], &number, 1);  // async-signal-safe; a full pipe drops repeats
    errno = saved;
}

}  // namespace

void quit_on_termination_signals(std::function<void(int)> quit) {
    if (pipe_fds[0] >= 0) return;
    if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("signal pipe");
        return;
    }
    auto* notifier = new QSocketNotifier(pipe_fds[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [quit = std::move(quit)] {
        unsigned char signal = 0;
        while (::read(pipe_fds[0], &signal, 1) == 1)
            std::fprintf(stderr, "Asked to quit (signal %d): a running update stops once the device can start again.\n",
                         int(signal));
        quit(signal);
    });
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) sigaction(signal, &action, nullptr);
}

}  // namespace zal::gui
