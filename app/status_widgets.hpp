// SPDX-License-Identifier: MIT
#pragma once

// Two widgets that tell assistive technologies what a long task is doing,
// at a pace a screen reader can follow.

#include <QElapsedTimer>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

namespace zal::gui {

// An invisible notification: each `announce` is one event that screen readers
// speak, whatever has the focus.
class announcer_t final : public QWidget {
    Q_OBJECT

public:
    explicit announcer_t(QWidget* parent);
    void announce(const QString& text);
    QString text() const { return text_; }
    int announcements() const { return announcements_; }

private:
    QString text_;
    int announcements_ = 0;
};

// A progress bar that draws every step but reports only whole per cents to
// assistive technologies, at most four times a second; busy when its range is
// empty, with a block that moves four times a second.
class progress_bar_t final : public QProgressBar {
    Q_OBJECT

public:
    static constexpr int report_interval_ms = 250;
    explicit progress_bar_t(QWidget* parent);

    // Determinate, `fraction` of 0 to 1.
    void setFraction(double fraction);
    // Busy: no known fraction.
    void setBusy();
    bool busy() const { return busy_; }
    double fraction() const { return fraction_; }
    // What assistive technologies were last told: a whole per cent.
    int reportedPercent() const { return value(); }
    int reports() const { return reports_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QRect block() const;
    void report();
    void busyChanged();  // tells assistive technologies

    static constexpr int steps = 16;
    QTimer animation_, pending_;
    QElapsedTimer lastReport_;
    double fraction_ = 0;
    bool busy_ = true;
    int phase_ = 0;
    int reports_ = 0;
};

}  // namespace zal::gui
