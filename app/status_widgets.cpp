// SPDX-License-Identifier: MIT
#include "app/status_widgets.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QStyleOptionProgressBar>
#include <QStylePainter>

#include <algorithm>
#include <cmath>

namespace zal::gui {

namespace {

// The bar as assistive technologies see it: whole per cents, and busy rather
// than "0 of 0" while no fraction is known.
class progress_accessible_t final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit progress_accessible_t(progress_bar_t* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                   : QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.busy = bar()->busy();
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value && !bar()->busy()) return QString::number(bar()->reportedPercent()) + u'%';
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return bar()->busy() ? 0 : bar()->reportedPercent(); }
    void setCurrentValue(const QVariant&) override {}  // read only
    QVariant maximumValue() const override { return bar()->busy() ? 0 : 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    progress_bar_t* bar() const { return static_cast<progress_bar_t*>(widget()); }
};

QAccessibleInterface* status_factory(const QString& class_name, QObject* object) {
    if (class_name == QLatin1String("zal::gui::progress_bar_t"))
        return new progress_accessible_t(static_cast<progress_bar_t*>(object));
    if (class_name == QLatin1String("zal::gui::announcer_t"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Notification);
    return nullptr;
}

void install_factory() {
    static const bool installed = [] {
        QAccessible::installFactory(status_factory);
        return true;
    }();
    (void)installed;
}

}  // namespace

announcer_t::announcer_t(QWidget* parent) : QWidget(parent) {
    install_factory();
    setFixedSize(0, 0);
    setFocusPolicy(Qt::NoFocus);
}

// From Qt 6.8 an announcement is an event of its own, which screen readers
// speak as it comes; before, they speak a notification when it appears: the
// text is set, then the notification shown anew.
void announcer_t::announce(const QString& text) {
    text_ = text;
    ++announcements_;
    setAccessibleName(text);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent announcement(this, text);
    QAccessible::updateAccessibility(&announcement);
#else
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
#endif
}

progress_bar_t::progress_bar_t(QWidget* parent) : QProgressBar(parent) {
    install_factory();
    setTextVisible(false);
    setRange(0, 0);
    animation_.setInterval(250);
    QObject::connect(&animation_, &QTimer::timeout, this, [this] {
        if (!busy_) return;
        const QRect before = block();
        phase_ = (phase_ + 1) % steps;
        update(before.united(block()));
    });
    pending_.setSingleShot(true);
    QObject::connect(&pending_, &QTimer::timeout, this, [this] { report(); });
}

void progress_bar_t::setBusy() {
    pending_.stop();
    if (busy_) return;
    busy_ = true;
    setRange(0, 0);
    update();
    busyChanged();
}

void progress_bar_t::busyChanged() {
    QAccessible::State busy;
    busy.busy = true;
    QAccessibleStateChangeEvent changed(this, busy);
    QAccessible::updateAccessibility(&changed);
}

void progress_bar_t::setFraction(double fraction) {
    fraction_ = std::clamp(fraction, 0.0, 1.0);
    if (busy_) {
        busy_ = false;
        setRange(0, 100);
        busyChanged();
        report();
    } else if (!lastReport_.isValid() || lastReport_.elapsed() >= report_interval_ms) {
        report();
    } else if (!pending_.isActive()) {
        pending_.start(int(report_interval_ms - lastReport_.elapsed()));
    }
    update();
}

// QProgressBar::setValue is what tells assistive technologies; it is called
// only here.
void progress_bar_t::report() {
    pending_.stop();
    const int percent = int(std::floor(fraction_ * 100 + 1e-9));
    if (percent == value()) return;
    setValue(percent);
    ++reports_;
    lastReport_.restart();
}

void progress_bar_t::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    if (!busy_) {
        // Drawn in thousandths, so the bar moves smoothly between reports.
        option.minimum = 0;
        option.maximum = 1000;
        option.progress = int(std::lround(fraction_ * 1000));
        painter.drawControl(QStyle::CE_ProgressBar, option);
        return;
    }
    // The style's own busy animation repaints at the display's rate, several
    // per cent of a core for as long as a run waits for a device.
    painter.drawControl(QStyle::CE_ProgressBarGroove, option);
    painter.fillRect(block(), palette().color(QPalette::Highlight));
}

// Where the busy block is now: it goes to the right end and back.
QRect progress_bar_t::block() const {
    const QRect inside = rect().adjusted(2, 2, -2, -2);
    const int width = inside.width() / 4;
    const int travel = inside.width() - width;
    const int at = inside.left() + travel * (phase_ < steps / 2 ? phase_ : steps - phase_) / (steps / 2);
    return QRect(at, inside.top(), width, inside.height());
}

void progress_bar_t::showEvent(QShowEvent* event) {
    QProgressBar::showEvent(event);
    animation_.start();
}

void progress_bar_t::hideEvent(QHideEvent* event) {
    QProgressBar::hideEvent(event);
    animation_.stop();
}

}  // namespace zal::gui
