// SPDX-License-Identifier: MIT
#include "updater/support_report.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string_view>
#include <algorithm>

#include "common/hid_io/hid_io.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/text/printable.hpp"
#include "updater/connected.hpp"
#include "updater/package_verdict.hpp"

namespace zal::updater {

namespace {

// Where packagers and administrators put the rule that lets a user open the
// bootloaders.
constexpr const char* udev_rule_places[] = {
    "/etc/udev/rules.d/70-ventaro-update.rules",
    "/usr/lib/udev/rules.d/70-ventaro-update.rules",
    "/lib/udev/rules.d/70-ventaro-update.rules",
    "/usr/local/lib/udev/rules.d/70-ventaro-update.rules",
};

void heading(std::ostream& out, const std::string& title) {
    out << "\n" << title << "\n" << std::string(title.size(), '-') << "\n";
}

void system_section(std::ostream& out, const report_facts_t& facts) {
    heading(out, "System");
    std::ifstream release("/etc/os-release");
    std::string line;
    for (int lines = 0; lines < 40 && std::getline(release, line); ++lines)
        if (!line.empty()) out << "os-release: " << printable(line.substr(0, 200)) << "\n";
    utsname names{};
    if (::uname(&names) == 0)
        out << "Kernel: " << names.sysname << " " << names.release << " " << names.version << " " << names.machine
            << "\n";
    out << "Qt: " << facts.qt_version << "\n";
    out << "hidapi: " << hid_io::hidapi_version() << "\n";
    out << "ALSA library: " << midi::io::alsa_library_version() << "\n";
    out << "SQLite: " << sqlite3_libversion() << "\n";
}

void devices_section(std::ostream& out) {
    heading(out, "Devices");
    const std::vector<connected_device_t> devices = connected_devices();
    if (devices.empty()) out << "No Ventaro or Ruvo connected.\n";
    for (const connected_device_t& d : devices) {
        const bool first_generation = d.state == device_state_t::first_generation_bootloader;
        out << "USB port " << (d.usb_port.empty() ? "unknown" : printable(d.usb_port)) << ": "
            << (first_generation ? "first-generation bootloader" : kind_name(d.kind)) << ", "
            << state_word(first_generation ? device_state_t::bootloader : d.state);
        if (!d.hid_path.empty())
            out << ", " << printable(d.hid_path)
                << (::access(d.hid_path.c_str(), R_OK | W_OK) == 0 ? " accessible" : " NOT accessible to this user");
        out << "\n";
    }
    std::string rule;
    for (const char* place : udev_rule_places)
        if (::access(place, F_OK) == 0) rule = place;
    out << "udev rule: " << (rule.empty() ? "not installed" : "installed (" + rule + ")") << "\n";
    const std::vector<std::string> clients = midi::io::sequencer_client_names();
    out << "ALSA sequencer clients:";
    if (clients.empty()) out << " none (the sequencer cannot be opened)";
    for (const std::string& name : clients) out << "\n  " << printable(name.substr(0, 80));
    out << "\n";
}

// A run's log in the report: its end, where a failure is, when it is long.
constexpr std::size_t report_log_bytes = std::size_t{32} * 1024;

void run_line(std::ostream& out, const run_record_t& r) {
    out << "Run " << r.id << " (" << printable(r.program) << "), " << local_time(r.started_ms, "%Y-%m-%d %H:%M:%S")
        << ": " << printable(r.outcome);
    if (!r.failure.empty()) out << " (" << printable(r.failure) << ")";
    if (const auto ms = r.duration_ms()) out << " after " << *ms / 1000 << "." << *ms % 1000 / 100 << " s";
    out << ", " << printable(r.kind) << (r.usb_port.empty() ? "" : " on USB port " + printable(r.usb_port)) << ", "
        << printable(r.product) << " " << printable(r.version) << "\n";
}

void run_section(std::ostream& out, const run_record_t& r) {
    out << "\n";
    run_line(out, r);
    out << "  Found: " << printable(r.found) << "\n";
    out << "  Package: " << printable(r.product) << " " << printable(r.version) << " (" << printable(r.release_date)
        << "), SHA-256 " << printable(r.package_sha256) << ", " << printable(r.signature)
        << (r.signer.empty() ? "" : " by " + printable(r.signer)) << "\n";
    out << "  Ended in " << printable(r.phase) << " after " << r.roundtrips << " HID roundtrips";
    if (!r.message.empty()) out << ": " << printable(r.message);
    out << "\n  Log:\n";
    std::string_view log = r.log;
    if (log.size() > report_log_bytes) {
        log.remove_prefix(log.size() - report_log_bytes);
        log.remove_prefix(std::min(log.size(), log.find('\n') + 1));
        out << "    (the first " << r.log.size() - log.size() << " bytes of this log are left out)\n";
    }
    std::istringstream lines{std::string(log)};
    std::string line;
    while (std::getline(lines, line)) out << "    " << printable(line) << "\n";
}

}  // namespace

result_t<void> write_report(const std::string& path, const std::string& report) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return failure_t{errno, errno == ELOOP ? "it is a symbolic link" : std::strerror(errno)};
    int error = ::fchmod(fd, 0600) == 0 ? 0 : errno;
    for (std::size_t done = 0; error == 0 && done < report.size();) {
        const ssize_t n = ::write(fd, report.data() + done, report.size() - done);
        if (n > 0)
            done += std::size_t(n);
        else if (n < 0 && errno != EINTR)
            error = errno;
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) return failure_t{error, std::strerror(error)};
    return {};
}

