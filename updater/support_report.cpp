// SPDX-License-Identifier: MIT
#include "updater/support_report.hpp"

#include <pwd.h>
#include <sqlite3.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "common/hid_io/hid_io.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/text/printable.hpp"
#include "updater/connected.hpp"
#include "updater/older_firmware.hpp"

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
        out << "USB port " << (d.usb_port.empty() ? "unknown" : printable(d.usb_port)) << ": "
            << (d.kind == kind_t::any ? "first-generation bootloader" : kind_name(d.kind)) << ", "
            << state_word(d.state);
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

void run_section(std::ostream& out, const run_record_t& r) {
    out << "\nRun " << r.id << " (" << r.program << "), " << local_time(r.started_ms, "%Y-%m-%d %H:%M:%S") << ": "
        << r.outcome;
    if (!r.failure.empty()) out << " (" << r.failure << ")";
    if (const auto ms = r.duration_ms()) out << " after " << *ms / 1000 << "." << *ms % 1000 / 100 << " s";
    out << "\n";
    out << "  Device: " << r.kind << (r.usb_port.empty() ? "" : " on USB port " + printable(r.usb_port))
        << (r.found.empty() ? "" : ", found " + r.found) << "\n";
    out << "  Package: " << printable(r.product) << " " << printable(r.version) << " (" << r.release_date
        << "), SHA-256 " << r.package_sha256 << ", " << r.signature
        << (r.signer.empty() ? "" : " by " + printable(r.signer)) << "\n";
    out << "  Ended in " << r.phase << " after " << r.roundtrips << " HID roundtrips";
    if (!r.message.empty()) out << ": " << printable(r.message);
    out << "\n  Log:\n";
    std::istringstream log(r.log);
    std::string line;
    while (std::getline(log, line)) out << "    " << printable(line) << "\n";
}

}  // namespace

std::string without_user(std::string text, const std::string& home, const std::string& user) {
    auto replace_all = [&text](const std::string& what, const std::string& with, bool whole_word) {
        if (what.empty()) return;
        auto word_char = [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
                   c == '.';
        };
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
            const std::size_t end = at + what.size();
            if (whole_word && ((at > 0 && word_char(text[at - 1])) || (end < text.size() && word_char(text[end])))) {
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

std::string support_report(history_t& history, const report_facts_t& facts, int runs) {
    const int64_t now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    std::ostringstream out;
    out << "Ventaro updater support report\n"
        << "==============================\n"
        << "Written " << local_time(now, "%Y-%m-%d %H:%M:%S") << " by " << facts.program << "\n";
    system_section(out, facts);
    devices_section(out);

    heading(out, "Session");
    for (const std::string& line : facts.inhibitors) out << "Inhibitor: " << line << "\n";

    heading(out, "Trusted keys");
    if (facts.trusted_key_ids.empty()) out << "none\n";
    for (const std::string& id : facts.trusted_key_ids) out << "key " << id << "\n";

    const std::vector<run_record_t> recent = history.runs({.kind = std::nullopt, .limit = runs});
    heading(out, "Update history (the last " + std::to_string(recent.size()) + " runs, newest first)");
    out << "Kept in " << history.path() << "\n";
    for (const run_record_t& summary : recent)
        if (const std::optional<run_record_t> r = history.run(summary.id)) run_section(out, *r);

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
