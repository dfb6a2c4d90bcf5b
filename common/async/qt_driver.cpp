// SPDX-License-Identifier: MIT
#include "common/async/qt_driver.hpp"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "common/async/main_queue.hpp"

namespace zal::main_queue {

namespace {

class qt_driver_t : public QObject {
public:
    qt_driver_t() : QObject(QCoreApplication::instance()) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { pump(); });
    }

    ~qt_driver_t() override { set_wakeup({}); }

    // Any thread: one queued pump at a time is enough, however many tasks arrive.
    void wake() {
        if (!pump_posted_.exchange(true))
            QMetaObject::invokeMethod(
                this, [this] { pump(); }, Qt::QueuedConnection);
    }

private:
    void pump() {
        pump_posted_ = false;
        run_due();
        if (const auto due = next_due()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now()).count();
            timer_.start(int(std::clamp<long long>(wait, 0, 24 * 3600 * 1000)));
        }
    }

    QTimer timer_;
    std::atomic<bool> pump_posted_{false};
};

}  // namespace

QObject* drive_with_qt() {
    static QPointer<qt_driver_t> driver;
    if (driver) return driver;
    attach_current_thread(false);
    driver = new qt_driver_t;  // owned by the application object
    set_wakeup([d = driver.data()] { d->wake(); });
    driver->wake();
    return driver;
}

}  // namespace zal::main_queue
