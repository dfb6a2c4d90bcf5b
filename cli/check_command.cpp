// SPDX-License-Identifier: MIT
#include "cli/check_command.hpp"

#include <clocale>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/catalogue.hpp"
#include "cli/help.hpp"
#include "cli/inspect.hpp"
#include "cli/update_all.hpp"
#include "cli/update_command.hpp"
#include "common/text/printable.hpp"
#include "updater/sentences.hpp"

namespace zal::cli {

namespace {

using json = nlohmann::ordered_json;

constexpr int exit_up_to_date = 0, exit_could_not_check = 1, exit_newer_available = 100;

// The notes' first line in the user's language, else in English.
std::string notes_line(const updater::feed_package_t& package) {
    const auto found = package.notes.find(chosen_language());
    if (found != package.notes.end()) return found->second;
    const auto english = package.notes.find("en");
    return english != package.notes.end() ? english->second : "";
}

}  // namespace

bool take_feed_argument(int argc, char** argv, int& i, feed_options_t& o, std::string& problem) {
    const std::string arg = argv[i];
    std::string* value = arg == "--feed" ? &o.url : arg == "--ca-file" ? &o.ca_file : nullptr;
    if (!value && arg != "--trust-feed") return false;
    if (i + 1 >= argc) return (problem = fill(translated("Cli", "%1 needs a value"), {arg}), false);
    if (value)
        *value = argv[++i];
    else
        o.feed_keys.emplace_back(argv[++i]);
    return true;
}

std::optional<updater::feed_checker_t> make_checker(const feed_options_t& o, const trust_t& package_trust,
                                                    updater::history_t& history, bool as_json) {
    std::vector<std::string> problems;
    std::vector<public_key_t> keys = updater::load_feed_keys("", problems);
    for (const std::string& problem : problems)
        write_line(stderr, fill(translated("Cli", "Trusted feed keys: %1"), {problem}));
    for (const std::string& path : o.feed_keys) {
        const result_t<public_key_t> key = read_public_key(path);
        if (!key) {
            tell_unreadable_key(as_json, {key.failure().code, path + ": " + key.failure().text});
            return std::nullopt;
        }
        keys.push_back(*key);
    }
    updater::transfer_options_t transfer;
    transfer.ca_file = o.ca_file;
    return updater::feed_checker_t(o.url.empty() ? updater::load_feed_settings("").url : o.url, std::move(keys),
                                   package_trust, history, updater::default_cache_folder(), transfer);
}

void tell_feed_problem(bool as_json, const char* word, sentence_t problem, const std::string& details) {
    for (std::string& value : problem.values) value = said_date(value);
    const std::string text = said(problem);
    if (as_json) print_json({{"error", word}, {"text", text}, {"details", printable(details)}});
    write_line(stderr, text);
    if (!details.empty()) write_line(stderr, "    " + details);
}

std::optional<updater::check_t> check_feed(updater::feed_checker_t& checker, bool as_json) {
    result_t<updater::check_t> check = checker.check(updater::now_ms() / 1000);
    if (!check)
        tell_feed_problem(as_json, "could-not-check", feed_failure_sentence(check.failure()), check.failure().text);
    else if (check->refusal)
        tell_feed_problem(as_json, "refused", *check->refusal, "");
    else
        return *check;
    return std::nullopt;
}

int check_command(int argc, char** argv) {
    bool as_json = false;
    feed_options_t o;
    for (int i = 2; i < argc; ++i) {
        std::string problem;
        if (std::string(argv[i]) == "--json")
            as_json = true;
        else if (!take_feed_argument(argc, argv, i, o, problem))
            return usage_error(asks_json(argc, argv), "check",
                               problem.empty() ? fill(translated("Cli", "unknown argument %1"), {argv[i]}) : problem);
    }
    const result_t<trust_t> trust = load_cli_trust({});
    if (!trust) return tell_unreadable_key(as_json, trust.failure());
    updater::history_t history(updater::default_history_path());
    std::optional<updater::feed_checker_t> checker = make_checker(o, *trust, history, as_json);
    if (!checker) return exit_could_not_check;
    const std::optional<updater::check_t> check = check_feed(*checker, as_json);
    if (!check) return exit_could_not_check;

    if (as_json) {
        json offers = json::array();
        for (const updater::offer_t& offer : check->offers)
            offers.push_back(
                {{"kind", kind_word(offer.package.kind)},
                 {"version", offer.package.version},
                 {"released", offer.package.release_date},
                 {"installed", offer.installed_version.empty() ? json(nullptr) : json(offer.installed_version)},
                 {"installed_unsafe", offer.installed_unsafe},
                 {"notes", offer.package.notes}});
        print_json({{"serial", check->serial},
                    {"unchanged", check->unchanged},
                    {"bytes_received", check->bytes_received},
                    {"offers", offers}});
    } else if (check->offers.empty()) {
        std::cout << translated("Engine", feed_up_to_date) << std::endl;
    }
    for (const updater::offer_t& offer : check->offers) {
        if (as_json) break;
        std::cout << said(offer_sentence(offer.package.kind, offer.package.version,
                                         said_date(offer.package.release_date)))
                  << std::endl;
        if (const std::string line = notes_line(offer.package); !line.empty())
            std::cout << "    " << printable(line) << std::endl;
    }
    return check->offers.empty() ? exit_up_to_date : exit_newer_available;
}

}  // namespace zal::cli
