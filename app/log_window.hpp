// SPDX-License-Identifier: MIT
#pragma once

// The log console: from its creation it takes the process's standard error
// for good and shows everything written there. One per process.

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QWidget>

#include <string>

namespace zal::gui {

// Splits a byte stream into valid UTF-8 text: an incomplete character at the
// end of a chunk waits for the next chunk, invalid bytes become U+FFFD.
class utf8_stream_decoder_t {
public:
    QString decode(const char* bytes, std::size_t length);

private:
    std::string pending_;
};

class LogWindow : public QWidget {
    Q_OBJECT

public:
    // The console, created on first use.
    static LogWindow* logWindow();
    // It shows the last lines written, this many.
    static constexpr int max_lines = 10000;

    QPlainTextEdit* textView();
    // The whole log to the clipboard, or to a file the user chooses.
    QPushButton* copyButton() const { return copyButton_; }
    QPushButton* saveButton() const { return saveButton_; }
    void save();
    // Everything shown so far, also while the console is hidden.
    QString text() const { return log_->toPlainText(); }
    void toggle();
    // Appends text as the console does with what it reads; main thread.
    void append(const QString& text);

    // The standard error the process started with, where everything the console
    // shows is written too; -1 before the console exists.
    static int originalStandardError();

    // Makes the text view first, however the console is shown: a view made
    // while the window shows would be shown, and focused, only later.
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    LogWindow();
    void commonInit();
    void setupPipes();

    QPlainTextEdit* textView_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    // The log, and what the view holds while hidden: a hidden view's text
    // changes would still reach screen readers.
    QTextDocument* log_ = nullptr;
    QTextDocument* idle_ = nullptr;
    int read_fd_ = -1;
};

}  // namespace zal::gui
