// SPDX-License-Identifier: MIT
#include "cli/update_command.hpp"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "common/session/logind_inhibitor.hpp"
#include "common/text/printable.hpp"
#include "cli/catalogue.hpp"
#include "cli/help.hpp"
#include "cli/check_command.hpp"
#include "cli/inspect.hpp"
#include "update/package_file.hpp"
#include "common/async/async.hpp"
#include "common/async/main_queue.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"
#include "cli/update_all.hpp"
#include "devices/simulation.hpp"
#include "updater/connected.hpp"
#include "updater/history.hpp"
#include "updater/package_verdict.hpp"
#include "updater/run_recorder.hpp"
#include "updater/updater.hpp"

namespace zal::cli {

namespace {

using json = nlohmann::ordered_json;

struct options_t {
    std::optional<kind_t> kind;
    devices::simulation_arguments_t simulation;
    std::vector<simulated_t> simulated;  // every --simulate, in order
    bool all = false;                    // every connected device at once
    std::optional<std::string> flash_in, flash_out;
    bool json_events = false;
    std::string port;  // update only the device on this USB port
    std::string package;
    std::vector<std::string> trusted_keys;  // --trust, beyond the computer's own
    bool require_signature = false;
    bool allow_older = false;  // the user's word where older firmware may be installed
    bool record = false;       // a simulated run in the history too
    bool verbose = false;      // the engine's log on the terminal too
    bool quiet = false;        // errors only
    bool latest = false;       // the newest firmware the feed lists, downloaded, instead of a package
    feed_options_t feed;
};

// What the engine's callbacks need; one run per process.
struct session_t {
    bool json_events = false;
    bool quiet = false;
    bool terminal = false;
    bool kind_needed = false;  // a first-generation bootloader, and nobody to ask what it is
    std::optional<kind_t> kind_answer;
    int last_percent = -1;
    bool bar_shown = false;
    std::optional<end_t> end;
};
session_t session;

std::atomic<bool> interrupted{false};
void on_interrupt(int) { interrupted = true; }

bool parse(int argc, char** argv, options_t& o, std::string& problem) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (devices::take_simulation_argument(argc, argv, i, o.simulation, problem)) {
            if (arg == "--simulate")
                o.simulated.push_back({*o.simulation.device, {}});
            else if (!o.simulated.empty())
                o.simulated.back().faults.push_back(o.simulation.faults.back());
            continue;
        }
        if (!problem.empty()) return false;
        if (take_feed_argument(argc, argv, i, o.feed, problem)) continue;
        if (!problem.empty()) return false;
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) {
                problem = fill(translated("Cli", "%1 needs a value"), {arg});
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (arg == "--kind") {
            const auto v = value();
            if (!v) return false;
            o.kind = kind_of_word(*v);
            if (!o.kind) return (problem = translated("Cli", "--kind is ventaro or ruvo"), false);
        } else if (arg == "--flash-in") {
            if (!(o.flash_in = value())) return false;
        } else if (arg == "--flash-out") {
            if (!(o.flash_out = value())) return false;
        } else if (arg == "--port") {
            const auto v = value();
            if (!v) return false;
            if (!updater::is_usb_port_path(*v))
                return (
                    problem = fill(translated("Cli", "--port takes a USB port path such as 1-1.4 (see list), not '%1'"),
                                   {v->size() > 40 ? v->substr(0, 40) + "..." : *v}),
                    false);
            o.port = *v;
        } else if (arg == "--all") {
            o.all = true;
        } else if (arg == "--json") {
            o.json_events = true;
        } else if (arg == "--trust") {
            const auto v = value();
            if (!v) return false;
            o.trusted_keys.push_back(*v);
        } else if (arg == "--require-signature") {
            o.require_signature = true;
        } else if (arg == "--record") {
            o.record = true;
        } else if (arg == "--allow-older") {
            o.allow_older = true;
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--latest") {
            o.latest = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return (problem = fill(translated("Cli", "unknown option %1"), {arg}), false);
        } else if (o.package.empty()) {
            o.package = arg;
        } else {
            return (problem = translated("Cli", "one package at a time"), false);
        }
    }
    if (o.package.empty() == !o.latest)
        return (problem = translated("Cli", "give a package or --latest, not both"), false);
    if (o.verbose && o.quiet) return (problem = translated("Cli", "--verbose and --quiet exclude each other"), false);
    if (o.all) {
        if (o.latest) return (problem = translated("Cli", "--latest updates one device"), false);
        if (!o.port.empty()) return (problem = translated("Cli", "--all and --port exclude each other"), false);
        if (o.flash_in || o.flash_out)
            return (problem = translated("Cli", "--flash-in and --flash-out take one device"), false);
        if (!o.simulation.faults.empty() && o.simulated.empty())
            return (problem = translated("Cli", "--fault needs a --simulate before it"), false);
        return true;
    }
    if (o.simulated.size() > 1) return (problem = translated("Cli", "several --simulate need --all"), false);
    const auto& device = o.simulation.device;
    if (!device && (!o.simulation.faults.empty() || o.flash_in || o.flash_out))
        return (problem = translated("Cli", "--fault, --flash-in and --flash-out need --simulate"), false);
    // Only the first-generation bootloader leaves the kind open.
    if (device && o.kind && !device->first_generation_bootloader && device->kind != *o.kind)
        return (problem = fill(translated("Cli", "--simulate %1 is not a %2"), {device->name, kind_word(*o.kind)}),
                false);
    return true;
}

