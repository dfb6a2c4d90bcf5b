// SPDX-License-Identifier: MIT
#include "app/update_sheet_controller.hpp"

#include <QAccessible>
#include <QBoxLayout>
#include <QStyle>

#include <algorithm>

#include "app/factories.hpp"
#include "app/strings.hpp"

namespace zal::gui {

namespace {

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

// Room for the longest subtitle a phase has, in either language.
constexpr int subtitle_lines = 3;

}  // namespace

UpdateSheetController::UpdateSheetController() {
    initWindow();
    setCancelable(true);
    setProgress(-1.0);
}

UpdateSheetController::~UpdateSheetController() { delete window_.data(); }

void UpdateSheetController::initWindow() {
    window_ = new sheet_dialog_t(this);
    window_->setSizeGripEnabled(false);

    titleLabel_ = make_label(QString(), {}, control_size_t::regular, true, window_);
    titleLabel_->setWordWrap(true);
    subtitleLabel_ = make_label(QString(), {}, control_size_t::small, false, window_);
    subtitleLabel_->setWordWrap(true);
    subtitleLabel_->setMinimumHeight(subtitleLabel_->fontMetrics().lineSpacing() * subtitle_lines);

    progressIndicator_ = new progress_bar_t(window_);
    progressIndicator_->setAccessibleName(Messages::tr("Progress"));
    progressIndicator_->setFixedHeight(progressIndicator_->fontMetrics().height() + 6);
    progressIndicator_->hide();
    // Hidden, the bar keeps its place: the sheet does not jump between phases.
    QSizePolicy keep = progressIndicator_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    progressIndicator_->setSizePolicy(keep);

    announcer_ = new announcer_t(window_);
    announcement_.setSingleShot(true);
    QObject::connect(&announcement_, &QTimer::timeout, this, [this] {
        announcer_->announce(subtitle_.isEmpty() ? title_ : title_ + QStringLiteral("\n") + subtitle_);
    });

    helpButton_ = make_button(Messages::tr("Help"), {}, control_size_t::regular, bezel_t::help, window_);
    QObject::connect(helpButton_, &QPushButton::clicked, this, [this] {
        if (delegate) delegate->updateSheetControllerDidClickHelp(this);
    });
    // Return clicks the help button; Escape clicks "Cancel" (see reject).
    helpButton_->setDefault(true);

    helpLabel_ = make_label(QString(), {}, control_size_t::small, false, window_);
    helpLabel_->setWordWrap(true);
    helpLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    cancelButton_ = make_button(Messages::tr("Cancel"), {}, control_size_t::regular, bezel_t::rounded, window_);
    // Return (and Space) press the focused button; help stays the default when
    // focus is elsewhere.
    cancelButton_->setAutoDefault(true);
    QObject::connect(cancelButton_, &QPushButton::clicked, this, [this] {
        if (delegate) delegate->updateSheetControllerDidClickCancel(this);
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(helpButton_);
    buttons->addWidget(helpLabel_, 1);
    buttons->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(18, 14, 18, 13);
    layout->addWidget(titleLabel_);
    layout->addWidget(subtitleLabel_);
    layout->addWidget(progressIndicator_);
    layout->addWidget(announcer_);
    layout->addLayout(buttons);
    // As wide as 480 points of the original at the standard font, wider for larger fonts.
    window_->setFixedWidth(std::max(480, titleLabel_->fontMetrics().averageCharWidth() * 56));
    fitToText();
    helpButton_->setFocus();
}

// Wrapped texts take the lines they need: the sheet grows for a long subtitle
// or a large font rather than cutting the text.
void UpdateSheetController::fitToText() {
    window_->layout()->activate();
    const int height = window_->layout()->totalHeightForWidth(window_->width());
    if (height > 0 && height != window_->height()) window_->setFixedHeight(height);
}

void UpdateSheetController::phaseChanged() {
    fitToText();
    if (window_->isVisible()) announcement_.start(0);
}

void UpdateSheetController::setTitle(const QString& title) {
    if (title == title_) return;
    title_ = title;
    titleLabel_->setText(title);
    window_->setAccessibleName(title);  // sends the one name change itself
    phaseChanged();
}

void UpdateSheetController::setSubtitle(const QString& subtitle) {
    if (subtitle == subtitle_) return;
    subtitle_ = subtitle;
    subtitleLabel_->setText(subtitle);
    window_->setAccessibleDescription(subtitle);
    phaseChanged();
}

void UpdateSheetController::setHelp(const QString& help) {
    help_ = help;
    helpLabel_->setText(help);
    fitToText();
}

void UpdateSheetController::setProgress(double progress) {
    progress_ = progress;
    indeterminate_ = progress > 1;
    if (indeterminate_)
        progressIndicator_->setBusy();
    else if (!(progress < 0))
        progressIndicator_->setFraction(progress);
    progressIndicator_->setVisible(!(progress < 0));
}

void UpdateSheetController::setCancelable(bool cancelable) {
    cancelable_ = cancelable;
    cancelButton_->setEnabled(cancelable);
}

void UpdateSheetController::beginSheetModalForWindow(QWidget* parent) {
    if (window_->isVisible()) return;
    // A fixed-size dialog over its window: no minimise or maximise button. It
    // does not block the window, so that closing it can ask first.
    window_->setParent(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window_->setWindowModality(Qt::NonModal);
    window_->setWindowTitle(parent ? parent->windowTitle() : QString());
    fitToText();
    if (parent) window_->move(parent->geometry().center() - window_->rect().center());
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void UpdateSheetController::endSheetModalForWindow(QWidget*) {
    announcement_.stop();
    if (!window_->isVisible()) return;
    window_->hide();
}

}  // namespace zal::gui
