// SPDX-License-Identifier: MIT
#pragma once

// Holds off suspend and shutdown while a device is written: logind's "block"
// inhibitor on the system bus, kept while its file descriptor is open. A
// laptop lid closed mid-write would power the USB port down. A missing bus or a
// refusal is logged once and never stops an update.

#include <string>

namespace zal::session {

class logind_inhibitor_t {
public:
    logind_inhibitor_t() = default;
    ~logind_inhibitor_t() { release(); }
    logind_inhibitor_t(const logind_inhibitor_t&) = delete;
    logind_inhibitor_t& operator=(const logind_inhibitor_t&) = delete;

    void hold();
    void release();
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    bool told_ = false;
};

// Logs, once per `told`, that `what` could not be held off and why.
void tell_not_held_once(bool& told, const char* what, const std::string& reason);

// Whether logind's inhibitor can be asked for here, for a support report:
// "available", "logind is not running" or "no system bus".
std::string logind_support();

// Why updates hold off suspend, as logind and the desktop portal show it.
extern const char* const inhibitor_why;

}  // namespace zal::session
