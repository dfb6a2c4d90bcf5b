// SPDX-License-Identifier: MIT
#include "app/single_instance.hpp"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

namespace zal::gui {

// One line per launch: the path as a file URL, which has no line breaks even
// when the path does.
class SingleInstance::Private {
public:
    using handover_t = SingleInstance::handover_t;
    // The user's private runtime folder: other users can neither take the name
    // nor talk to the socket.
    Private(SingleInstance* owner, const QString& instance_name)
        : q(owner),
          name(QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).filePath(instance_name)),
          lock(name + ".lock") {
        lock.setStaleLockTime(0);  // held for the process's life; only a dead owner makes it stale
    }

    void listen() {
        QLocalServer::removeServer(name);  // the socket of an instance that crashed
        server.setSocketOptions(QLocalServer::UserAccessOption);
        if (!server.listen(name)) return;
        QObject::connect(&server, &QLocalServer::newConnection, q, [this] {
            while (QLocalSocket* socket = server.nextPendingConnection()) {
                QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { read(socket); });
                QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                read(socket);  // the launch may have written and left already
            }
        });
    }

    void read(QLocalSocket* socket) {
        while (socket->canReadLine()) {
            const QByteArray line = socket->readLine(max_line).trimmed();
            const QString path = line.isEmpty() ? QString() : QUrl::fromEncoded(line).toLocalFile();
            const bool taken = path.isEmpty() || !accepts || accepts();
            socket->write(taken ? "taken\n" : "refused\n");
            // Announced from the event loop, not from inside the socket's handler: a
            // receiver may open a modal alert, during which the socket can go away.
            QMetaObject::invokeMethod(
                q, [owner = q, path] { emit owner->launched(path); }, Qt::QueuedConnection);
        }
        // Nobody sends more than one line: a stream without a line break is not ours.
        if (socket->bytesAvailable() >= max_line) socket->abort();
    }

    bool hand_over(const QString& path) {
        const QByteArray line = (path.isEmpty() ? QByteArray() : QUrl::fromLocalFile(path).toEncoded()) + '\n';
        // The first instance may still be starting: give it a few seconds to listen.
        for (int attempt = 0; attempt < 20; ++attempt) {
            QLocalSocket socket;
            socket.connectToServer(name);
            if (socket.waitForConnected(250)) {
                socket.write(line);
                const bool sent = socket.waitForBytesWritten(1000) || socket.bytesToWrite() == 0;
                // The first says whether it took the path; one that does not answer took it.
                if (sent && !path.isEmpty()) {
                    handover = handover_t::taken;
                    if (socket.waitForReadyRead(1000) && socket.readLine().trimmed() == "refused")
                        handover = handover_t::refused;
                }
                socket.disconnectFromServer();
                if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(1000);
                return sent;
            }
            QThread::msleep(100);
        }
        return false;
    }

    static constexpr qint64 max_line = 64 * 1024;
    SingleInstance* q;
    std::function<bool()> accepts;
    handover_t handover = handover_t::none;
    QString name;
    QLockFile lock;
    QLocalServer server;
};

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(this, name)) {}

SingleInstance::~SingleInstance() = default;

void SingleInstance::setAcceptsPaths(std::function<bool()> accepts) { d->accepts = std::move(accepts); }

SingleInstance::handover_t SingleInstance::handover() const { return d->handover; }

bool SingleInstance::claim(const QString& path) {
    if (d->lock.tryLock(100)) {
        d->listen();
        return true;
    }
    // A first instance that does not answer must not keep the user from updating.
    return !d->hand_over(path);
}

}  // namespace zal::gui
