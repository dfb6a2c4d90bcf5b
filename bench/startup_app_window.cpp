// SPDX-License-Identifier: MIT
// The application as it ships, started with a package: the start-up benchmark
// waits for its window to show the package's release notes. With
// ZAL_BENCH_LONGEST_TURN set, it waits instead until the notes are all in
// and prints the longest time its main thread went without turning its event
// loop ("longest <milliseconds>"), as a 1 ms timer sees it.
#include <QElapsedTimer>
#include <QTextBrowser>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "app/application.hpp"
#include "app/shell.hpp"
#include "app/update_window.hpp"
#include "bench/startup_probe.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"

namespace {

void watch_turns(QTextBrowser* notes) {
    auto* beat = new QTimer(notes);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto last = std::make_shared<qint64>(0), longest = std::make_shared<qint64>(0),
         changed = std::make_shared<qint64>(0);
    auto characters = std::make_shared<int>(0);
    QObject::connect(beat, &QTimer::timeout, [=] {
        const qint64 now = clock->elapsed();
        *longest = std::max(*longest, now - *last);
        *last = now;
        const int count = notes->document()->characterCount();
        if (count != *characters) {
            *characters = count;
            *changed = now;
        } else if (count > 1 && now - *changed > 500) {
            std::printf("longest %lld\n", static_cast<long long>(*longest));
            std::fflush(stdout);
            beat->stop();
            QCoreApplication::quit();
        }
    });
    beat->start(1);
}

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<zal::bench::startup_probe_t> probe;
    zal::gui::platform_t platform;
    platform.set_up = [] { zal::midi::io::set_service(&zal::midi::io::alsa_service()); };
    platform.on_launched = [&probe](zal::gui::Application& delegate) {
        QTextBrowser* notes = delegate.updateWindow()->textView();
        if (std::getenv("ZAL_BENCH_LONGEST_TURN")) return watch_turns(notes);
        probe = std::make_unique<zal::bench::startup_probe_t>(notes->viewport(),
                                                              [notes] { return !notes->document()->isEmpty(); });
    };
    return zal::gui::main(argc, argv, platform);
}
