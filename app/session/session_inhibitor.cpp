// SPDX-License-Identifier: MIT
#include "app/session/session_inhibitor.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QVariantMap>
#include <cstdio>

namespace zal::session {

namespace {

constexpr int call_timeout_ms = 2000;
const char* const who = "Ventaro Updater";
const char* const why = "Updating the firmware of the Ventaro";

void tell_once(bool& told, const char* what, const QString& reason) {
    if (told) return;
    told = true;
    std::fprintf(stderr, "Could not hold off %s (%s); the update goes on.\n", what, qPrintable(reason));
}

}  // namespace

void SessionInhibitor::hold() {
    if (!logind_.isValid()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep:shutdown:handle-lid-switch:handle-suspend-key:handle-power-key")
             << QString::fromUtf8(who) << QString::fromUtf8(why) << QStringLiteral("block");
        QDBusConnection bus = QDBusConnection::systemBus();
        const QDBusReply<QDBusUnixFileDescriptor> reply =
            bus.isConnected() ? QDBusReply<QDBusUnixFileDescriptor>(bus.call(call, QDBus::Block, call_timeout_ms))
                              : QDBusReply<QDBusUnixFileDescriptor>();
        if (reply.isValid() && reply.value().isValid()) {
            logind_ = reply.value();
            std::fprintf(stderr, "Holding off suspend and shutdown while the device is written.\n");
        } else {
            tell_once(toldLogind_, "suspend and shutdown",
                      bus.isConnected() ? reply.error().message() : QStringLiteral("no system bus"));
        }
    }
    if (usePortal_ && portalRequest_.isEmpty()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
        constexpr uint logout = 1, suspend = 4;
        call << QString() << logout + suspend << QVariantMap{{QStringLiteral("reason"), QString::fromUtf8(why)}};
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QDBusReply<QDBusObjectPath> reply =
            bus.isConnected() ? QDBusReply<QDBusObjectPath>(bus.call(call, QDBus::Block, call_timeout_ms))
                              : QDBusReply<QDBusObjectPath>();
        if (reply.isValid())
            portalRequest_ = reply.value().path();
        else
            tell_once(toldPortal_, "logout and suspend through the desktop portal",
                      bus.isConnected() ? reply.error().message() : QStringLiteral("no session bus"));
    }
}

void SessionInhibitor::release() {
    logind_ = QDBusUnixFileDescriptor();  // closing our end ends logind's inhibitor
    if (!portalRequest_.isEmpty()) {
        const QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"), portalRequest_,
            QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close"));
        QDBusConnection::sessionBus().call(call, QDBus::Block, call_timeout_ms);
        portalRequest_.clear();
    }
}

}  // namespace zal::session