void end_progress_bar() {
    if (session.bar_shown) std::cout << std::endl;
    session.bar_shown = false;
}

bool read_flash(const std::string& path, std::vector<uint8_t>& flash) {
    result_t<std::vector<unsigned char>> bytes = read_whole_file(path);
    const char* error = !bytes ? bytes.failure().text.c_str()
                        : bytes->size() != devices::flash_size
                            ? translated("Cli", "a flash image is exactly 1048576 bytes")
                            : nullptr;
    if (error) {
        tell_error(session.json_events, "flash-unreadable", path + ": " + error);
        return false;
    }
    flash = std::move(*bytes);
    return true;
}

bool write_flash(const std::string& path, const std::vector<uint8_t>& flash) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(flash.data()), std::streamsize(flash.size()));
    if (out) return true;
    tell_error(session.json_events, "flash-unwritable", path + ": " + std::strerror(errno));
    return false;
}

// The simulated device the options ask for, plugged in a moment after the run
// starts, as a user would; nothing when the real devices are used.
std::unique_ptr<devices::simulation_t> set_up_devices(const options_t& o, const update_t& update,
                                                      devices::simulated_device_t*& device) {
    if (!o.simulation.device) {
        midi::io::set_service(&midi::io::alsa_service());
        return nullptr;
    }
    devices::device_options_t d = devices::simulation_t::options_for(update, *o.simulation.device, o.simulation.faults,
                                                                     o.kind.value_or(kind_t::ventaro));
    if (o.flash_in && !read_flash(*o.flash_in, d.flash)) return nullptr;
    auto simulation = std::make_unique<devices::simulation_t>();
    simulation->install();
    device = &simulation->add(std::move(d));
    async_main([device] { device->plug(); }, 500);
    return simulation;
}

// --- what the engine tells, on the terminal

void show_announcement(const char* english_title, const char* english_subtitle) {
    const char* title = translated("Engine", english_title);
    const char* subtitle = translated("Engine", english_subtitle);
    if (session.json_events) {
        print_json({{"event", "announce"}, {"title", title}, {"subtitle", subtitle}});
        return;
    }
    if (session.quiet) return;
    end_progress_bar();
    std::cout << title << "\n    " << subtitle << std::endl;
    session.last_percent = -1;
}

void show_progress(float progress) {
    if (!std::isfinite(progress)) return;
    if (session.json_events) {
        print_json({{"event", "progress"}, {"value", progress}});
        return;
    }
    if (session.quiet) return;
    const int percent = std::clamp(int(std::floor(progress * 100.0f)), 0, 100);
    if (percent == session.last_percent) return;
    session.last_percent = percent;
    if (session.terminal) {
        const int filled = percent * 40 / 100;
        std::cout << "\r[" << std::string(std::size_t(filled), '#') << std::string(std::size_t(40 - filled), '.')
                  << "] " << percent << "%" << std::flush;
        session.bar_shown = true;
    } else {
        std::cout << percent << "%" << std::endl;
    }
}

