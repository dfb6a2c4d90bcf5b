#include "cli/update_command.hpp"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/read_file.hpp"
#include "common/async/async.hpp"
#include "common/async/main_queue.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"
#include "common/midi_io/virtual/virtual_service.hpp"
#include "devices/simulated_device.hpp"
#include "devices/simulated_hid.hpp"
#include "updater/updater.hpp"

namespace zal::cli {

namespace {

using json = nlohmann::ordered_json;

struct options_t {
    std::optional<kind_t> kind;
    std::optional<std::string> simulate;
    std::vector<devices::fault_t> faults;
    std::optional<std::string> flash_in, flash_out;
    bool json_events = false;
    std::string package;
};

// What the engine's callbacks need; one run per process.
struct session_t {
    bool json_events = false;
    bool terminal = false;
    std::optional<kind_t> kind_answer;
    int last_percent = -1;
    bool bar_shown = false;
    std::optional<end_t> end;
    std::string message;
};
session_t session;

std::atomic<bool> interrupted{false};
void on_interrupt(int) { interrupted = true; }

const char* const usage_text =
    "usage: ventaro-update-cli inspect PACKAGE\n"
    "       ventaro-update-cli update [--kind ventaro|ruvo] [--json]\n"
    "                                 [--simulate ventaro|ruvo|ventaro-bootloader|ruvo-bootloader|v1-bootloader\n"
    "                                  [--fault FAULT]... [--flash-in FILE] [--flash-out FILE]] PACKAGE\n"
    "faults: unplug-at-request, unplug-at-stage2, unplug-at-roundtrip:K, no-answer:K, wrong-answer:K,\n"
    "        power-cut:K, late-answer:K, duplicate-answer:K, short-answer:K, short-info,\n"
    "        slow-erase:MS, slow-enumeration:MS, refuse-open:MS, stage2-error:TEXT, stage2-stall[:K],\n"
    "        refuse-send (K: a HID roundtrip counted from 0, MS: milliseconds)\n";

int usage(const std::string& problem = {}) {
    if (!problem.empty()) std::fprintf(stderr, "ventaro-update-cli: %s\n", problem.c_str());
    std::fputs(usage_text, stderr);
    return 2;
}

std::optional<kind_t> kind_named(const std::string& name) {
    if (name == "ventaro") return kind_t::ventaro;
    if (name == "ruvo") return kind_t::ruvo;
    return std::nullopt;
}

const char* kind_word(kind_t kind) {
    return kind == kind_t::ventaro ? "ventaro" : kind == kind_t::ruvo ? "ruvo" : "any";
}

bool parse(int argc, char** argv, options_t& o, std::string& problem) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) {
                problem = arg + " needs a value";
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (arg == "--kind") {
            const auto v = value();
            if (!v) return false;
            o.kind = kind_named(*v);
            if (!o.kind) return (problem = "--kind is ventaro or ruvo", false);
        } else if (arg == "--simulate") {
            const auto v = value();
            if (!v) return false;
            static const char* const names[] = {"ventaro", "ruvo", "ventaro-bootloader", "ruvo-bootloader", "v1-bootloader"};
            if (std::find(std::begin(names), std::end(names), *v) == std::end(names))
                return (problem = "unknown device '" + *v + "'", false);
            o.simulate = v;
        } else if (arg == "--fault") {
            const auto v = value();
            if (!v) return false;
            const auto fault = devices::parse_fault(*v, problem);
            if (!fault) return false;
            o.faults.push_back(*fault);
        } else if (arg == "--flash-in") {
            if (!(o.flash_in = value())) return false;
        } else if (arg == "--flash-out") {
            if (!(o.flash_out = value())) return false;
        } else if (arg == "--json") {
            o.json_events = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return (problem = "unknown option " + arg, false);
        } else if (o.package.empty()) {
            o.package = arg;
        } else {
            return (problem = "one package at a time", false);
        }
    }
    if (o.package.empty()) return (problem = "no package given", false);
    if (!o.simulate && (!o.faults.empty() || o.flash_in || o.flash_out))
        return (problem = "--fault, --flash-in and --flash-out need --simulate", false);
    // Only the first-generation bootloader leaves the kind open.
    if (o.simulate && o.kind && *o.simulate != "v1-bootloader" &&
        o.simulate->rfind(kind_word(*o.kind), 0) != 0)
        return (problem = "--simulate " + *o.simulate + " is not a " + kind_word(*o.kind), false);
    return true;
}

void print_json(const json& event) {
    std::cout << event.dump(-1, ' ', false, json::error_handler_t::replace) << std::endl;
}

void end_progress_bar() {
    if (session.bar_shown) std::cout << std::endl;
    session.bar_shown = false;
}

bool read_flash(const std::string& path, std::vector<uint8_t>& flash, std::string& error) {
    file_bytes_t bytes;
    if (!bytes.open(path.c_str(), error)) return false;
    if (bytes.size() != devices::flash_size) {
        error = "a flash image is exactly 1048576 bytes";
        return false;
    }
    flash.assign(bytes.data(), bytes.data() + bytes.size());
    return true;
}

}  // namespace

