// SPDX-License-Identifier: MIT
#pragma once

// The progress sheet: what the engine does, a progress bar that is hidden,
// determinate or indeterminate, a help hint and button, and "Cancel".

#include <QDialog>
#include <QPointer>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include "app/status_widgets.hpp"

namespace zal::gui {

class UpdateSheet : public QDialog {
    Q_OBJECT

public:
    UpdateSheet();

    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* subtitleLabel() const { return subtitleLabel_; }
    QLabel* helpLabel() const { return helpLabel_; }
    progress_bar_t* progressIndicator() const { return progressIndicator_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* helpButton() const { return helpButton_; }
    // What screen readers are told of each new phase: its title and subtitle.
    announcer_t* announcer() const { return announcer_; }

    QString title() const { return title_; }
    void setTitle(const QString& title);
    QString subtitle() const { return subtitle_; }
    void setSubtitle(const QString& subtitle);
    QString help() const { return help_; }
    void setHelp(const QString& help);
    double progress() const { return progress_; }
    void setProgress(double progress);
    bool cancelable() const { return cancelable_; }
    void setCancelable(bool cancelable);
    bool indeterminate() const { return indeterminate_; }

    // Shows the sheet over `parent`, whose own controls its owner disables: the
    // window stays free to be closed. Dismissing it twice is harmless.
    void showOver(QWidget* parent);
    void dismiss();

    // Escape clicks "Cancel" only while it is enabled; closing does nothing else.
    void reject() override;

signals:
    void cancelRequested();
    void helpRequested();

private:
    void phaseChanged();
    void fitToText();

    QLabel* titleLabel_ = nullptr;
    QLabel* subtitleLabel_ = nullptr;
    QLabel* helpLabel_ = nullptr;
    progress_bar_t* progressIndicator_ = nullptr;
    announcer_t* announcer_ = nullptr;
    QTimer announcement_;  // one announcement for a title and subtitle set together
    QPushButton* cancelButton_ = nullptr;
    QPushButton* helpButton_ = nullptr;

    QString title_, subtitle_, help_;
    double progress_ = -1;
    bool cancelable_ = true;
    bool indeterminate_ = true;
};

}  // namespace zal::gui
