// SPDX-License-Identifier: MIT
#include "cli/update_all.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/catalogue.hpp"
#include "cli/help.hpp"
#include "updater/sentences.hpp"
#include "common/async/async.hpp"
#include "common/async/main_queue.hpp"
#include "common/async/thread.hpp"
#include "common/hid_io/hid_io.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"
#include "common/midi_io/midi_io.hpp"
#include "common/session/logind_inhibitor.hpp"
#include "common/text/printable.hpp"
#include "updater/connected.hpp"
#include "updater/log.hpp"
#include "updater/run_recorder.hpp"

namespace zal::cli {

namespace {

using json = nlohmann::ordered_json;

// One device's run, and what its line shows.
struct device_run_t {
    updater::connected_device_t device;
    kind_t kind = kind_t::any;  // what it is updated as
    std::string title;
    int percent = -1;
    std::optional<updater::outcome_t> outcome;
    std::unique_ptr<updater::run_recorder_t> recorder;  // outlives the engine
    updater::engine_t* engine = nullptr;                // update_all's own, destroyed before the runs

    std::string name() const { return printable(device.usb_port) + " " + kind_name(kind); }
};

// A connected device that is not updated, and why.
struct left_alone_t {
    std::string usb_port;  // empty where the system does not tell it
    std::string why;       // in the user's language
};

void tell_left_alone(const std::vector<left_alone_t>& left_alone, bool json_events) {
    for (const left_alone_t& l : left_alone) {
        if (json_events)
            print_json({{"event", "left-alone"},
                        {"port", l.usb_port.empty() ? json(nullptr) : json(l.usb_port)},
                        {"text", l.why}});
        else
            std::cout << (l.usb_port.empty() ? "?" : printable(l.usb_port)) << ": " << l.why << std::endl;
    }
}

// While the board is drawn on a terminal that is also standard error, the
// engines' log lines go through a pipe and are printed above the board rather
// than through it. A thread drains the pipe, so that a worker never waits on it.
class log_above_t {
public:
    log_above_t() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        std::fflush(stderr);
        terminal_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        if (terminal_ < 0 || ::dup2(fds[1], STDERR_FILENO) < 0) {
            for (int fd : {fds[0], fds[1], terminal_})
                if (fd >= 0) ::close(fd);
            terminal_ = -1;
            return;
        }
        ::close(fds[1]);
        reader_ = named_thread("log drain", [this, in = fds[0]] {
            char buffer[4096];
            for (ssize_t n; (n = ::read(in, buffer, sizeof buffer)) > 0;) {
                std::lock_guard lock(mutex_);
                pending_.append(buffer, std::size_t(n));
            }
            ::close(in);
        });
    }
    ~log_above_t() { stop(); }
    log_above_t(const log_above_t&) = delete;
    log_above_t& operator=(const log_above_t&) = delete;

    // Prints the whole lines logged since the last call.
    void print() {
        std::string lines;
        {
            std::lock_guard lock(mutex_);
            const std::size_t end = pending_.rfind('\n');
            if (end == std::string::npos) return;
            lines = pending_.substr(0, end + 1);
            pending_.erase(0, end + 1);
        }
        write_all(lines);
    }

    // Standard error is the terminal again; what is left is printed.
    void stop() {
        if (!reader_.joinable()) return;
        std::fflush(stderr);
        ::dup2(terminal_, STDERR_FILENO);  // closes the pipe's last write end: the reader ends
        reader_.join();
        write_all(pending_);
        pending_.clear();
        ::close(terminal_);
    }

private:
    void write_all(const std::string& text) const {
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t n = ::write(terminal_, text.data() + done, text.size() - done);
            if (n <= 0) return;
            done += std::size_t(n);
        }
    }

    int terminal_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::string pending_;
};

// Shows every run: a line each, redrawn in place on a terminal; a plain log
// otherwise; JSON events that carry the port.
class board_t {
public:
    board_t(std::vector<std::unique_ptr<device_run_t>>& runs, bool json_events, bool quiet)
        : runs_(runs), json_(json_events), quiet_(quiet), terminal_(!json_events && !quiet && isatty(STDOUT_FILENO)) {
        if (terminal_ && isatty(STDERR_FILENO)) log_ = std::make_unique<log_above_t>();
    }

    // Redraws now and then, so that log lines show while every device waits.
    void tick() {
        if (!terminal_ || finished_) return;
        redraw();
        async_main([this] { tick(); }, 500);
    }