int update_command(int argc, char** argv) {
    options_t o;
    std::string problem;
    if (!parse(argc, argv, o, problem)) return usage(problem);

    std::setlocale(LC_ALL, "");
    if (const char* locale = std::setlocale(LC_MESSAGES, nullptr); locale && std::strncmp(locale, "fr", 2) == 0)
        lang = lang_t::fr;

    file_bytes_t bytes;
    std::string error;
    if (!bytes.open(o.package.c_str(), error)) {
        std::fprintf(stderr, "%s: %s\n", o.package.c_str(), error.c_str());
        return 1;
    }
    update_t update;
    try {
        update = make_update(bytes.data(), bytes.size());
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }

    session.json_events = o.json_events;
    session.terminal = isatty(STDOUT_FILENO) && !o.json_events;
    session.kind_answer = o.kind;
    main_queue::attach_current_thread(false);

    std::unique_ptr<midi::io::virtual_service_t> virtual_midi;
    std::unique_ptr<devices::simulated_device_t> device;
    if (o.simulate) {
        devices::device_options_t d;
        d.kind = o.simulate->rfind("ruvo", 0) == 0 ? kind_t::ruvo : o.kind.value_or(kind_t::ventaro);
        d.start_in_bootloader = o.simulate->find("bootloader") != std::string::npos;
        d.v1_bootloader = *o.simulate == "v1-bootloader";
        d.faults = o.faults;
        if (o.flash_in && !read_flash(*o.flash_in, d.flash, error)) {
            std::fprintf(stderr, "%s: %s\n", o.flash_in->c_str(), error.c_str());
            return 1;
        }
        d.stage2_images = devices::stage2_images_of(update);
        devices::hid_use_simulation(true);
        virtual_midi = std::make_unique<midi::io::virtual_service_t>();
        midi::io::set_service(virtual_midi.get());
        device = std::make_unique<devices::simulated_device_t>(*virtual_midi, d);
        // Plugged in a moment after the run starts, as a user would.
        async_main([&device] { device->plug(); }, 500);
    } else {
        devices::hid_use_simulation(false);
        midi::io::set_service(&midi::io::alsa_service());
    }

    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    try {
        updater::start(o.kind.value_or(kind_t::any), update);
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    main_queue::run_until([] {
        if (interrupted.exchange(false)) updater::cancel();
        return session.end.has_value();
    });
    updater::shut_down();
    end_progress_bar();

    if (device && o.flash_out) {
        // The device settles (reboots) after the run; its flash no longer changes.
        const std::vector<uint8_t> flash = device->flash();
        std::ofstream out(*o.flash_out, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(flash.data()), std::streamsize(flash.size()));
        if (!out) {
            std::fprintf(stderr, "%s: %s\n", o.flash_out->c_str(), std::strerror(errno));
            return 1;
        }
    }
    device.reset();
    switch (*session.end) {
    case end_t::success: return 0;
    case end_t::cancelled: return 130;
    default: return 1;
    }
}

}  // namespace zal::cli

// --- the engine's callbacks ---------------------------------------------------------
namespace zal::updater {

using cli::session;

void on_announce(const char* title, const char* subtitle) {
    if (session.json_events) {
        cli::print_json({{"event", "announce"}, {"title", title}, {"subtitle", subtitle}});
        return;
    }
    cli::end_progress_bar();
    std::cout << title << "\n    " << subtitle << std::endl;
    session.last_percent = -1;
}

void on_progress(float progress) {
    if (!std::isfinite(progress)) return;
    if (session.json_events) {
        cli::print_json({{"event", "progress"}, {"value", progress}});
        return;
    }
    const int percent = std::clamp(int(std::floor(progress * 100.0f)), 0, 100);
    if (percent == session.last_percent) return;
    session.last_percent = percent;
    if (session.terminal) {
        const int filled = percent * 40 / 100;
        std::cout << "\r[" << std::string(std::size_t(filled), '#') << std::string(std::size_t(40 - filled), '.') << "] "
                  << percent << "%" << std::flush;
        session.bar_shown = true;
    } else {
        std::cout << percent << "%" << std::endl;
    }
}

void on_end(end_t end, kind_t kind, const char* message) {
    session.end = end;
    session.message = message ? message : "";
    if (session.json_events) {
        static const char* const outcomes[] = {"success", "failure", "cancelled"};
        cli::print_json({{"event", "end"},
                         {"outcome", outcomes[int(end)]},
                         {"kind", cli::kind_word(kind)},
                         {"message", message ? nlohmann::ordered_json(message) : nlohmann::ordered_json(nullptr)}});
        return;
    }
    cli::end_progress_bar();
    switch (end) {
    case end_t::success: std::cout << (lang == lang_t::fr ? "Mise à jour réussie : " : "Update succeeded: ") << kind_name(kind) << std::endl; break;
    case end_t::cancelled: std::cout << (lang == lang_t::fr ? "Mise à jour annulée." : "Update cancelled.") << std::endl; break;
    case end_t::failure: std::cerr << message << std::endl; break;
    }
}

kind_t on_ask_kind_modal() {
    if (session.kind_answer) return *session.kind_answer;
    if (!isatty(STDIN_FILENO)) return kind_t::any;
    cli::end_progress_bar();
    std::cout << (lang == lang_t::fr
                      ? "Le bootloader branché ne dit pas à quel appareil il appartient.\n"
                        "Est-ce un Ventaro (v) ou un boîtier Ruvo (r) ? Toute autre réponse annule : "
                      : "The connected bootloader does not tell which device it belongs to.\n"
                        "Is it a Ventaro (v) or a Ruvo receiver (r)? Any other answer cancels: ")
              << std::flush;
    // Ctrl-C must not wait for a line: the signal handler restarts `read`.
    pollfd input{STDIN_FILENO, POLLIN, 0};
    while (::poll(&input, 1, 100) <= 0)
        if (cli::interrupted) return kind_t::any;
    std::string answer;
    if (!std::getline(std::cin, answer)) return kind_t::any;
    if (answer == "v" || answer == "V" || answer == "ventaro") return kind_t::ventaro;
    if (answer == "r" || answer == "R" || answer == "ruvo") return kind_t::ruvo;
    return kind_t::any;
}

}  // namespace zal::updater
