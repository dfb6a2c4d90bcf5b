// SPDX-License-Identifier: MIT
#include "app/log_window.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPointer>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <cstdio>
#include <thread>

#include "app/factories.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"
#include "common/async/thread.hpp"
#include "updater/support_report.hpp"

namespace zal::gui {

namespace {

// Length of the UTF-8 sequence a lead byte starts, or 0 for a byte that
// cannot start one.
int sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

}  // namespace

QString utf8_stream_decoder_t::decode(const char* bytes, std::size_t length) {
    pending_.append(bytes, length);
    // Keep back an incomplete sequence at the very end for the next chunk.
    std::size_t complete = pending_.size();
    for (std::size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
        const auto c = static_cast<unsigned char>(pending_[pending_.size() - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const int needed = sequence_length(c);
        if (needed > int(back)) complete = pending_.size() - back;
        break;
    }
    // Qt decodes invalid bytes as U+FFFD.
    const QString text = QString::fromUtf8(pending_.data(), qsizetype(complete));
    pending_.erase(0, complete);
    return text;
}

LogWindow* LogWindow::logWindow() {
    static LogWindow* console = new LogWindow;  // lives as long as the process
    return console;
}

namespace {

// A plain top-level widget reaches screen readers as a filler; the console is a
// window of its own.
QAccessibleInterface* console_as_window(const QString&, QObject* object) {
    auto* console = qobject_cast<LogWindow*>(object);
    return console ? new QAccessibleWidget(console, QAccessible::Window) : nullptr;
}

}  // namespace

LogWindow::LogWindow() : QWidget(nullptr, Qt::Tool) {
    QAccessible::installFactory(console_as_window);  // once: there is one console
    resize(500, 150);
    commonInit();
}

void LogWindow::commonInit() {
    setWindowTitle(Messages::tr("Log Console"));
    setAccessibleName(Messages::tr("Log Console"));
    setMinimumSize(100, 50);
    // The desktop's own fixed-width font, at the size its user chose.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    log_ = new QTextDocument(this);
    log_->setDocumentLayout(new QPlainTextDocumentLayout(log_));
    log_->setUndoRedoEnabled(false);
    // The engine logs every port it examines while it waits: keep the last
    // lines, not a whole afternoon of them.
    log_->setMaximumBlockCount(max_lines);
    log_->setDefaultFont(fixed);
    idle_ = new QTextDocument(this);
    idle_->setDocumentLayout(new QPlainTextDocumentLayout(idle_));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    // What support asks for, without selecting ten thousand lines.
    auto* buttons = new QDialogButtonBox;
    buttons->setContentsMargins(6, 0, 6, 0);
    copyButton_ = buttons->addButton(Messages::tr("Copy"), QDialogButtonBox::ActionRole);
    saveButton_ = buttons->addButton(Messages::tr("Save…"), QDialogButtonBox::ActionRole);
    connect(copyButton_, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(text()); });
    connect(saveButton_, &QPushButton::clicked, this, &LogWindow::save);
    layout->addWidget(buttons);
    setupPipes();
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        QObject::connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::hide);
}

// The view is made when first needed: most runs never show the console, and
// a text view is the costliest widget to make at start-up.
QPlainTextEdit* LogWindow::textView() {
    if (textView_ != nullptr) return textView_;
    textView_ = new QPlainTextEdit(this);
    textView_->setAccessibleName(Messages::tr("Log Console"));
    textView_->setReadOnly(true);
    textView_->setUndoRedoEnabled(false);
    textView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    textView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textView_->setFrameShape(QFrame::NoFrame);
    textView_->setFont(log_->defaultFont());
    textView_->setDocument(isVisible() ? log_ : idle_);
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, textView_, 1);
    return textView_;
}

namespace {

int original_stderr = -1;
int console_read_fd = -1;

void write_all(int fd, const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, bytes, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes += n;
        length -= std::size_t(n);
    }
}

