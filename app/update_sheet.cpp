// SPDX-License-Identifier: MIT
#include "app/update_sheet.hpp"

#include <QAccessible>
#include <QBoxLayout>
#include <QStyle>

#include <algorithm>

#include "app/factories.hpp"
#include "app/strings.hpp"

namespace zal::gui {

namespace {

// Room for the longest subtitle a phase has, in either language.
constexpr int subtitle_lines = 3;

}  // namespace

UpdateSheet::UpdateSheet() {
    setSizeGripEnabled(false);

    titleLabel_ = make_label(QString(), control_size_t::regular, true, this);
    titleLabel_->setWordWrap(true);
    subtitleLabel_ = make_label(QString(), control_size_t::small, false, this);
    subtitleLabel_->setWordWrap(true);
    subtitleLabel_->setMinimumHeight(subtitleLabel_->fontMetrics().lineSpacing() * subtitle_lines);

    progressIndicator_ = new progress_bar_t(this);
    progressIndicator_->setAccessibleName(Messages::tr("Progress"));
    progressIndicator_->setFixedHeight(progressIndicator_->fontMetrics().height() + 6);
    progressIndicator_->hide();
    // Hidden, the bar keeps its place: the sheet does not jump between phases.
    QSizePolicy keep = progressIndicator_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    progressIndicator_->setSizePolicy(keep);

    announcer_ = new announcer_t(this);
    announcement_.setSingleShot(true);
    QObject::connect(&announcement_, &QTimer::timeout, this, [this] {
        announcer_->announce(subtitle_.isEmpty() ? title_ : title_ + QStringLiteral("\n") + subtitle_);
    });

    helpButton_ = make_button(Messages::tr("Help"), control_size_t::regular, bezel_t::help, this);
    connect(helpButton_, &QPushButton::clicked, this, &UpdateSheet::helpRequested);
    // Return clicks the help button; Escape clicks "Cancel" (see reject).
    helpButton_->setDefault(true);

    helpLabel_ = make_label(QString(), control_size_t::small, false, this);
    helpLabel_->setWordWrap(true);
    helpLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    cancelButton_ = make_button(Messages::tr("Cancel"), control_size_t::regular, bezel_t::rounded, this);
    // Return (and Space) press the focused button; help stays the default when
    // focus is elsewhere.
    cancelButton_->setAutoDefault(true);
    connect(cancelButton_, &QPushButton::clicked, this, &UpdateSheet::cancelRequested);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(helpButton_);
    buttons->addWidget(helpLabel_, 1);
    buttons->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 14, 18, 13);
    layout->addWidget(titleLabel_);
    layout->addWidget(subtitleLabel_);
    layout->addWidget(progressIndicator_);
    layout->addWidget(announcer_);
    layout->addLayout(buttons);
    // As wide as 480 points of the original at the standard font, wider for larger fonts.
    setFixedWidth(std::max(480, titleLabel_->fontMetrics().averageCharWidth() * 56));
    fitToText();
    helpButton_->setFocus();
    setCancelable(true);
    setProgress(-1.0);
}

void UpdateSheet::reject() {
    if (cancelButton_->isEnabled()) cancelButton_->click();
}

// Wrapped texts take the lines they need: the sheet grows for a long subtitle
// or a large font rather than cutting the text.
void UpdateSheet::fitToText() {
    layout()->activate();
    const int height = layout()->totalHeightForWidth(width());
    if (height > 0 && height != this->height()) setFixedHeight(height);
}

void UpdateSheet::phaseChanged() {
    fitToText();
    if (isVisible()) announcement_.start(0);
}

void UpdateSheet::setTitle(const QString& title) {
    if (title == title_) return;
    title_ = title;
    titleLabel_->setText(title);
    setAccessibleName(title);  // sends the one name change itself
    phaseChanged();
}

void UpdateSheet::setSubtitle(const QString& subtitle) {
    if (subtitle == subtitle_) return;
    subtitle_ = subtitle;
    subtitleLabel_->setText(subtitle);
    setAccessibleDescription(subtitle);
    phaseChanged();
}

void UpdateSheet::setHelp(const QString& help) {
    help_ = help;
    helpLabel_->setText(help);
    fitToText();
}

void UpdateSheet::setProgress(double progress) {
    progress_ = progress;
    indeterminate_ = progress > 1;
    if (indeterminate_)
        progressIndicator_->setBusy();
    else if (!(progress < 0))
        progressIndicator_->setFraction(progress);
    progressIndicator_->setVisible(!(progress < 0));
}

void UpdateSheet::setCancelable(bool cancelable) {
    cancelable_ = cancelable;
    cancelButton_->setEnabled(cancelable);
}

void UpdateSheet::showOver(QWidget* parent) {
    if (isVisible()) return;
    // A fixed-size dialog over its window: no minimise or maximise button. It
    // does not block the window, so that closing it can ask first.
    setParent(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::NonModal);
    setWindowTitle(parent ? parent->windowTitle() : QString());
    fitToText();
    if (parent) move(parent->geometry().center() - rect().center());
    show();
    raise();
    activateWindow();
}

void UpdateSheet::dismiss() {
    announcement_.stop();
    if (isVisible()) hide();
}

}  // namespace zal::gui
