// SPDX-License-Identifier: MIT
// Launches of one application meeting through the real lock file and local socket.
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QSignalSpy>
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
        // A path longer than any Linux takes is not sent, and the launch says so.
        QCOMPARE(launch(QStringLiteral("/tmp/") + QString(100000, u'a')), SingleInstance::handover_t::too_long);
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
        const QByteArray socket_path = QFile::encodeName(SingleInstance(name).socketPath());
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

    // Another program of the user's may connect to the socket: a stream that
    // never ends a line is cut, not buffered without bound, and a connection
    // streaming lines is heard for its first one only.
    void aStrangerCannotMakeTheFirstBufferWithoutBound() {
        SingleInstance first(name);
        QVERIFY(first.claim({}));
        QSignalSpy launched(&first, &SingleInstance::launched);
        QLocalSocket stranger;
        stranger.connectToServer(first.socketPath());
        QVERIFY(stranger.waitForConnected(1000));
        const QByteArray junk(4096, 'x');
        for (int i = 0; i < 64 && stranger.state() == QLocalSocket::ConnectedState; ++i) {
            stranger.write(junk);
            stranger.waitForBytesWritten(100);
            QTest::qWait(5);
        }
        QTRY_COMPARE(stranger.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(launched.size(), 0);
        QLocalSocket lines;
        lines.connectToServer(first.socketPath());
        QVERIFY(lines.waitForConnected(1000));
        lines.write(QByteArray(10000, '\n'));
        QTRY_COMPARE(lines.state(), QLocalSocket::UnconnectedState);
        QTRY_COMPARE(launched.size(), 1);
        QTest::qWait(100);
        QCOMPARE(launched.size(), 1);
        // Twelve launches at once, heard while the window is busy: a few are
        // queued for it, the others refused.
        QProcess burst;
        burst.start(QStringLiteral("python3"),
                    {QStringLiteral("-c"),
                     QStringLiteral("import socket, sys\n"
                                    "for i in range(12):\n"
                                    "    s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1])\n"
                                    "    s.sendall(b'file:///tmp/%d.zalmirupdate\\n' % i); s.close()\n"),
                     first.socketPath()});
        QVERIFY(burst.waitForFinished(10000));  // no event loop meanwhile: none is heard yet
        QCOMPARE(burst.exitCode(), 0);
        QTRY_COMPARE(launched.size(), 1 + 4);
        QTest::qWait(100);
        QCOMPARE(launched.size(), 1 + 4);

        // The first still hears real launches.
        SingleInstance later(name);
        QVERIFY(!later.claim(QStringLiteral("/tmp/a.zalmirupdate")));
        QTRY_COMPARE(launched.size(), 6);
    }

    // The lock and the socket live in a folder of the user's that no one else
    // may enter: $XDG_RUNTIME_DIR when it is one, else one made in the
    // temporary folder. A folder another user prepared, one open to others or
    // a link is never used, and neither is the current folder.
    void theSocketLivesInAPrivateFolder() {
        QTemporaryDir scratch;
        const QByteArray saved_runtime = qgetenv("XDG_RUNTIME_DIR"), saved_tmp = qgetenv("TMPDIR");
        const auto restore = qScopeGuard([&] {
            for (const auto& [variable, value] : {std::pair{"XDG_RUNTIME_DIR", saved_runtime}, {"TMPDIR", saved_tmp}})
                value.isNull() ? (void)qunsetenv(variable) : (void)qputenv(variable, value);
        });
        qputenv("TMPDIR", QFile::encodeName(scratch.path()));
        const QString fallback = scratch.filePath(QStringLiteral("ventaro-update-%1").arg(::geteuid()));
        const auto mode_of = [](const QString& path) {
            struct stat status {};
            return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0u;
        };

        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(privateRuntimeFolder(), fallback);
        QCOMPARE(mode_of(fallback), 0700u);
        {
            SingleInstance first(name);
            QVERIFY(first.claim({}));
            QCOMPARE(first.socketPath(), fallback + u'/' + name);
            // A launch in another process reaches it there.
            QSignalSpy launched(&first, &SingleInstance::launched);
            QProcess later;
            later.start(
                QStringLiteral("python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import socket, sys; s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); "
                                "s.sendall(b'file:///tmp/a.zalmirupdate\\n'); print(s.recv(64).decode())"),
                 first.socketPath()});
            QTRY_COMPARE_WITH_TIMEOUT(later.state(), QProcess::NotRunning, 10000);
            QCOMPARE(later.readAllStandardOutput().trimmed(), QByteArray("taken"));
            QTRY_COMPARE(launched.size(), 1);
        }
        // A relative runtime folder, or one others may enter, is not the user's own.
        QDir(scratch.path()).mkdir(QStringLiteral("open"));
        ::chmod(QFile::encodeName(scratch.filePath(QStringLiteral("open"))).constData(), 0755);
        for (const QString& runtime : {QStringLiteral("run/user"), scratch.filePath(QStringLiteral("open"))}) {
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
            QCOMPARE(privateRuntimeFolder(), fallback);
        }
        qunsetenv("XDG_RUNTIME_DIR");

        // The fallback prepared by someone else: open to others, or a link.
        QVERIFY(QDir(fallback).removeRecursively());
        QVERIFY(QDir(scratch.path()).mkdir(QFileInfo(fallback).fileName()));
        ::chmod(QFile::encodeName(fallback).constData(), 0777);
        QCOMPARE(privateRuntimeFolder(), QString());
        QVERIFY(QDir(fallback).removeRecursively());
        QVERIFY(QFile::link(scratch.filePath(QStringLiteral("open")), fallback));
        QCOMPARE(privateRuntimeFolder(), QString());
        QVERIFY(QFile::remove(fallback));
        if (::geteuid() == 0) {  // another user's folder, as only root can make one here
            QVERIFY(QDir(scratch.path()).mkdir(QFileInfo(fallback).fileName()));
            QVERIFY(::chmod(QFile::encodeName(fallback).constData(), 0700) == 0);
            QVERIFY(::chown(QFile::encodeName(fallback).constData(), 65534, 65534) == 0);
            QCOMPARE(privateRuntimeFolder(), QString());
            QVERIFY(QDir(fallback).removeRecursively());
            QVERIFY(QFile::link(scratch.filePath(QStringLiteral("open")), fallback));
        }

        // Without a private folder, a launch is a first of its own and leaves
        // nothing in the current folder.
        const QString here = QDir::currentPath();
        QVERIFY(QDir::setCurrent(scratch.filePath(QStringLiteral("open"))));
        {
            SingleInstance alone(name);
            QVERIFY(alone.claim(QStringLiteral("/tmp/a.zalmirupdate")));
            QCOMPARE(alone.socketPath(), QString());
            QVERIFY(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty());
        }
        QVERIFY(QDir::setCurrent(here));
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