void show_end(const updater::outcome_t& outcome) {
    session.end = outcome.end;
    if (session.json_events) {
        print_json(end_event(outcome));
        return;
    }
    end_progress_bar();
    switch (outcome.end) {
        case end_t::success:
            if (!session.quiet)
                std::cout << translated("Cli", "Update succeeded: ") << kind_name(outcome.kind) << std::endl;
            break;
        case end_t::cancelled:
            if (!session.quiet && !session.kind_needed)
                std::cout << translated("Cli", "Update cancelled.") << std::endl;
            break;
        case end_t::failure: std::cerr << failure_lines(outcome) << std::endl; break;
    }
}

std::optional<kind_t> kind_answer_from_terminal() {
    if (session.kind_answer) return *session.kind_answer;
    end_progress_bar();
    const char* connected = translated("Cli",
                                       "A first-generation bootloader is connected: it does not tell whether it is a "
                                       "Ventaro or a Ruvo receiver.");
    if (session.json_events || !isatty(STDIN_FILENO)) {
        session.kind_needed = true;
        const char* next =
            translated("Cli", "Give --kind ventaro or --kind ruvo to say which, and run the update again.");
        if (session.json_events) print_json({{"event", "kind-needed"}, {"text", connected}, {"next", next}});
        write_line(stderr, connected);
        write_line(stderr, next);
        return std::nullopt;
    }
    std::cout << connected << "\n"
              << translated("Cli", "Is it a Ventaro (v) or a Ruvo receiver (r)? Any other answer cancels: ")
              << std::flush;
    // Ctrl-C must not wait for a line: the signal handler restarts `read`.
    // Cancelled at the prompt: what follows starts on a line of its own.
    pollfd input{STDIN_FILENO, POLLIN, 0};
    while (::poll(&input, 1, 100) <= 0)
        if (interrupted) {
            std::cout << std::endl;
            return std::nullopt;
        }
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::cout << std::endl;
        return std::nullopt;
    }
    if (answer == "v" || answer == "V" || answer == "ventaro") return kind_t::ventaro;
    if (answer == "r" || answer == "R" || answer == "ruvo") return kind_t::ruvo;
    return std::nullopt;
}

// Blocks: the terminal is the CLI's one window.
void ask_kind(const std::function<void(std::optional<kind_t>)>& answer) { answer(kind_answer_from_terminal()); }

// Runs the engine until the run ends; Ctrl-C cancels it. `history`: where the
// run is recorded, if anywhere.
bool run(const options_t& o, const update_t& update, updater::history_t* history) {
    // Real devices only, and no logout portal for a terminal: logind's inhibitor alone.
    session::logind_inhibitor_t inhibitor;
    updater::callbacks_t shown{
        .announce = show_announcement,
        .progress = show_progress,
        .end = show_end,
        .ask_kind = ask_kind,
        .device_phases = o.simulation.device
                             ? std::function<void(bool)>{}
                             : [&inhibitor](bool active) { active ? inhibitor.hold() : inhibitor.release(); },
        .entered = {},
        .log = terminal_log(o.verbose),
        .log_on_stderr = false};
    std::optional<updater::run_recorder_t> recorder;
    if (history) recorder.emplace(*history, "cli");
    updater::engine_t engine(recorder ? recorder->recording(std::move(shown)) : std::move(shown));
    if (recorder) recorder->begin(update, o.kind.value_or(kind_t::any), o.port);
    engine.start(o.kind.value_or(kind_t::any), update, o.port);
    main_queue::run_until([&engine] {
        if (interrupted.exchange(false)) engine.cancel();
        return session.end.has_value();
    });
    engine.shut_down();
    end_progress_bar();
    return true;
}

// The kind of device this run updates, when known before it is found: a
// simulated device tells its own, unless it is a first-generation bootloader.
std::optional<kind_t> known_kind(const options_t& o) {
    const auto& device = o.simulation.device;
    if (o.kind || !device || device->first_generation_bootloader) return o.kind;
    return device->kind;
}

// The older-firmware notice, its day as the user's language writes a date.
std::string older_text(const updater::package_verdict_t& verdict) {
    return said(updater::older_notice(
        *verdict.newer, updater::local_time(verdict.newer->installed.ended_ms, translated("Cli", "%Y-%m-%d"))));
}

