// SPDX-License-Identifier: MIT
#include "app/update_window.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTextCursor>
#include <QTimer>

#include "app/factories.hpp"
#include "app/log_window.hpp"
#include "app/markdown/text_document.hpp"
#include "app/notes_accessible.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"

namespace zal::gui {

namespace {

constexpr int initial_width = 600, initial_height = 300;

bool safe_to_open(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == u"http" || scheme == u"https" || scheme == u"mailto";
}

}  // namespace

UpdateWindow::UpdateWindow() {
    setWindowTitle(QApplication::applicationDisplayName());  // until a package names it
    content_ = new QWidget;
    setCentralWidget(content_);

    textView_ = new QTextBrowser;
    expose_note_links(textView_);  // before anything asks for its accessible interface
    textView_->setAccessibleName(Messages::tr("Release notes"));
    textView_->setFrameShape(QFrame::NoFrame);
    textView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    textView_->setLineWrapMode(QTextEdit::WidgetWidth);
    textView_->setReadOnly(true);
    textView_->setUndoRedoEnabled(false);
    textView_->setOpenLinks(false);
    textView_->document()->setDocumentMargin(8);
    textView_->setTabStopDistance(textView_->fontMetrics().horizontalAdvance(QStringLiteral("    ")));
    // Release notes come from a downloaded file: only web and mail links open.
    QObject::connect(textView_, &QTextBrowser::anchorClicked, textView_, [](const QUrl& url) {
        if (safe_to_open(url)) open_url(url);
    });

    titleLabel_ = make_label(QString(), control_size_t::regular, true, content_);
    secondaryLabel_ = make_label(QString(), control_size_t::small, false, content_);
    signatureIcon_ = new QLabel(content_);
    signatureIcon_->setAccessibleName(QString());
    signatureLabel_ = make_label(QString(), control_size_t::small, false, content_);
    signatureIcon_->hide();
    signatureLabel_->hide();
    noticeLabel_ = make_label(QString(), control_size_t::small, true, content_);
    noticeLabel_->setWordWrap(true);
    noticeLabel_->hide();

    updateButton_ = make_button(Messages::tr("Update"), control_size_t::regular, bezel_t::rounded, content_);
    updateButton_->setEnabled(false);
    updateButton_->setAutoDefault(false);
    updateButton_->setMinimumWidth(110);
    connect(updateButton_, &QPushButton::clicked, this, &UpdateWindow::updateRequested);
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setAutoRepeat(false);  // a held key presses once
        connect(shortcut, &QShortcut::activated, this, &UpdateWindow::returnPressed);
    }

