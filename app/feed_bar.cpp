// SPDX-License-Identifier: MIT
#include "app/feed_bar.hpp"

#include <QBoxLayout>

#include "app/factories.hpp"
#include "app/strings.hpp"

namespace zal::gui {

FeedBar::FeedBar(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::AlternateBase);
    offerLabel_ = make_label(QString(), control_size_t::regular, true, this);
    offerLabel_->setWordWrap(true);
    notesLabel_ = make_label(QString(), control_size_t::small, false, this);
    notesLabel_->setWordWrap(true);
    progressBar_ = new progress_bar_t(this);
    progressBar_->setAccessibleName(Messages::tr("Download"));
    announcer_ = new announcer_t(this);
    downloadButton_ = make_button(Messages::tr("Download"), control_size_t::regular, bezel_t::rounded, this);
    cancelButton_ = make_button(Messages::tr("Cancel"), control_size_t::regular, bezel_t::rounded, this);
    for (QPushButton* button : {downloadButton_, cancelButton_}) button->setAutoDefault(false);
    connect(downloadButton_, &QPushButton::clicked, this, &FeedBar::downloadRequested);
    connect(cancelButton_, &QPushButton::clicked, this, &FeedBar::cancelRequested);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(offerLabel_);
    texts->addWidget(notesLabel_);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 5, 6);
    layout->addLayout(texts, 1);
    layout->addWidget(progressBar_);
    layout->addWidget(downloadButton_, 0, Qt::AlignVCenter);
    layout->addWidget(cancelButton_, 0, Qt::AlignVCenter);
    layout->addWidget(announcer_);
    hide();
}

void FeedBar::showOffer(const QString& offer, const QString& notes) {
    offerLabel_->setText(offer);
    notesLabel_->setText(notes);
    notesLabel_->setVisible(!notes.isEmpty());
    progressBar_->hide();
    cancelButton_->hide();
    downloadButton_->show();
    show();
    announcer_->announce(offer);
}

void FeedBar::showProgress(uint64_t received, uint64_t total) {
    if (total == 0)
        progressBar_->setBusy();
    else
        progressBar_->setFraction(double(received) / double(total));
    downloadButton_->hide();
    progressBar_->show();
    cancelButton_->show();
}

}  // namespace zal::gui
