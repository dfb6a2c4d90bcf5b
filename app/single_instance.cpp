// SPDX-License-Identifier: MIT
#include "app/single_instance.hpp"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QThread>
#include <QUrl>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>

namespace zal::gui {

namespace {

// A Unix socket of the user's, in the user's private runtime folder: other
// users can neither take the name nor talk to it. A plain socket with QtCore's
// notifier, so that the application does not load QtNetwork (and the
// Kerberos and proxy libraries it brings) for one line per launch.
bool socket_address(const QByteArray& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path)) return false;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    return true;
}

// Waits up to `timeout_ms` for `events` on `fd`; false on time-out or error.
bool wait_for(int fd, short events, int timeout_ms) {
    pollfd p{fd, events, 0};
    int ready = 0;
    do ready = ::poll(&p, 1, timeout_ms);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

// A folder (not a link to one) owned by this user, which no one else may enter.
bool private_folder(const QByteArray& path) {
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

}  // namespace

QString privateRuntimeFolder() {
    // Qt's runtime location falls back to an empty path, the current folder,
    // when its own fallback is another user's: never ours.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && private_folder(runtime)) return QFile::decodeName(runtime);
    const QByteArray fallback =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/ventaro-update-") + QString::number(::geteuid()));
    if (::mkdir(fallback.constData(), S_IRWXU) != 0 && errno != EEXIST) return {};
    return private_folder(fallback) ? QFile::decodeName(fallback) : QString();
}

// One line per launch: the path as a file URL, which has no line breaks even
// when the path does. The first instance answers "taken" or "refused".
class SingleInstance::Private {
public:
    using handover_t = SingleInstance::handover_t;

    Private(SingleInstance* owner, const QString& folder, const QString& instance_name)
        : q(owner),
          name(folder.isEmpty() ? QString() : folder + u'/' + instance_name),
          path(QFile::encodeName(name)),
          lock(folder.isEmpty() ? QString() : name + QStringLiteral(".lock")) {
        lock.setStaleLockTime(0);  // held for the process's life; only a dead owner makes it stale
    }

    ~Private() {
        for (connection_t& c : connections) close(c);
        if (listener >= 0) {
            delete acceptor;
            ::close(listener);
            ::unlink(path.constData());
        }
    }

    Private(const Private&) = delete;
    Private& operator=(const Private&) = delete;

    bool claim(const QString& handed) {
        if (name.isEmpty()) {
            std::fprintf(stderr,
                         "No private folder for the single-instance socket; this window hears no other "
                         "launch.\n");
            return true;
        }
        if (lock.tryLock(100)) {
            listen();
            return true;
        }
        // A first instance that does not answer must not keep the user from updating.
        return !hand_over(handed);
    }

    // A file URL of the longest path Linux takes (4096 bytes), each byte
    // percent-encoded.
    static constexpr qsizetype max_line = 3 * 4096 + 16;
    static constexpr std::size_t max_connections = 16;
    // Launches heard but not yet given to the application: a flood of them is
    // refused, and costs neither memory nor the window's time.
    static constexpr int max_queued = 4;
    SingleInstance* q;
    std::function<bool()> accepts;
    handover_t handover = handover_t::none;

private:
    struct connection_t {
        int fd = -1;
        QSocketNotifier* notifier = nullptr;
        QByteArray pending;
    };

    void listen() {
        sockaddr_un address{};
        if (!socket_address(path, address)) return;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return;
        ::unlink(path.constData());  // the socket of an instance that crashed: the lock is ours
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
            ::close(fd);
            return;
        }
        ::chmod(path.constData(), S_IRUSR | S_IWUSR);
        listener = fd;
        acceptor = new QSocketNotifier(fd, QSocketNotifier::Read, q);
        QObject::connect(acceptor, &QSocketNotifier::activated, q, [this] { accept(); });
    }

    bool hand_over(const QString& handed) {
        const QByteArray line = (handed.isEmpty() ? QByteArray() : QUrl::fromLocalFile(handed).toEncoded()) + '\n';
        if (line.size() > max_line) {
            handover = handover_t::too_long;  // the first would refuse it: said, and not sent
            return true;
        }
        sockaddr_un address{};
        if (!socket_address(path, address)) return false;
        // The first instance may still be starting: give it a few seconds to listen.
        for (int attempt = 0; attempt < 20; ++attempt) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0) return false;
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
                const bool sent = send_all(fd, line);
                // The first says whether it took the path; one that does not answer took it.
                if (sent && !handed.isEmpty()) {
                    handover = handover_t::taken;
                    if (read_answer(fd) == "refused") handover = handover_t::refused;
                }
                ::close(fd);
                return sent;
            }
            ::close(fd);
            QThread::msleep(100);
        }
        return false;
    }

    void accept() {
        for (;;) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR) continue;
                return;  // EAGAIN: none left
            }
            // Every launch leaves after its line: more at once is a flood, not launches.
            if (connections.size() >= max_connections) {
                ::close(fd);
                continue;
            }
            connection_t& c = connections.emplace_back();
            c.fd = fd;
            c.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, q);
            const auto it = std::prev(connections.end());
            QObject::connect(c.notifier, &QSocketNotifier::activated, q, [this, it] { read(it); });
            read(it);  // the launch may have written and left already
        }
    }

    // A launch sends one line and leaves: the connection ends with its first
    // line, or once it has sent more than a line can be.
    void read(std::list<connection_t>::iterator it) {
        connection_t& c = *it;
        bool done = false;
        char buffer[4096];
        while (!done) {
            const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                c.pending.append(buffer, qsizetype(n));
                if (const qsizetype end = c.pending.indexOf('\n'); end >= 0 && end <= max_line) {
                    answer(c.fd, c.pending.left(end).trimmed());
                    done = true;
                } else if (c.pending.size() > max_line) {
                    reply(c.fd, false);
                    done = true;
                }
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                done = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
                if (!done) return;  // all read for now
            }
        }
        close(c);
        connections.erase(it);
    }

    static void reply(int fd, bool taken) {
        const QByteArray reply = taken ? "taken\n" : "refused\n";
        (void)::send(fd, reply.constData(), std::size_t(reply.size()), MSG_NOSIGNAL);  // a launch gone needs none
    }

    void answer(int fd, const QByteArray& line) {
        if (queued >= max_queued) return reply(fd, false);
        const QString handed = line.isEmpty() ? QString() : QUrl::fromEncoded(line).toLocalFile();
        const bool taken = handed.isEmpty() || !accepts || accepts();
        reply(fd, taken);
        // Announced from the event loop, not from inside the socket's handler: a
        // receiver may open a modal alert, during which the launch can go away.
        ++queued;
        QMetaObject::invokeMethod(
            q,
            [this, path = taken ? handed : QString()] {
                --queued;
                emit q->launched(path);
            },
            Qt::QueuedConnection);
    }

    // Called from the connection's own handler: the notifier goes once the
    // handler has returned, and never watches a closed descriptor meanwhile.
    static void close(connection_t& c) {
        c.notifier->setEnabled(false);
        c.notifier->deleteLater();
        ::close(c.fd);
    }

    static bool send_all(int fd, const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::send(fd, bytes.constData() + done, std::size_t(bytes.size() - done), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += n;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!wait_for(fd, POLLOUT, 1000)) return false;
            } else {
                return false;
            }
        }
        return true;
    }

    // The first instance's one-line answer, waited for up to a second.
    static QByteArray read_answer(int fd) {
        QByteArray answer;
        char buffer[64];
        while (!answer.contains('\n') && wait_for(fd, POLLIN, 1000)) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            answer.append(buffer, qsizetype(n));
        }
        return answer.left(answer.indexOf('\n')).trimmed();
    }

public:
    QString name;  // of the socket; empty without a private folder

private:
    QByteArray path;
    QLockFile lock;
    int listener = -1;
    int queued = 0;
    QSocketNotifier* acceptor = nullptr;
    std::list<connection_t> connections;
};

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(this, privateRuntimeFolder(), name)) {}

SingleInstance::~SingleInstance() = default;

void SingleInstance::setAcceptsPaths(std::function<bool()> accepts) { d->accepts = std::move(accepts); }

SingleInstance::handover_t SingleInstance::handover() const { return d->handover; }

bool SingleInstance::claim(const QString& path) { return d->claim(path); }

QString SingleInstance::socketPath() const { return d->name; }

}  // namespace zal::gui
