// SPDX-License-Identifier: MIT
// Launches of one application meeting through the real lock file and local socket.
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QUuid>

#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <QtTest>

#include "app/single_instance.hpp"

using namespace zal::gui;

class SingleInstanceTest : public QObject {
    Q_OBJECT

    // A name no other test run uses.
    QString name = QStringLiteral("ventaro-update-test-") + QUuid::createUuid().toString(QUuid::Id128);

private slots:
    void laterLaunchesHandTheirPathToTheFirst() {
        SingleInstance first(name);
        QVERIFY(first.claim({}));
        QSignalSpy launched(&first, &SingleInstance::launched);

        // Names a file manager may pass: spaces, accents, even a line break.
        const QStringList paths = {QStringLiteral("/home/élise/Mes mises à jour/Ventaro 2.1.zalmirupdate"),
                                   QStringLiteral("/tmp/two\nlines.zalmirupdate"), QString()};
        for (const QString& path : paths) {
            SingleInstance later(name);
            QVERIFY(!later.claim(path));
        }
        QTRY_COMPARE(launched.size(), int(paths.size()));
        for (int i = 0; i < paths.size(); ++i) QCOMPARE(launched[i][0].toString(), paths[i]);
    }

    // A receiver that runs a nested loop (a modal alert for a path it cannot read)
    // while the launch that sent the path disconnects: nothing may touch the
    // socket after the loop (checked under AddressSanitizer in CI).
    void aReceiverMayOpenAModalLoopWhileTheLaunchLeaves() {
        SingleInstance first(name);
        QVERIFY(first.claim({}));
        int handled = 0;
        connect(&first, &SingleInstance::launched, this, [&handled](const QString&) {
            QEventLoop alert;
            QTimer::singleShot(300, &alert, &QEventLoop::quit);
            alert.exec();
            ++handled;
        });
        {
            SingleInstance later(name);
            QVERIFY(!later.claim(QStringLiteral("/nonexistent/a.zalmirupdate")));
        }
        QTRY_COMPARE(handled, 1);
        QTest::qWait(100);
    }

    // A first instance busy with an update refuses a path, and the later launch knows.
    void aRefusedPathIsReportedToTheLaunch() {
        SingleInstance first(name);
        QVERIFY(first.claim({}));
        bool accepting = false;
        first.setAcceptsPaths([&accepting] { return accepting; });
        // The later launch blocks while it waits for the answer: it runs on a thread of its own.
        auto launch = [this](const QString& path) -> SingleInstance::handover_t {
            SingleInstance::handover_t result = SingleInstance::handover_t::none;
            std::thread later([&] {
                SingleInstance instance(name);
                if (!instance.claim(path)) result = instance.handover();
            });
            QTest::qWait(1500);
            later.join();
            return result;
        };
        QCOMPARE(launch(QStringLiteral("/tmp/a.zalmirupdate")), SingleInstance::handover_t::refused);
        accepting = true;
        QCOMPARE(launch(QStringLiteral("/tmp/a.zalmirupdate")), SingleInstance::handover_t::taken);
    }

    void theNameIsFreeOnceTheFirstHasGone() {
        {
            SingleInstance first(name);
            QVERIFY(first.claim({}));
        }
        SingleInstance next(name);
        QVERIFY(next.claim({}));
    }

    // A first instance that crashed left its socket behind: the next first
    // takes the name over, only the user may talk to it, and launches reach it.
    void aCrashedFirstLeavesNothingInTheWay() {
        const QByteArray socket_path =
            QFile::encodeName(QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).filePath(name));
        {
            QLocalServer crashed;
            QVERIFY(crashed.listen(QString::fromLocal8Bit(socket_path)));
            // A crash does not remove the socket file: keep it as QLocalServer closes.
            QVERIFY(::link(socket_path.constData(), (socket_path + ".kept").constData()) == 0);
        }
        QVERIFY(::rename((socket_path + ".kept").constData(), socket_path.constData()) == 0);
        SingleInstance first(name);
        QVERIFY(first.claim({}));
        struct stat status {};
        QVERIFY(::stat(socket_path.constData(), &status) == 0);
        QCOMPARE(status.st_mode & 0777, 0600u);
        QSignalSpy launched(&first, &SingleInstance::launched);
        SingleInstance later(name);
        QVERIFY(!later.claim(QStringLiteral("/tmp/a.zalmirupdate")));
        QTRY_COMPARE(launched.size(), 1);
    }

    // Another program of the user's may connect to the socket: a stream that never ends a line is cut,
    // not buffered without bound.
    void aStrangerCannotMakeTheFirstBufferWithoutBound() {
        SingleInstance first(name);
        QVERIFY(first.claim({}));
        QSignalSpy launched(&first, &SingleInstance::launched);
        QLocalSocket stranger;
        stranger.connectToServer(
            QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).filePath(name));
        QVERIFY(stranger.waitForConnected(1000));
        const QByteArray junk(4096, 'x');
        for (int i = 0; i < 64 && stranger.state() == QLocalSocket::ConnectedState; ++i) {
            stranger.write(junk);
            stranger.waitForBytesWritten(100);
            QTest::qWait(5);
        }
        QTRY_COMPARE(stranger.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(launched.size(), 0);

        // The first still hears real launches.
        SingleInstance later(name);
        QVERIFY(!later.claim(QStringLiteral("/tmp/a.zalmirupdate")));
        QTRY_COMPARE(launched.size(), 1);
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
