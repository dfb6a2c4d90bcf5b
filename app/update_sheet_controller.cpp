// SPDX-License-Identifier: MIT
#include "app/update_sheet_controller.hpp"

#include <QKeyEvent>

#include <cmath>

#include "app/factories.hpp"
#include "app/strings.hpp"

namespace zal::gui {

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
    cancelButton_->setAutoDefault(false);
    QObject::connect(cancelButton_, &QPushButton::clicked, this, [this] {
        if (delegate) delegate->updateSheetControllerDidClickCancel(this);
    });

    helpButton_ = make_button(QString(), from_bottom(18, 16, 25, 25), control_size_t::regular, bezel_t::help, window_);
    QObject::connect(helpButton_, &QPushButton::clicked, this, [this] {
        if (delegate) delegate->updateSheetControllerDidClickHelp(this);
    });
    // Return clicks the help button; Escape clicks "Cancel" (see reject).
    helpButton_->setDefault(true);
    helpButton_->setFocus();

    progressIndicator_ = new QProgressBar(window_);
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
}

void UpdateSheetController::setSubtitle(const QString& subtitle) {
    subtitle_ = subtitle;
    subtitleLabel_->setText(subtitle);
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
        if (indeterminate)
            progressIndicator_->setRange(0, 0);
        else
            progressIndicator_->setRange(0, 1000);
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
