// SPDX-License-Identifier: MIT
#pragma once

// The progress sheet: what the engine does, a progress bar that is hidden,
// determinate or indeterminate, a help hint and button, and "Cancel".

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QString>

namespace zal::gui {

class UpdateSheetController;

class UpdateSheetControllerDelegate {
public:
    virtual void updateSheetControllerDidClickCancel(UpdateSheetController* controller) = 0;
    virtual void updateSheetControllerDidClickHelp(UpdateSheetController* controller) = 0;

protected:
    ~UpdateSheetControllerDelegate() = default;
};

class UpdateSheetController : public QObject {
    Q_OBJECT

public:
    UpdateSheetController();
    ~UpdateSheetController() override;

    QDialog* window() const { return window_; }
    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* subtitleLabel() const { return subtitleLabel_; }
    QLabel* helpLabel() const { return helpLabel_; }
    QProgressBar* progressIndicator() const { return progressIndicator_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* helpButton() const { return helpButton_; }

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

    // Attaches the sheet to `parent`, document-modal; ending it twice is harmless.
    void beginSheetModalForWindow(QWidget* parent);
    void endSheetModalForWindow(QWidget* parent);

    UpdateSheetControllerDelegate* delegate = nullptr;  // not owned

private:
    void initWindow();

    QDialog* window_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* subtitleLabel_ = nullptr;
    QLabel* helpLabel_ = nullptr;
    QProgressBar* progressIndicator_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* helpButton_ = nullptr;

    QString title_, subtitle_, help_;
    double progress_ = -1;
    bool cancelable_ = true;
    bool indeterminate_ = true;
};

}  // namespace zal::gui
