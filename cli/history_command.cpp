// SPDX-License-Identifier: MIT
#include "cli/history_command.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/catalogue.hpp"
#include "cli/help.hpp"
#include "cli/inspect.hpp"
#include "common/hid_io/hid_io.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"
#include "common/session/logind_inhibitor.hpp"
#include "common/text/printable.hpp"
#include "update/signature.hpp"
#include "updater/history.hpp"
#include "updater/support_report.hpp"

namespace zal::cli {

namespace {

using json = nlohmann::ordered_json;

// A whole decimal number in [1, max], or nothing.
std::optional<int64_t> count_of(const char* text, int64_t max) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > max) return std::nullopt;
    return value;
}

// A column: `text` printable, then blanks up to `width` characters, one at least.
std::string padded(const std::string& text, std::size_t width) {
    const std::string shown = printable(text);
    const auto characters = std::size_t(std::count_if(
        shown.begin(), shown.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    return shown + std::string(characters < width ? width - characters : 1, ' ');
}

std::string duration_text(const updater::run_record_t& r) {
    const auto ms = r.duration_ms();
    if (!ms) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(*ms % 1000 / 100));
    return fill(translated("Cli", "%1.%2 s"), {std::to_string(*ms / 1000), text});
}

json json_of(const updater::run_record_t& r) {
    auto text_or_null = [](const std::string& s) { return s.empty() ? json(nullptr) : json(printable(s)); };
    return {{"id", r.id},
            {"program", r.program},
            {"started", r.started_ms},
            {"ended", r.ended_ms ? json(*r.ended_ms) : json(nullptr)},
            {"duration_ms", r.duration_ms() ? json(*r.duration_ms()) : json(nullptr)},
            {"kind", r.kind},
            {"port", text_or_null(r.usb_port)},
            {"found", text_or_null(r.found)},
            {"product", r.product},
            {"version", r.version},
            {"release_date", r.release_date},
            {"package_sha256", r.package_sha256},
            {"signature", r.signature},
            {"signer", text_or_null(r.signer)},
            {"outcome", r.outcome},
            {"failure", text_or_null(r.failure)},
            {"message", text_or_null(r.message)},
            {"phase", r.phase},
            {"roundtrips", r.roundtrips}};
}

}  // namespace