    // The last drawing; standard error is the terminal's again.
    void finish() {
        if (terminal_) redraw();
        finished_ = true;
        log_.reset();
    }

    void announce(device_run_t& run, const char* english_title, const char* english_subtitle) {
        run.title = translated("Engine", english_title);
        if (json_) {
            print_json({{"event", "announce"},
                        {"port", run.device.usb_port},
                        {"title", run.title},
                        {"subtitle", translated("Engine", english_subtitle)}});
        } else if (terminal_) {
            redraw();
        } else if (!quiet_) {
            std::cout << "[" << run.name() << "] " << run.title << std::endl;
        }
    }

    void progress(device_run_t& run, float value) {
        if (!std::isfinite(value)) return;
        const int percent = std::clamp(int(std::floor(value * 100.0f)), 0, 100);
        if (json_) {
            print_json({{"event", "progress"}, {"port", run.device.usb_port}, {"value", value}});
            return;
        }
        if (percent == run.percent) return;
        run.percent = percent;
        if (terminal_)
            redraw();
        else if (!quiet_)
            std::cout << "[" << run.name() << "] " << percent << "%" << std::endl;
    }

    void end(device_run_t& run) {
        if (json_)
            print_json(end_event(*run.outcome));
        else if (terminal_)
            redraw();
    }

    // One line per device, the last thing printed; with --quiet, the failures only.
    void summary(const std::vector<left_alone_t>& left_alone) const {
        if (json_) return;
        for (const auto& run : runs_) {
            const updater::outcome_t& o = *run->outcome;
            if (o.end == end_t::failure)
                std::cerr << printable(run->device.usb_port) << ": " << failure_lines(o) << std::endl;
            else if (!quiet_)
                std::cout << printable(run->device.usb_port) << ": " << outcome_text(o) << std::endl;
        }
        if (!quiet_) tell_left_alone(left_alone, false);
    }

private:
    void redraw() {
        if (drawn_) std::cout << "\x1b[" << runs_.size() << "A\r\x1b[J";
        std::cout << std::flush;
        if (log_) log_->print();
        for (const auto& run : runs_) {
            const int percent = std::max(run->percent, 0);
            const int filled = percent * 20 / 100;
            std::cout << "\r\x1b[2K" << run->name() << " [" << std::string(std::size_t(filled), '#')
                      << std::string(std::size_t(20 - filled), '.') << "] " << percent << "% "
                      << (run->outcome ? outcome_text(*run->outcome) : run->title) << "\n";
        }
        std::cout << std::flush;
        drawn_ = true;
    }

    static std::string outcome_text(const updater::outcome_t& o) {
        switch (o.end) {
            case end_t::success: return translated("Cli", "Update succeeded: ") + std::string(kind_name(o.kind));
            case end_t::cancelled: return translated("Cli", "Update cancelled.");
            case end_t::failure: return translated("Engine", failure_sentence(o.failure));
        }
        return {};
    }

    std::vector<std::unique_ptr<device_run_t>>& runs_;
    bool json_;
    bool quiet_;
    bool terminal_;
    bool drawn_ = false;
    bool finished_ = false;
    std::unique_ptr<log_above_t> log_;
};

// The devices to update: those the package has firmware for, each once; the
// others are in `left_alone`.
std::vector<std::unique_ptr<device_run_t>> choose_devices(const update_all_options_t& options, const update_t& update,
                                                          std::vector<left_alone_t>& left_alone) {
    std::vector<std::unique_ptr<device_run_t>> runs;
    for (const updater::connected_device_t& d : updater::connected_devices()) {
        if (d.usb_port.empty()) {
            left_alone.push_back(
                {{}, translated("Cli", "left alone: the system does not tell its USB port, which a run follows.")});
            continue;
        }
        const bool taken =
            std::any_of(runs.begin(), runs.end(), [&d](const auto& run) { return run->device.usb_port == d.usb_port; });
        if (taken) continue;
        kind_t kind = d.kind;
        if (d.state == device_state_t::first_generation_bootloader) {
            if (!options.kind) {
                left_alone.push_back({d.usb_port, translated("Cli",
                                                             "left alone: a first-generation bootloader does not tell "
                                                             "which device it is; give --kind ventaro or --kind ruvo "
                                                             "to update it.")});
                continue;
            }
            kind = *options.kind;
        }
        const bool has_firmware = kind == kind_t::ventaro ? bool(update.ventaro) : bool(update.ruvo);
        if (!has_firmware) {
            left_alone.push_back(
                {d.usb_port,
                 fill(translated("Cli", "left alone (%1): this package has no firmware for it."), {kind_name(kind)})});
            continue;
        }
        if (!options.may_install(kind, d.usb_port)) continue;
        auto run = std::make_unique<device_run_t>();
        run->device = d;
        run->kind = kind;
        runs.push_back(std::move(run));
    }
    return runs;
}

}  // namespace

