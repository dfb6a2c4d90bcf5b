// SPDX-License-Identifier: MIT
#pragma once

// Paths that later launches handed over, opened one at a time: while the
// window is busy (a package being read, an alert shown) only the newest waits,
// so that a flood of launches never stacks dialogs nor nests their loops.

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace zal::gui {

class LaunchQueue : public QObject {
    Q_OBJECT

public:
    explicit LaunchQueue(std::function<void(const QString&)> open, QObject* parent = nullptr);

    // Opens PATH once the window is free, unless a newer path comes first.
    void add(const QString& path);

private:
    void openNext();
    static bool alertShown();

    std::function<void(const QString&)> open_;
    QString pending_;
    bool hasPending_ = false;
    bool opening_ = false;
    QTimer retry_;
};

}  // namespace zal::gui
