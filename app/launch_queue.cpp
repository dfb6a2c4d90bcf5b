// SPDX-License-Identifier: MIT
#include "app/launch_queue.hpp"

#include <QApplication>
#include <QMessageBox>

#include <algorithm>

namespace zal::gui {

LaunchQueue::LaunchQueue(std::function<void(const QString&)> open, QObject* parent)
    : QObject(parent), open_(std::move(open)) {
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &LaunchQueue::openNext);
}

void LaunchQueue::add(const QString& path) {
    pending_ = path;
    hasPending_ = true;
    if (!retry_.isActive()) retry_.start(0);
}

bool LaunchQueue::alertShown() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(),
                       [](const QWidget* w) { return qobject_cast<const QMessageBox*>(w) && w->isVisible(); });
}

void LaunchQueue::openNext() {
    if (!hasPending_) return;
    // An alert waiting for the user, or its loop running inside the last
    // opening. (An open panel does not hold a package from the file manager.)
    if (opening_ || alertShown()) {
        retry_.start(100);
        return;
    }
    const QString path = pending_;
    hasPending_ = false;
    opening_ = true;
    open_(path);
    opening_ = false;
    if (hasPending_) retry_.start(0);
}

}  // namespace zal::gui