std::string without_user(std::string text, const std::string& home, const std::string& user) {
    // Only whole components of absolute paths: "/home/ann/x" and "/media/ann",
    // never the "ann" of "annex", of "ID=ann" or of "GNU/ann".
    constexpr std::string_view outside_paths = " \t\n\"'=(),:;";
    auto ends_component = [&](std::size_t at) {
        return at == text.size() || text[at] == '/' || outside_paths.find(text[at]) != std::string_view::npos;
    };
    auto in_absolute_path = [&](std::size_t at) {
        const std::size_t begins = text.find_last_of(outside_paths, at == 0 ? 0 : at - 1);
        const std::size_t first = at == 0 || begins == std::string::npos ? 0 : begins + 1;
        return first < text.size() && (text[first] == '/' || text[first] == '~');
    };
    auto replace_all = [&](const std::string& what, const std::string& with, bool inner_component) {
        if (what.empty()) return;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
            const std::size_t end = at + what.size();
            const bool whole = inner_component ? at > 0 && text[at - 1] == '/' && in_absolute_path(at)
                                               : at == 0 || outside_paths.find(text[at - 1]) != std::string_view::npos;
            if (!whole || !ends_component(end)) {
                at = end;
                continue;
            }
            text.replace(at, what.size(), with);
            at += with.size();
        }
    };
    // The root as a home would make every path "~".
    if (home.size() > 1) replace_all(home, "~", false);
    replace_all(user, "USER", true);
    return text;
}

std::string support_report(history_t& history, const report_facts_t& facts) {
    std::ostringstream out;
    out << "Ventaro updater support report\n"
        << "==============================\n"
        << "Written " << local_time(now_ms(), "%Y-%m-%d %H:%M:%S") << " by " << facts.program << "\n";
    system_section(out, facts);
    devices_section(out);

    heading(out, "Session");
    for (const std::string& line : facts.inhibitors) out << "Inhibitor: " << line << "\n";

    heading(out, "Trusted keys");
    if (facts.trusted_key_ids.empty()) out << "none\n";
    for (const std::string& id : facts.trusted_key_ids) out << "key " << id << "\n";

    // The last runs in full, the earlier ones a line each: a report stays
    // under a megabyte, whatever the history holds.
    const result_t<std::vector<run_record_t>> recent =
        history.runs({.kind = std::nullopt, .limit = history_t::kept_runs});
    if (!recent) {
        heading(out, "Update history");
        out << "The update history cannot be read: " << recent.failure().text << "\n";
    } else {
        const std::size_t in_full = std::min(recent->size(), std::size_t(20));
        heading(out, "Update history (" + std::to_string(recent->size()) + " runs, newest first; the last " +
                         std::to_string(in_full) + " with their logs)");
        out << "Kept in " << printable(history.path()) << "\n";
        for (std::size_t i = 0; i < recent->size(); ++i) {
            const result_t<std::optional<run_record_t>> r =
                i < in_full ? history.run((*recent)[i].id) : std::optional((*recent)[i]);
            if (!r)
                out << "\nRun " << (*recent)[i].id << ": " << r.failure().text << "\n";
            else if (*r && i < in_full)
                run_section(out, **r);
            else if (*r)
                run_line(out, **r);
        }
    }

    std::string home;
    if (const char* variable = std::getenv("HOME")) home = variable;
    std::string user;
    if (const passwd* entry = ::getpwuid(::getuid())) {
        user = entry->pw_name;
        if (home.empty() && entry->pw_dir) home = entry->pw_dir;
    }
    std::string text = without_user(out.str(), home, user);
    if (const char* login = std::getenv("USER"); login && login != user) text = without_user(text, {}, login);
    return text;
}

}  // namespace zal::updater
