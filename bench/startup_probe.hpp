// SPDX-License-Identifier: MIT
#pragma once

// Tells the start-up benchmark when a window is on screen with its text: at
// the first paint of `text_view` once it holds text, prints the monotonic clock
// ("shown <nanoseconds>") and quits the application.

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QTextDocument>
#include <QTextEdit>

#include <time.h>

#include <cstdio>
#include <functional>

namespace zal::bench {

class startup_probe_t : public QObject {
public:
    // `has_text` says whether what the window shows is complete.
    startup_probe_t(QWidget* painted, std::function<bool()> has_text)
        : painted_(painted), has_text_(std::move(has_text)) {
        painted_->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!done_ && watched == painted_ && event->type() == QEvent::Paint && has_text_()) {
            done_ = true;
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::printf("shown %lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
            std::fflush(stdout);
            QMetaObject::invokeMethod(qApp, &QApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget* painted_;
    std::function<bool()> has_text_;
    bool done_ = false;
};

}  // namespace zal::bench
