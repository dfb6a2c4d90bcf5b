// SPDX-License-Identifier: MIT
#include "app/session/session_inhibitor.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QVariantMap>

namespace zal::session {

namespace {
constexpr int call_timeout_ms = 2000;
}

void SessionInhibitor::hold() {
    logind_.hold();
    if (usePortal_ && portalRequest_.isEmpty()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
        constexpr uint logout = 1, suspend = 4;
        call << QString() << logout + suspend
             << QVariantMap{{QStringLiteral("reason"), QString::fromUtf8(inhibitor_why)}};
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QDBusReply<QDBusObjectPath> reply =
            bus.isConnected() ? QDBusReply<QDBusObjectPath>(bus.call(call, QDBus::Block, call_timeout_ms))
                              : QDBusReply<QDBusObjectPath>();
        if (reply.isValid())
            portalRequest_ = reply.value().path();
        else
            tell_not_held_once(toldPortal_, "logout and suspend through the desktop portal",
                               bus.isConnected() ? reply.error().message().toStdString() : "no session bus");
    }
}

void SessionInhibitor::release() {
    logind_.release();
    if (!portalRequest_.isEmpty()) {
        const QDBusMessage call =
            QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"), portalRequest_,
                                           QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close"));
        QDBusConnection::sessionBus().call(call, QDBus::Block, call_timeout_ms);
        portalRequest_.clear();
    }
}

}  // namespace zal::session
