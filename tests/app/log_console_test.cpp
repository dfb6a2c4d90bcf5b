// SPDX-License-Identifier: MIT
// The log console takes standard error over, and still writes everything on to
// the standard error the process started with: a crash message, or what the
// engine writes after the window has gone, must reach the terminal.
#include <QApplication>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/log_window.hpp"

using namespace zal::gui;

class LogConsoleTest : public QObject {
    Q_OBJECT

    int terminal_[2] = {-1, -1};  // stands for the terminal the program started on
    int saved_ = -1;

private slots:
    void initTestCase() {
        QVERIFY(::pipe2(terminal_, O_CLOEXEC) == 0);
        saved_ = ::dup(STDERR_FILENO);
        QVERIFY(::dup2(terminal_[1], STDERR_FILENO) >= 0);
        LogWindow::logWindow();
    }

    void everyLineReachesTheConsoleAndTheTerminal() {
        std::fprintf(stderr, "a line for both\n");
        QTRY_VERIFY(LogWindow::logWindow()->text().contains(QStringLiteral("a line for both")));
        std::string seen;
        pollfd terminal{terminal_[0], POLLIN, 0};
        for (int i = 0; i < 50 && seen.find("a line for both") == std::string::npos; ++i) {
            if (::poll(&terminal, 1, 100) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(terminal_[0], buffer, sizeof buffer);
            if (n > 0) seen.append(buffer, std::size_t(n));
        }
        QVERIFY2(seen.find("a line for both\n") != std::string::npos, seen.c_str());
    }

    void cleanupTestCase() {
        if (saved_ >= 0) ::dup2(saved_, STDERR_FILENO);
    }
};

QTEST_MAIN(LogConsoleTest)
#include "log_console_test.moc"
