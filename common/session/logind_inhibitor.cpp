// SPDX-License-Identifier: MIT
#include "common/session/logind_inhibitor.hpp"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/text/printable.hpp"

namespace zal::session {

const char* const inhibitor_why = "Updating the firmware of the Ventaro";

namespace {

const char* const inhibitor_who = "Ventaro Update";

constexpr uint64_t call_timeout_us = 2'000'000;

struct bus_closer_t {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct message_unref_t {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

// The inhibitor's file descriptor, or -1 with the reason in `reason`.
int take_inhibitor(std::string& reason) {
    sd_bus* opened = nullptr;
    if (sd_bus_open_system(&opened) < 0) {
        reason = "no system bus";
        return -1;
    }
    const std::unique_ptr<sd_bus, bus_closer_t> bus(opened);
    sd_bus_message* call = nullptr;
    int r = sd_bus_message_new_method_call(bus.get(), &call, "org.freedesktop.login1", "/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", "Inhibit");
    const std::unique_ptr<sd_bus_message, message_unref_t> request(call);
    if (r >= 0)
        r = sd_bus_message_append(call, "ssss", "sleep:shutdown:handle-lid-switch:handle-suspend-key:handle-power-key",
                                  inhibitor_who, inhibitor_why, "block");
    if (r < 0) {
        reason = std::strerror(-r);
        return -1;
    }
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, which is a C compound literal
    sd_bus_message* answer = nullptr;
    r = sd_bus_call(bus.get(), call, call_timeout_us, &error, &answer);
    const std::unique_ptr<sd_bus_message, message_unref_t> reply(answer);
    int fd = -1;
    if (r >= 0) r = sd_bus_message_read(answer, "h", &fd);
    if (r < 0) {
        reason = error.message != nullptr ? error.message : std::strerror(-r);
        sd_bus_error_free(&error);
        return -1;
    }
    // The message owns the descriptor it carries.
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (own < 0) reason = std::strerror(errno);
    return own;
}

}  // namespace

std::string logind_support() {
    sd_bus* opened = nullptr;
    if (sd_bus_open_system(&opened) < 0) return "no system bus";
    const std::unique_ptr<sd_bus, bus_closer_t> bus(opened);
    sd_bus_error error{};
    sd_bus_message* answer = nullptr;
    int r = sd_bus_call_method(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", &error, &answer, "s", "org.freedesktop.login1");
    const std::unique_ptr<sd_bus_message, message_unref_t> reply(answer);
    int has_owner = 0;
    if (r >= 0) r = sd_bus_message_read(answer, "b", &has_owner);
    sd_bus_error_free(&error);
    if (r < 0) return "the system bus does not answer";
    return has_owner ? "available" : "logind is not running";
}

void tell_not_held_once(bool& told, const char* what, const std::string& reason) {
    if (told) return;
    told = true;
    write_line(stderr, std::string("Could not hold off ") + what + " (" + reason + "); the update goes on.");
}

void logind_inhibitor_t::hold() {
    if (fd_ >= 0) return;
    std::string reason;
    fd_ = take_inhibitor(reason);
    if (fd_ >= 0)
        std::fprintf(stderr, "Holding off suspend and shutdown while the device is written.\n");
    else
        tell_not_held_once(told_, "suspend and shutdown", reason);
}

void logind_inhibitor_t::release() {
    if (fd_ >= 0) ::close(fd_);  // closing our end ends logind's inhibitor
    fd_ = -1;
}

}  // namespace zal::session