int update_all(const update_all_options_t& options, const update_t& update, std::atomic<bool>& interrupted) {
    std::unique_ptr<devices::simulation_t> simulation;
    if (options.simulated.empty()) {
        midi::io::set_service(&midi::io::alsa_service());
    } else {
        simulation = std::make_unique<devices::simulation_t>();
        simulation->install();
        for (const simulated_t& s : options.simulated)
            simulation
                ->add(devices::simulation_t::options_for(update, s.choice, s.faults,
                                                         options.kind.value_or(s.choice.kind)))
                .plug();
    }
    if (!hid_io::backend().init()) return tell_unreachable(options.json_events, failure_kind_t::hid_unavailable);
    if (const result_t<void> midi = midi::io::init("VentaroUpdate"); !midi)
        return tell_unreachable(options.json_events, failure_kind_t::midi_unavailable, midi.failure().text);

    std::vector<left_alone_t> left_alone;
    std::vector<std::unique_ptr<device_run_t>> runs = choose_devices(options, update, left_alone);
    if (runs.empty()) {
        tell_left_alone(left_alone, options.json_events);
        return tell_error(options.json_events, "no-device",
                          translated("Cli", "No Ventaro or Ruvo that this package has firmware for is connected."),
                          translated("Cli", "Connect one, turn it on, and run the update again."));
    }
    board_t board(runs, options.json_events, options.quiet);
    if (options.json_events) tell_left_alone(left_alone, true);

    // Held while any device is written; a terminal has no logout portal.
    session::logind_inhibitor_t inhibitor;
    std::size_t writing = 0;
    auto device_phases = [&](bool active) {
        if (simulation) return;
        if (active && writing++ == 0) inhibitor.hold();
        if (!active && --writing == 0) inhibitor.release();
    };

    // Declared last: an engine's destructor ends its run, which calls back into
    // everything above, on every way out of this function.
    std::vector<std::unique_ptr<updater::engine_t>> engines;
    for (auto& owned : runs) {
        device_run_t* run = owned.get();
        updater::callbacks_t shown{
            .announce = [&board, run](const char* title,
                                      const char* subtitle) { board.announce(*run, title, subtitle); },
            .progress = [&board, run](float value) { board.progress(*run, value); },
            .end =
                [&board, run](const updater::outcome_t& outcome) {
                    run->outcome = outcome;
                    if (run->outcome->usb_port.empty()) run->outcome->usb_port = run->device.usb_port;
                    board.end(*run);
                },
            // Only a first-generation bootloader asks, and only one the user named.
            .ask_kind = [kind = run->kind](const std::function<void(std::optional<kind_t>)>& answer) { answer(kind); },
            .device_phases = device_phases,
            .entered = {},
            .log = options.log,
            .log_on_stderr = false};
        if (options.history) {
            run->recorder = std::make_unique<updater::run_recorder_t>(*options.history, "cli");
            shown = run->recorder->recording(std::move(shown));
        }
        run->engine = engines.emplace_back(std::make_unique<updater::engine_t>(std::move(shown))).get();
    }
    for (auto& run : runs) {
        if (run->recorder) run->recorder->begin(update, run->kind, run->device.usb_port);
        run->engine->start(run->kind, update, run->device.usb_port);
    }
    board.tick();
    bool cancelled = false;
    main_queue::run_until([&] {
        if (interrupted.exchange(false)) {
            cancelled = true;
            for (auto& run : runs) run->engine->cancel();
        }
        return std::all_of(runs.begin(), runs.end(), [](const auto& run) { return run->outcome.has_value(); });
    });
    // Each cancelled run's worker finishes its sector-0 window first.
    for (auto& run : runs) run->engine->shut_down();
    board.finish();
    board.summary(left_alone);

    const bool all_updated =
        std::all_of(runs.begin(), runs.end(), [](const auto& run) { return run->outcome->end == end_t::success; });
    const bool any_failed =
        std::any_of(runs.begin(), runs.end(), [](const auto& run) { return run->outcome->end == end_t::failure; });
    return all_updated ? 0 : any_failed || !cancelled ? 1 : 130;
}

}  // namespace zal::cli