int history_command(int argc, char** argv) {
    auto usage = [json_asked = asks_json(argc, argv)](const std::string& problem) {
        return usage_error(json_asked, "history", problem);
    };
    bool as_json = false;
    std::optional<kind_t> kind;
    int limit = 20;
    std::optional<int64_t> log_of;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--json") {
            as_json = true;
        } else if (arg == "--kind" && has_value) {
            kind = kind_of_word(argv[++i]);
            if (!kind) return usage(translated("Cli", "--kind is ventaro or ruvo"));
        } else if (arg == "--limit" && has_value) {
            const auto value = count_of(argv[++i], updater::history_t::kept_runs);
            if (!value) return usage(translated("Cli", "--limit takes a number from 1 to 1000"));
            limit = int(*value);
        } else if (arg == "--log" && has_value) {
            if (!(log_of = count_of(argv[++i], INT64_MAX)))
                return usage(translated("Cli", "--log takes a run's number, as history shows it"));
        } else {
            return usage(fill(
                translated("Cli", arg.rfind("--", 0) == 0 && !has_value ? "%1 needs a value" : "unknown argument %1"),
                {arg}));
        }
    }
    updater::history_t history(updater::default_history_path());
    // A history that cannot be read is said, and fails: never an empty list.
    auto unreadable = [as_json](const failure_t& failure) {
        return tell_error(as_json, "history-unreadable", said({history_unreadable, {failure.text}}));
    };
    if (log_of) {
        const result_t<std::optional<updater::run_record_t>> found = history.run(*log_of);
        if (!found) return unreadable(found.failure());
        const std::optional<updater::run_record_t>& run = *found;
        if (!run)
            return tell_error(as_json, "no-such-run",
                              fill(translated("Cli", "No recorded run has the number %1: history lists them."),
                                   {std::to_string(*log_of)}));
        if (as_json) {
            json record = json_of(*run);
            record["log"] = run->log;
            std::cout << record.dump(2, ' ', false, json::error_handler_t::replace) << std::endl;
            return 0;
        }
        // Lines that came from devices and packages: never a terminal's control sequence.
        std::size_t from = 0;
        while (from < run->log.size()) {
            std::size_t end = run->log.find('\n', from);
            if (end == std::string::npos) end = run->log.size();
            std::cout << printable(std::string_view(run->log).substr(from, end - from)) << "\n";
            from = end + 1;
        }
        std::cout << translated("Engine", run_outcome_sentence(run->outcome, run->failure)) << std::endl;
        return 0;
    }
    const result_t<std::vector<updater::run_record_t>> found = history.runs({.kind = kind, .limit = limit});
    if (!found) return unreadable(found.failure());
    const std::vector<updater::run_record_t>& runs = *found;
    if (as_json) {
        json all = json::array();
        for (const updater::run_record_t& r : runs) all.push_back(json_of(r));
        std::cout << all.dump(2, ' ', false, json::error_handler_t::replace) << std::endl;
        return 0;
    }
    if (runs.empty()) {
        std::cout << translated("Engine", history_empty) << std::endl;
        return 0;
    }
    // The outcome, a sentence, comes last: the other columns stay aligned.
    std::cout << padded(translated("Cli", "RUN"), 6) << padded(translated("Cli", "STARTED"), 17)
              << padded(translated("Cli", "DEVICE"), 8) << padded(translated("Cli", "PORT"), 10)
              << padded(translated("Cli", "VERSION"), 10) << padded(translated("Cli", "DURATION"), 9)
              << translated("Cli", "OUTCOME") << "\n";
    for (const updater::run_record_t& r : runs) {
        const std::optional<kind_t> device = kind_of_word(r.kind);
        const run_end_text_t end = run_end_text(r.outcome, r.failure);
        const std::string outcome = end.reason
                                        ? fill(translated("Engine", end.english), {translated("Engine", end.reason)})
                                        : translated("Engine", end.english);
        std::cout << padded(std::to_string(r.id), 6)
                  << padded(updater::local_time(r.started_ms, translated("Cli", "%Y-%m-%d %H:%M")), 17)
                  << padded(device ? kind_name(*device) : "-", 8) << padded(r.usb_port.empty() ? "-" : r.usb_port, 10)
                  << padded(r.version, 10) << padded(duration_text(r), 9) << outcome << "\n";
    }
    std::cout << std::flush;
    return 0;
}

int report_command(int argc, char** argv) {
    std::optional<std::string> output;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-o" || arg == "--output") && i + 1 < argc)
            output = argv[++i];
        else
            return usage_error(false, "report",
                               arg == "-o" || arg == "--output"
                                   ? fill(translated("Cli", "%1 needs a file"), {arg})
                                   : fill(translated("Cli", "unknown argument %1"), {arg}));
    }
    midi::io::set_service(&midi::io::alsa_service());
    // Without HID or MIDI, the report says so in its device section.
    hid_io::backend().init();
    midi::io::init("VentaroUpdate");

    updater::report_facts_t facts{.program = "ventaro-update-cli " ZAL_VERSION,
                                  .qt_version = ZAL_QT_VERSION " (the application's; this tool does not use Qt)",
                                  .inhibitors = {"logind: " + session::logind_support()},
                                  .trusted_key_ids = {}};
    if (const result_t<trust_t> trust = load_cli_trust({}))
        for (const public_key_t& key : trust->keys) facts.trusted_key_ids.push_back(key_id_text(key.key_id));
    updater::history_t history(updater::default_history_path());
    const std::string report = updater::support_report(history, facts);
    midi::io::deinit();
    if (!output) {
        std::cout << report << std::flush;
        return 0;
    }
    if (const result_t<void> written = updater::write_report(*output, report); !written) {
        return tell_error(false, "report-unwritable",
                          fill(translated("Cli", "The support report could not be written to %1 (%2)."),
                               {*output, written.failure().text}),
                          translated("Cli",
                                     "Choose a folder you can write to with -o, or leave -o out to print "
                                     "the report."));
    }
    write_line(stderr, fill(translated("Cli", "Support report written to %1"), {*output}));
    return 0;
}

}  // namespace zal::cli