// A crash must still reach the terminal: standard error goes back to where it
// was, with what the console had not yet read.
void on_fatal_signal(int signal) {
    ::dup2(original_stderr, STDERR_FILENO);
    char buffer[4096];
    pollfd pending{console_read_fd, POLLIN, 0};
    while (::poll(&pending, 1, 0) > 0) {
        const ssize_t n = ::read(console_read_fd, buffer, sizeof buffer);
        if (n <= 0) break;
        write_all(original_stderr, buffer, std::size_t(n));
    }
    ::raise(signal);  // the handler was reset: the default action follows
}

}  // namespace

int LogWindow::originalStandardError() { return original_stderr; }

void LogWindow::setupPipes() {
    int fds[2];
    // Close-on-exec: a program we start must hold neither end of the console's pipe.
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    std::fflush(stderr);
    original_stderr = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (original_stderr < 0 || ::dup2(fds[1], fileno(stderr)) < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return;
    }
    ::close(fds[1]);
    read_fd_ = fds[0];
    console_read_fd = read_fd_;
    setvbuf(stderr, nullptr, _IONBF, 0);
    struct sigaction action {};
    action.sa_handler = on_fatal_signal;
    action.sa_flags = SA_RESETHAND;
    for (int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) ::sigaction(signal, &action, nullptr);
    QPointer<LogWindow> self(this);
    // The reader writes everything on to the original standard error, and posts
    // it to the view; all view work happens on the main thread.
    named_thread("log console", [fd = read_fd_, self] {
        utf8_stream_decoder_t decoder;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                return;
            }
            write_all(original_stderr, buffer, std::size_t(n));
            const QString text = decoder.decode(buffer, std::size_t(n));
            if (text.isEmpty() || !self) continue;
            QMetaObject::invokeMethod(
                self,
                [self, text] {
                    if (self) self->append(text);
                },
                Qt::QueuedConnection);
        }
    }).detach();
}

void LogWindow::save() {
    QFileDialog* panel = save_text_panel(this, QStringLiteral("ventaro-update-log.txt"));
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString& path) {
        // For the user alone, as the support report: it names their devices.
        const bool saved = bool(updater::write_report(QFile::encodeName(path).toStdString(), text().toStdString()));
        QMessageBox* alert = saved ? saved_alert(Messages::tr("Log saved"), path, this)
                                   : new QMessageBox(QMessageBox::Warning, app_name(QString()),
                                                     Messages::tr("The log could not be saved"), QMessageBox::Ok, this);
        if (!saved) alert->setInformativeText(printable_text(QDir::toNativeSeparators(path).toStdString()));
        alert->setAttribute(Qt::WA_DeleteOnClose);
        decorate_alert(alert);
        alert->open();
    });
    panel->open();
}

void LogWindow::toggle() {
    if (isVisible()) {
        hide();
    } else {
        show();
        raise();
        activateWindow();
        textView()->setFocus();  // so that the keyboard reaches it at once
    }
}

void LogWindow::append(const QString& text) {
    QTextCursor cursor(log_);
    cursor.movePosition(QTextCursor::End);
    if (!isVisible()) {
        cursor.insertText(text);
        return;
    }
    QScrollBar* bar = textView_->verticalScrollBar();
    // Follow the end only while the user looks at it: within 25 points of it.
    const int line = std::max(1, textView_->fontMetrics().lineSpacing());
    const bool at_end = (bar->maximum() - bar->value()) * line < 25;
    cursor.insertText(text);
    if (at_end) bar->setValue(bar->maximum());
}

void LogWindow::setVisible(bool visible) {
    if (visible) textView();
    QWidget::setVisible(visible);
}

void LogWindow::showEvent(QShowEvent* event) {
    textView()->setDocument(log_);
    textView_->moveCursor(QTextCursor::End);
    textView_->verticalScrollBar()->setValue(textView_->verticalScrollBar()->maximum());
    QWidget::showEvent(event);
}

void LogWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (textView_ != nullptr) textView_->setDocument(idle_);
}

}  // namespace zal::gui
