// SPDX-License-Identifier: MIT
#include "app/update_sheet_controller.hpp"

#include <QAccessible>
#include <QTimer>

#include <QStyleOptionProgressBar>

#include <QStyle>

#include <QPainter>

#include <QKeyEvent>

#include <cmath>

#include "app/factories.hpp"
#include "app/strings.hpp"

namespace zal::gui {

namespace {

// A progress bar whose busy state moves a block four times a second: the
// style's own busy animation repaints at the display's rate, several per cent
// of a core for as long as a run waits for a device.
class busy_bar_t final : public QProgressBar {
public:
    explicit busy_bar_t(QWidget* parent) : QProgressBar(parent) {
        timer_.setInterval(250);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            if (minimum() != maximum()) return;  // determinate: nothing moves
            const QRect before = block();
            phase_ = (phase_ + 1) % steps;
            update(before.united(block()));
        });
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (minimum() != maximum()) {
            QProgressBar::paintEvent(event);
            return;
        }
        QPainter painter(this);
        QStyleOptionProgressBar groove;
        initStyleOption(&groove);
        style()->drawControl(QStyle::CE_ProgressBarGroove, &groove, &painter, this);
        painter.fillRect(block(), palette().color(QPalette::Highlight));
    }

    // Where the block is now: it goes to the right end and back.
    QRect block() const {
        const QRect inside = rect().adjusted(2, 2, -2, -2);
        const int width = inside.width() / 4;
        const int travel = inside.width() - width;
        const int at = inside.left() + travel * (phase_ < steps / 2 ? phase_ : steps - phase_) / (steps / 2);
        return QRect(at, inside.top(), width, inside.height());
    }

    void showEvent(QShowEvent* event) override {
        QProgressBar::showEvent(event);
        timer_.start();
    }
    void hideEvent(QHideEvent* event) override {
        QProgressBar::hideEvent(event);
        timer_.stop();
    }

private:
    static constexpr int steps = 16;
    QTimer timer_;
    int phase_ = 0;
};

}  // namespace

namespace {

constexpr int sheet_width = 480, sheet_height = 163;

// Escape clicks "Cancel" only while it is enabled; closing does nothing else.
class sheet_dialog_t : public QDialog {
public:
    explicit sheet_dialog_t(UpdateSheetController* owner) : owner_(owner) {}
    void reject() override {
        if (owner_->cancelButton()->isEnabled()) owner_->cancelButton()->click();
    }

private:
    UpdateSheetController* owner_;
};

// The frames are given with the origin at the bottom-left corner.
QRect from_bottom(int x, int y, int w, int h) { return QRect(x, sheet_height - y - h, w, h); }

}  // namespace

UpdateSheetController::UpdateSheetController() {
    initWindow();
    setCancelable(true);
    setProgress(-1.0);
}

UpdateSheetController::~UpdateSheetController() { delete window_; }

void UpdateSheetController::initWindow() {
    window_ = new sheet_dialog_t(this);
    window_->setFixedSize(sheet_width, sheet_height);
    window_->setWindowModality(Qt::WindowModal);
    window_->setSizeGripEnabled(false);

    titleLabel_ = make_label(QString(), from_bottom(18, 125, 444, 22), control_size_t::regular, true, window_);
    subtitleLabel_ = make_label(QString(), from_bottom(18, 79, 444, 42), control_size_t::small, false, window_);
    subtitleLabel_->setWordWrap(true);

    cancelButton_ = make_button(localized("Cancel"), from_bottom(386, 13, 82, 32), control_size_t::regular,
                                bezel_t::rounded, window_);
    // As on this platform, Return (and Space) press the focused button; help stays
    // the default when focus is elsewhere.
    cancelButton_->setAutoDefault(true);
    QObject::connect(cancelButton_, &QPushButton::clicked, this, [this] {
        if (delegate) delegate->updateSheetControllerDidClickCancel(this);
    });

    helpButton_ = make_button(QString(), from_bottom(18, 16, 25, 25), control_size_t::regular, bezel_t::help, window_);
    helpButton_->setAccessibleName(localized("Help"));
    helpButton_->setToolTip(localized("Help"));
    QObject::connect(helpButton_, &QPushButton::clicked, this, [this] {
        if (delegate) delegate->updateSheetControllerDidClickHelp(this);
    });
    // Return clicks the help button; Escape clicks "Cancel" (see reject).
    helpButton_->setDefault(true);
    helpButton_->setFocus();

    progressIndicator_ = new busy_bar_t(window_);
    progressIndicator_->setAccessibleName(localized("Progress"));
    progressIndicator_->setGeometry(from_bottom(20, 58, 440, 20));
    progressIndicator_->setTextVisible(false);
    progressIndicator_->setRange(0, 0);
    progressIndicator_->setValue(0);
    progressIndicator_->hide();

    helpLabel_ = make_label(QString(), from_bottom(48, 14, 300, 22), control_size_t::mini, false, window_);
    helpLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void UpdateSheetController::setTitle(const QString& title) {
    title_ = title;
    titleLabel_->setText(title);
    window_->setAccessibleName(title);  // a screen reader announces the dialog by it
    QAccessibleEvent changed(window_, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void UpdateSheetController::setSubtitle(const QString& subtitle) {
    subtitle_ = subtitle;
    subtitleLabel_->setText(subtitle);
    window_->setAccessibleDescription(subtitle);
    QAccessibleEvent changed(window_, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void UpdateSheetController::setHelp(const QString& help) {
    help_ = help;
    helpLabel_->setText(help);
}

void UpdateSheetController::setProgress(double progress) {
    progress_ = progress;
    const bool indeterminate = progress > 1;
    if (indeterminate != indeterminate_) {
        indeterminate_ = indeterminate;
        // A 0..0 range is Qt's busy (animated) bar; 0..1000 a determinate one.
        if (indeterminate) {
            progressIndicator_->setRange(0, 0);
            progressIndicator_->setValue(0);  // not -1 of 0..0 for a screen reader
        } else {
            progressIndicator_->setRange(0, 1000);
        }
    }
    if (!indeterminate) progressIndicator_->setValue(int(std::lround(std::clamp(progress, 0.0, 1.0) * 1000)));
    progressIndicator_->setVisible(!(progress < 0));
}

void UpdateSheetController::setCancelable(bool cancelable) {
    cancelable_ = cancelable;
    cancelButton_->setEnabled(cancelable);
}

void UpdateSheetController::beginSheetModalForWindow(QWidget* parent) {
    if (window_->isVisible()) return;
    // A fixed-size dialog: no minimise or maximise button.
    window_->setParent(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window_->setWindowModality(Qt::WindowModal);
    if (parent) window_->move(parent->geometry().center() - QPoint(sheet_width / 2, sheet_height / 2));
    window_->open();
}

void UpdateSheetController::endSheetModalForWindow(QWidget*) {
    if (!window_->isVisible()) return;
    window_->hide();
}

}  // namespace zal::gui