    noPackagePage_ = new QWidget;
    auto* hint = make_label(localized("ZALNoPackageHint"), control_size_t::regular, false, noPackagePage_);
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignCenter);
    openButton_ =
        make_button(Messages::tr("Open Update Package…"), control_size_t::regular, bezel_t::rounded, noPackagePage_);
    openButton_->setAutoDefault(false);
    connect(openButton_, &QPushButton::clicked, this, &UpdateWindow::openRequested);
    auto* noPackage = new QVBoxLayout(noPackagePage_);
    noPackage->setContentsMargins(24, 16, 24, 16);
    noPackage->addStretch(1);
    noPackage->addWidget(hint);
    noPackage->addSpacing(12);
    noPackage->addWidget(openButton_, 0, Qt::AlignHCenter);
    noPackage->addStretch(1);

    pages_ = new QStackedWidget;
    pages_->addWidget(noPackagePage_);
    pages_->addWidget(textView_);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(titleLabel_);
    titles->addWidget(secondaryLabel_);
    auto* signature = new QHBoxLayout;
    signature->setSpacing(4);
    signature->addWidget(signatureIcon_);
    signature->addWidget(signatureLabel_, 1);
    titles->addLayout(signature);
    titles->addWidget(noticeLabel_);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(10, 7, 5, 7);
    header->addLayout(titles, 1);
    header->addWidget(updateButton_, 0, Qt::AlignVCenter);
    auto* separator = new QFrame;
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    auto* layout = new QVBoxLayout(content_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    feedBar_ = new FeedBar(content_);
    layout->addWidget(feedBar_);
    layout->addLayout(header);
    layout->addWidget(separator);
    layout->addWidget(pages_, 1);

    createMenus();
    fitWindowToContent();
    QTimer::singleShot(0, updateButton_, qOverload<>(&QWidget::setFocus));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

// Menu titles carry their Alt key in each language's own text, one letter per
// menu and no two alike (F10 then opens the first menu).
void UpdateWindow::createMenus() {
    fileMenu_ = menuBar()->addMenu(Messages::tr("&File"));
    updateAction_ = fileMenu_->addAction(Messages::tr("Update"), QKeySequence(Qt::CTRL | Qt::Key_R), this,
                                         &UpdateWindow::updateRequested);
    openAction_ = fileMenu_->addAction(Messages::tr("Open another update…"), QKeySequence(Qt::CTRL | Qt::Key_O), this,
                                       &UpdateWindow::openRequested);
    checkAction_ =
        fileMenu_->addAction(Messages::tr("Check for Firmware Updates…"), this, &UpdateWindow::checkRequested);
    updateAction_->setAutoRepeat(false);
    openAction_->setAutoRepeat(false);
    fileMenu_->addSeparator();
    fileMenu_->addAction(Messages::tr("Close Window"), QKeySequence(Qt::CTRL | Qt::Key_W), this, [] {
        if (QWidget* window = QApplication::activeWindow()) window->close();
    });
    // QKeySequence::Quit is empty on some desktops.
    fileMenu_
        ->addAction(Messages::tr("Quit %1").arg(app_name(QString())), QKeySequence(Qt::CTRL | Qt::Key_Q), this,
                    &UpdateWindow::quitRequested)
        ->setShortcutContext(Qt::ApplicationShortcut);

    editMenu_ = menuBar()->addMenu(Messages::tr("&Edit"));
    // Edit actions go to the focused widget, as a first responder would.
    const auto forward = [this](const QString& title, QKeySequence key, const char* slot) {
        editMenu_->addAction(title, key, this, [slot] {
            if (QWidget* focus = QApplication::focusWidget()) QMetaObject::invokeMethod(focus, slot);
        });
    };
    forward(Messages::tr("Undo"), QKeySequence::Undo, "undo");
    forward(Messages::tr("Redo"), QKeySequence::Redo, "redo");
    editMenu_->addSeparator();
    forward(Messages::tr("Cut"), QKeySequence::Cut, "cut");
    forward(Messages::tr("Copy"), QKeySequence::Copy, "copy");
    forward(Messages::tr("Paste"), QKeySequence::Paste, "paste");
    // Delete removes the selection, and never in read-only text (`clear` would
    // empty a read-only view as well).
    editMenu_->addAction(Messages::tr("Delete"), QKeySequence::Delete, this, [] {
        QWidget* focus = QApplication::focusWidget();
        if (auto* line = qobject_cast<QLineEdit*>(focus); line && !line->isReadOnly() && line->hasSelectedText()) {
            line->del();
        } else if (auto* text = qobject_cast<QTextEdit*>(focus); text && !text->isReadOnly()) {
            text->textCursor().removeSelectedText();
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus); plain && !plain->isReadOnly()) {
            plain->textCursor().removeSelectedText();
        }
    });
    forward(Messages::tr("Select All"), QKeySequence::SelectAll, "selectAll");
    // The widgets' own keys stay theirs.
    for (QAction* a : editMenu_->actions()) a->setShortcutContext(Qt::WidgetShortcut);

    windowMenu_ = menuBar()->addMenu(Messages::tr("&Window"));
    windowMenu_
        ->addAction(Messages::tr("History"), QKeySequence(Qt::CTRL | Qt::Key_H), this, &UpdateWindow::historyRequested)
        ->setShortcutContext(Qt::ApplicationShortcut);

    helpMenu_ = menuBar()->addMenu(Messages::tr("&Help"));
    helpMenu_
        ->addAction(Messages::tr("%1 Help").arg(app_name(QStringLiteral("Get"))), QKeySequence(Qt::Key_F1), this,
                    &UpdateWindow::helpRequested)
        ->setShortcutContext(Qt::ApplicationShortcut);
    helpMenu_
        ->addAction(Messages::tr("Log Console"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), this,
                    [] { LogWindow::logWindow()->toggle(); })
        ->setShortcutContext(Qt::ApplicationShortcut);
    helpMenu_->addSeparator();
    helpMenu_->addAction(Messages::tr("About %1").arg(app_name(QString())), this, &UpdateWindow::about);
    helpMenu_->addAction(Messages::tr("About Qt"), this, [this] { QMessageBox::aboutQt(this); });

    // F10 opens the menu bar from the keyboard, as elsewhere on the desktop.
    connect(new QShortcut(QKeySequence(Qt::Key_F10), this), &QShortcut::activated, this,
            [this] { menuBar()->setActiveAction(fileMenu_->menuAction()); });
}