// The newest firmware the feed lists for the device, downloaded and checked,
// with its progress; an exit status when there is nothing to install.
std::optional<int> download_latest(const options_t& o, const trust_t& trust, update_t& update) {
    // The feed's serials are the computer's, even for a simulated run.
    updater::history_t history(updater::default_history_path());
    std::optional<updater::feed_checker_t> checker = make_checker(o.feed, trust, history, o.json_events);
    if (!checker) return 1;
    const std::optional<updater::check_t> check = check_feed(*checker, o.json_events);
    if (!check) return 1;
    const kind_t kind = known_kind(o).value_or(kind_t::any);
    const auto offer = std::find_if(check->offers.begin(), check->offers.end(), [kind](const updater::offer_t& x) {
        return kind == kind_t::any || x.package.kind == kind;
    });
    if (offer == check->offers.end()) {
        const std::string text = translated("Engine", feed_up_to_date);
        if (o.json_events) print_json({{"event", "up-to-date"}, {"text", text}});
        if (!o.quiet) write_line(stderr, text);
        return 0;
    }
    const updater::feed_package_t& package = offer->package;
    const std::string offered = said(offer_sentence(package.kind, package.version, said_date(package.release_date)));
    if (o.json_events)
        print_json({{"event", "download"},
                    {"kind", kind_word(package.kind)},
                    {"version", package.version},
                    {"text", offered}});
    if (!o.quiet) write_line(stderr, offered);
    result_t<updater::downloaded_t> downloaded = checker->download(
        package, [](uint64_t received, uint64_t total) { show_progress(float(received) / float(total)); }, interrupted);
    end_progress_bar();
    session.last_percent = -1;
    if (!downloaded) {
        const bool cancelled = downloaded.failure().code == ECANCELED;
        tell_feed_problem(o.json_events, cancelled ? "cancelled" : "download-refused",
                          feed_failure_sentence(downloaded.failure()), downloaded.failure().text);
        return cancelled ? 130 : 1;
    }
    update = std::move(downloaded->update);
    return std::nullopt;
}

// Tells what the verdict says; false: the package is not installed. Only the
// user may take a decision the verdict leaves open, with --allow-older.
// `usb_port`: the device the verdict is about, when known.
bool told_verdict(const updater::package_verdict_t& verdict, const options_t& o, const std::string& usb_port = {}) {
    const bool asked = verdict.decision == updater::decision_t::ask;
    const bool allowed = verdict.decision == updater::decision_t::install || (asked && o.allow_older);
    const char* allow_older =
        translated("Cli", "Older firmware is installed only when you say so: run the update again with --allow-older.");
    if (verdict.signature && !o.quiet) write_line(stderr, said(*verdict.signature));
    // What the history shows is an event of its own with --json.
    if (o.json_events && (verdict.older || asked)) {
        const sentence_t& shown = verdict.older ? *verdict.older : *verdict.refusal;
        json event{{"event", "older-firmware"},
                   {"refused", !allowed},
                   {"text", verdict.older ? older_text(verdict) : said(shown)}};
        if (verdict.newer) {
            event["kind"] = kind_word(verdict.newer->kind);
            event["installed_version"] = verdict.newer->installed.version;
            event["installed_on"] = updater::local_date(verdict.newer->installed.ended_ms);
        } else {
            event["unreadable"] = shown.values.front();
        }
        if (!usb_port.empty()) event["port"] = usb_port;
        if (!allowed) event["next"] = allow_older;
        print_json(event);
    } else if (verdict.older && (!o.quiet || !allowed)) {
        write_line(stderr, older_text(verdict));
    }
    if (verdict.refusal && !(o.json_events && asked))
        write_line(stderr, said(*verdict.refusal) + (verdict.details.empty() ? "" : " (" + verdict.details + ")"));
    if (o.json_events && !allowed && !verdict.older && !asked)
        print_json({{"event", "refused"}, {"text", said(*verdict.refusal)}, {"details", printable(verdict.details)}});
    if (!allowed && asked) write_line(stderr, allow_older);
    return allowed;
}

int exit_status() {
    if (session.kind_needed) return 1;
    switch (*session.end) {
        case end_t::success: return 0;
        case end_t::cancelled: return 130;
        default: return 1;
    }
}

}  // namespace

void print_json(const json& event) {
    std::cout << event.dump(-1, ' ', false, json::error_handler_t::replace) << std::endl;
}

