// SPDX-License-Identifier: MIT
// What the application costs while it waits for a device: the update window
// with its progress sheet and busy bar, a run started and no device plugged in.
// Prints the share of one core used over the measured seconds (20 by default).
//
//   waiting_cpu_bench PACKAGE [SECONDS]     (under a display, or xvfb-run -a)
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTest>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "app/application.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"
#include "common/async/qt_driver.hpp"
#include "devices/simulation.hpp"

namespace {

// User and system time of this process, in clock ticks.
long long cpu_ticks() {
    std::ifstream stat("/proc/self/stat");
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14) utime = std::stoll(field);
        if (i == 15) stime = std::stoll(field);
    }
    return utime + stime;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: waiting_cpu_bench PACKAGE [SECONDS]\n");
        return 2;
    }
    QApplication application(argc, argv);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
    using namespace zal;
    devices::simulation_t simulation;  // and no device in it
    gui::platform_t platform;
    platform.set_up = [&simulation] { simulation.install(); };
    const std::unique_ptr<gui::Application> launched = gui::launch(platform);
    gui::Application& delegate = *launched;
    if (!delegate.openPackage(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])))) return 1;
    delegate.updateWindow()->show();
    delegate.runUpdate();
    QTest::qWait(2000);  // settled on "Connect your Ventaro"
    const long long before = cpu_ticks();
    QElapsedTimer clock;
    clock.start();
    // A plain event loop: QTest::qWait would wake every few milliseconds itself.
    QEventLoop wait;
    QTimer::singleShot(seconds * 1000, &wait, &QEventLoop::quit);
    wait.exec();
    const double used = double(cpu_ticks() - before) / double(sysconf(_SC_CLK_TCK));
    const double share = 100.0 * used / (double(clock.elapsed()) / 1000.0);
    std::printf("waiting for a device: %.2f %% of one core over %.1f s (sheet title: %s)\n", share,
                double(clock.elapsed()) / 1000.0, qPrintable(delegate.updateSheet()->title()));
    delegate.endUpdate();
    return 0;
}