void UpdateWindow::shareKeys(QWidget* modal) {
    for (QAction* action : helpMenu_->actions())
        if (!action->shortcut().isEmpty())
            connect(new QShortcut(action->shortcut(), modal), &QShortcut::activated, action, &QAction::trigger);
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
    if (confirmClose_ && !confirmClose_())
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

void UpdateWindow::about() {
    QMessageBox box(QMessageBox::NoIcon, Messages::tr("About %1").arg(app_name(QString())), app_name(QString()),
                    QMessageBox::Ok, this);
    box.setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    box.setInformativeText(localized("ZALAboutText").arg(QStringLiteral(ZAL_VERSION)));
    box.exec();
}

// Return acts on what has focus: a link in the notes opens (web and mail only),
// a focused button is pressed, and Update is the default for everything else.
// A key meant for a link must never write firmware.
void UpdateWindow::returnPressed() {
    QWidget* focus = QApplication::focusWidget();
    if (focus == textView_ || (focus && textView_->isAncestorOf(focus))) {
        const QTextCursor cursor = textView_->textCursor();
        if (cursor.hasSelection() && cursor.charFormat().isAnchor()) {
            const QUrl url(cursor.charFormat().anchorHref());
            if (safe_to_open(url)) open_url(url);
            return;
        }
    }
    if (auto* button = qobject_cast<QAbstractButton*>(focus); button && button != updateButton_) {
        if (button->isEnabled()) button->click();
        return;
    }
    if (updateButton_->isEnabled()) updateButton_->click();
}

void UpdateWindow::fitWindowToContent() {
    layout()->activate();
    const QSize needed = sizeHint();
    const int bar = menuWidget() && !menuWidget()->isHidden() ? menuWidget()->sizeHint().height() : 0;
    resize(std::max(initial_width, needed.width()), std::max(initial_height + bar, needed.height()));
}

void UpdateWindow::setHasPackage(bool hasPackage) {
    pages_->setCurrentWidget(hasPackage ? static_cast<QWidget*>(textView_) : noPackagePage_);
    // Without a package the page's Open is the one thing to do.
    updateButton_->setVisible(hasPackage);
}

void UpdateWindow::setTitle(const QString& title) {
    title_ = title;
    titleLabel_->setText(title);
}

void UpdateWindow::setSecondaryTitle(const QString& secondaryTitle) {
    secondaryTitle_ = secondaryTitle;
    secondaryLabel_->setText(secondaryTitle);
}

void UpdateWindow::setSignature(bool trusted, const QString& iconName, const QString& text) {
    const int size = signatureLabel_->fontMetrics().height();
    const QStyle::StandardPixmap icon = trusted ? QStyle::SP_DialogApplyButton : QStyle::SP_MessageBoxInformation;
    signatureIcon_->setPixmap(signatureIcon_->style()->standardIcon(icon).pixmap(size, size));
    signatureIcon_->setAccessibleName(iconName);
    signatureLabel_->setText(text);
    signatureIcon_->setVisible(!text.isEmpty());
    signatureLabel_->setVisible(!text.isEmpty());
}

void UpdateWindow::setNotice(const QString& text) {
    noticeLabel_->setText(text);
    noticeLabel_->setAccessibleName(text);
    noticeLabel_->setVisible(!text.isEmpty());
}

void UpdateWindow::setDetails(const styled_text_t& details) {
    ++detailsGeneration_;
    slicedNotes_.reset();
    details_ = details;
    fill_document(*textView_->document(), details);
    showDetailsFromStart();
}

void UpdateWindow::setDetails(const styled_text_t& details, std::unique_ptr<QTextDocument> filled) {
    const quint64 generation = ++detailsGeneration_;
    details_ = details;
    slicedNotes_ = std::move(filled);
    slicedUpTo_ = 0;
    QTextDocument* document = textView_->document();
    document->setUndoRedoEnabled(false);
    document->clear();
    appendNotesSlice(generation);
    showDetailsFromStart();
}

void UpdateWindow::showDetailsFromStart() {
    textView_->document()->setDocumentMargin(8);
    textView_->moveCursor(QTextCursor::Start);
    textView_->verticalScrollBar()->setValue(0);
}

void UpdateWindow::appendNotesSlice(quint64 generation) {
    if (generation != detailsGeneration_ || !slicedNotes_) return;
    // About 8,000 characters: a few milliseconds of layout.
    slicedUpTo_ = append_slice(*textView_->document(), *slicedNotes_, slicedUpTo_, 8192);
    if (slicedUpTo_ < slicedNotes_->characterCount() - 1)
        QTimer::singleShot(0, this, [this, generation] { appendNotesSlice(generation); });
    else
        slicedNotes_.reset();
}

void UpdateWindow::setUpdateEnabled(bool enabled) {
    updateEnabled_ = enabled;
    updateButton_->setEnabled(enabled);
}

void UpdateWindow::setDetailsEnabled(bool enabled) {
    detailsEnabled_ = enabled;
    textView_->setTextInteractionFlags(enabled ? Qt::TextBrowserInteraction : Qt::NoTextInteraction);
}

}  // namespace zal::gui