// The end event: what the run's device is, its port, and why a failure failed,
// with the same sentence and next step as a JSON error.
json end_event(const updater::outcome_t& outcome) {
    const bool failed = outcome.end == end_t::failure;
    const char* next = failed ? failure_next_step(outcome.failure) : nullptr;
    return {{"event", "end"},
            {"outcome", outcome_word(outcome.end)},
            {"kind", kind_word(outcome.kind)},
            {"failure", failed ? json(failure_word(outcome.failure)) : json(nullptr)},
            {"text", failed ? json(translated("Engine", failure_sentence(outcome.failure))) : json(nullptr)},
            {"message", failed ? json(printable(translated("Engine", outcome.message.c_str()))) : json(nullptr)},
            {"next", next ? json(translated("Engine", next)) : json(nullptr)},
            {"port", outcome.usb_port.empty() ? json(nullptr) : json(outcome.usb_port)}};
}

std::function<void(const std::string&)> terminal_log(bool verbose) {
    if (!verbose) return {};
    return [](const std::string& line) { write_line(stderr, line); };
}

// A failure as a user reads it: the plain sentence, the engine's words, which
// may quote the device, then what to do next.
std::string failure_lines(const updater::outcome_t& outcome) {
    const char* next = failure_next_step(outcome.failure);
    return std::string(translated("Engine", failure_sentence(outcome.failure))) + "\n    " +
           printable(translated("Engine", outcome.message.c_str())) +
           (next ? "\n" + std::string(translated("Engine", next)) : "");
}

int update_command(int argc, char** argv) {
    options_t o;
    std::string problem;
    if (!parse(argc, argv, o, problem)) return usage_error(asks_json(argc, argv), "update", problem);
    session.json_events = o.json_events;
    session.quiet = o.quiet;

    const result_t<trust_t> loaded = load_cli_trust(o.trusted_keys);
    if (!loaded) return tell_unreadable_key(o.json_events, loaded.failure());
    const trust_t& trust = *loaded;
    // Ctrl-C cancels a download or a run, which then leaves the device whole.
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    update_t update;
    if (o.latest) {
        if (const std::optional<int> status = download_latest(o, trust, update)) return *status;
    } else {
        result_t<update_t> read = read_package(o.package, trust);
        if (!read) return tell_unreadable_package(o.json_events, read.failure());
        update = std::move(*read);
    }
    // Simulated runs are recorded only when asked; the history they may be
    // recorded in decides for them as for real ones.
    const bool simulated = o.simulation.device.has_value() || !o.simulated.empty();
    updater::history_t history(updater::default_history_path());
    updater::history_t* recorded = !simulated || o.record ? &history : nullptr;
    // Decided before any device is touched; with --all, for each device once
    // found (--kind then names only what a first-generation bootloader is).
    // A package named by the feed is believed for its own signature only.
    const bool require_signature = o.require_signature || o.latest;
    if (!told_verdict(updater::package_verdict(update, trust, require_signature, o.all ? nullptr : &history,
                                               known_kind(o), o.port),
                      o))
        return 1;
    main_queue::attach_current_thread(false);
    if (o.all) {
        auto may_install = [&](kind_t kind, const std::string& usb_port) {
            updater::package_verdict_t verdict =
                updater::package_verdict(update, trust, require_signature, &history, kind, usb_port);
            verdict.signature.reset();  // told once, above
            return told_verdict(verdict, o, usb_port);
        };
        return update_all({.kind = o.kind,
                           .simulated = o.simulated,
                           .json_events = o.json_events,
                           .quiet = o.quiet,
                           .log = terminal_log(o.verbose),
                           .history = recorded,
                           .may_install = may_install},
                          update, interrupted);
    }
    session.terminal = isatty(STDOUT_FILENO) && !o.json_events;
    session.kind_answer = o.kind;

    devices::simulated_device_t* device = nullptr;
    const std::unique_ptr<devices::simulation_t> simulation = set_up_devices(o, update, device);
    if (o.simulation.device && !simulation) return 1;
    if (!run(o, update, recorded)) return 1;
    // The device settles (reboots) after the run; its flash no longer changes.
    if (device && o.flash_out && !write_flash(*o.flash_out, device->flash())) return 1;
    return exit_status();
}

}  // namespace zal::cli
