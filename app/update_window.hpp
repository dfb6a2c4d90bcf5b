// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>

// The main window: product, version and date, rendered release notes, the
// "Update" button and the menus. It knows nothing of packages; its owner fills
// it and hears its buttons and menu items through its signals.

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QString>
#include <QTextBrowser>

#include "app/feed_bar.hpp"
#include "app/markdown/styled_text.hpp"

namespace zal::gui {

class UpdateWindow : public QMainWindow {
    Q_OBJECT

public:
    UpdateWindow();

    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* secondaryLabel() const { return secondaryLabel_; }
    // Who signed the package, or that nobody did: an icon and a line.
    QLabel* signatureIcon() const { return signatureIcon_; }
    QLabel* signatureLabel() const { return signatureLabel_; }
    QTextBrowser* textView() const { return textView_; }
    QPushButton* updateButton() const { return updateButton_; }
    // Shown instead of the notes until a package is open: what to do.
    QWidget* noPackagePage() const { return noPackagePage_; }
    QPushButton* openButton() const { return openButton_; }

    QString title() const { return title_; }
    void setTitle(const QString& title);
    QString secondaryTitle() const { return secondaryTitle_; }
    void setSecondaryTitle(const QString& secondaryTitle);
    // `iconName` is what a screen reader says of the icon; an empty text hides the line.
    void setSignature(bool trusted, const QString& iconName, const QString& text);
    // A notice before Update (an older package than the installed firmware); empty hides it.
    void setNotice(const QString& text);
    QLabel* noticeLabel() const { return noticeLabel_; }
    const styled_text_t& details() const { return details_; }
    void setDetails(const styled_text_t& details);
    // The same, with a document already filled from `details` (off the main
    // thread, for long notes); the view takes it in slices, one per turn of
    // the event loop, so that laying it out never holds the window.
    void setDetails(const styled_text_t& details, std::unique_ptr<QTextDocument> filled);
    bool updateEnabled() const { return updateEnabled_; }
    void setUpdateEnabled(bool enabled);
    bool detailsEnabled() const { return detailsEnabled_; }
    void setDetailsEnabled(bool enabled);
    bool hasPackage() const { return pages_->currentWidget() == textView_; }
    void setHasPackage(bool hasPackage);

    // File > Update, Open and Check for Firmware Updates, which the owner
    // enables as its state allows.
    QAction* updateAction() const { return updateAction_; }
    QAction* openAction() const { return openAction_; }
    QAction* checkAction() const { return checkAction_; }
    // Newer firmware on the maker's list, above the content; hidden until then.
    FeedBar* feedBar() const { return feedBar_; }
    QMenu* fileMenu() const { return fileMenu_; }
    QMenu* editMenu() const { return editMenu_; }
    QMenu* windowMenu() const { return windowMenu_; }
    QMenu* helpMenu() const { return helpMenu_; }
    // Gives a window shown over this one (an alert, the history) the Help
    // menu's keys: this window and its menu bar are blocked while it is
    // shown, but the log console and help must stay at hand.
    void shareKeys(QWidget* modal);

    // Asked before the window closes, however it is closed; false keeps it open.
    void setConfirmClose(std::function<bool()> confirm) { confirmClose_ = std::move(confirm); }

    // The window sized so that its content is at least 600 by 300, whatever the
    // menu bar takes, and wider when its texts need it.
    void fitWindowToContent();
    void returnPressed();

public slots:
    // The application's own About box: name, version, icon, copyright and licence.
    void about();

signals:
    void updateRequested();
    void openRequested();
    void checkRequested();
    void historyRequested();
    void helpRequested();
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createMenus();

    std::function<bool()> confirmClose_;

    QMenu* fileMenu_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* updateAction_ = nullptr;
    QAction* openAction_ = nullptr;
    QAction* checkAction_ = nullptr;
    FeedBar* feedBar_ = nullptr;
    QWidget* content_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QWidget* noPackagePage_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* secondaryLabel_ = nullptr;
    QLabel* signatureIcon_ = nullptr;
    QLabel* signatureLabel_ = nullptr;
    QLabel* noticeLabel_ = nullptr;
    QTextBrowser* textView_ = nullptr;
    QPushButton* updateButton_ = nullptr;

    QString title_, secondaryTitle_;
    styled_text_t details_;
    void appendNotesSlice(quint64 generation);
    void showDetailsFromStart();
    std::unique_ptr<QTextDocument> slicedNotes_;  // long notes still being taken in
    int slicedUpTo_ = 0;
    quint64 detailsGeneration_ = 0;
    bool updateEnabled_ = false;
    bool detailsEnabled_ = true;
};

}  // namespace zal::gui
