// SPDX-License-Identifier: MIT
#pragma once

// The bar above the window's content that tells of newer firmware on the
// maker's list: what it is, its notes' first lines, and Download; while it
// downloads, its progress and Cancel. Not an alert: the user may ignore it.

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <cstdint>

#include "app/status_widgets.hpp"

namespace zal::gui {

class FeedBar : public QFrame {
    Q_OBJECT

public:
    explicit FeedBar(QWidget* parent);

    // `notes` is already printable; empty hides its line. Screen readers are told the offer.
    void showOffer(const QString& offer, const QString& notes);
    void showProgress(uint64_t received, uint64_t total);

    QLabel* offerLabel() const { return offerLabel_; }
    QLabel* notesLabel() const { return notesLabel_; }
    QPushButton* downloadButton() const { return downloadButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    progress_bar_t* progressBar() const { return progressBar_; }

signals:
    void downloadRequested();
    void cancelRequested();

private:
    QLabel* offerLabel_ = nullptr;
    QLabel* notesLabel_ = nullptr;
    QPushButton* downloadButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    progress_bar_t* progressBar_ = nullptr;
    announcer_t* announcer_ = nullptr;
};

}  // namespace zal::gui
