// SPDX-License-Identifier: MIT
#pragma once

// Holds off suspend, shutdown and logout while a device is written, as Linux
// firmware updaters do: a laptop lid closed mid-write would power the USB port
// down. It takes logind's "block" inhibitor on the system bus and, for a
// desktop application, the desktop portal's logout and suspend inhibitor on
// the session bus. A missing bus or a refusal is logged once and never stops
// an update.

#include <QString>

#include "common/session/logind_inhibitor.hpp"

namespace zal::session {

class SessionInhibitor {
public:
    // `use_portal`: also ask the desktop portal (an application in a session).
    explicit SessionInhibitor(bool use_portal) : usePortal_(use_portal) {}
    ~SessionInhibitor() { release(); }
    SessionInhibitor(const SessionInhibitor&) = delete;
    SessionInhibitor& operator=(const SessionInhibitor&) = delete;

    void hold();
    void release();
    bool held() const { return logind_.held() || !portalRequest_.isEmpty(); }

private:
    bool usePortal_;
    logind_inhibitor_t logind_;
    QString portalRequest_;  // the portal's request object, closed to release
    bool toldPortal_ = false;
};

}  // namespace zal::session
