// SPDX-License-Identifier: MIT
// app-on-kernel: the shipped application's code path on a real kernel, with the
// system's hidapi and ALSA sequencer (no simulation), a Ventaro and a Ruvo
// plugged in: it loads the package ZAL_PACKAGE names, clicks Update, follows
// the sheet to the success alert, accepts the offer to update the counterpart
// and follows that run to its end. tests/kernel/kernel_test.sh checks the flashes.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "app/application.hpp"
#include "app/log_window.hpp"
#include "app/shell.hpp"
#include "common/async/qt_driver.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"

using namespace zal;
using namespace zal::gui;

namespace {

QMessageBox* visible_alert() {
    for (QWidget* w : QApplication::allWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

// The alert that ends RUN, once the alert before it (if any) has gone: the
// next one may be allocated where the deleted one was, so pointers tell
// nothing. On time-out, says which run it waited for and shows the log, as a
// user's bug report would.
QMessageBox* wait_for_alert(const char* run, const QPointer<QMessageBox>& previous = {}) {
    constexpr int limit_ms = 240000;
    QMessageBox* box = nullptr;
    if (QTest::qWaitFor([&] { return (!previous || !previous->isVisible()) && (box = visible_alert()); }, limit_ms))
        return box;
    std::printf("app: the %s gave no alert within %d s; the log:\n%s\n", run, limit_ms / 1000,
                qPrintable(LogWindow::logWindow()->text()));
    std::fflush(stdout);
    return nullptr;
}

QAbstractButton* button_starting(QMessageBox* box, const QString& start) {
    for (QAbstractButton* b : box->buttons())
        if (b->text().remove(u'&').startsWith(start)) return b;
    return nullptr;
}

}  // namespace

class AppOnKernel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        main_queue::drive_with_qt();
        midi::io::set_service(&midi::io::alsa_service());
    }

    void bothDevicesOneAfterTheOther() {
        const QString package = qEnvironmentVariable("ZAL_PACKAGE");
        QVERIFY2(QFile::exists(package), "ZAL_PACKAGE names no package");
        QTemporaryDir bundle;
        QVERIFY(QFile::copy(package, bundle.filePath(QStringLiteral("update.zalmirupdate"))));
        platform_t platform;
        platform.bundle_directory = bundle.path();
        const std::unique_ptr<Application> delegate = launch(platform);
        QVERIFY(delegate->updateWindow()->updateButton()->isEnabled());

        QTest::mouseClick(delegate->updateWindow()->updateButton(), Qt::LeftButton);
        QTRY_VERIFY(delegate->inUpdate());
        const QPointer<QMessageBox> offer = wait_for_alert("first run (the Ventaro)");
        QVERIFY(offer);
        QVERIFY2(offer->text() == QStringLiteral("Update successful"), qPrintable(offer->informativeText()));
        QAbstractButton* counterpart = button_starting(offer, QStringLiteral("Update my "));
        QVERIFY2(counterpart, "no offer to update the counterpart");
        std::printf("app: first run succeeded, then \"%s\"\n", qPrintable(counterpart->text().remove(u'&')));
        std::fflush(stdout);

        QTest::mouseClick(counterpart, Qt::LeftButton);
        QTRY_VERIFY(delegate->inUpdate());
        QMessageBox* done = wait_for_alert("second run (its counterpart)", offer);
        QVERIFY(done);
        QCOMPARE(done->text(), QStringLiteral("Update successful"));
        std::printf("app: second run succeeded\n");
        done->close();
        delegate->updateRun().engine().shut_down();
    }
};

QTEST_MAIN(AppOnKernel)
#include "app_on_kernel.moc"
