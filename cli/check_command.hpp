// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "updater/feed.hpp"

namespace zal::cli {

// Where the feed comes from: the computer's settings, or what the command line says instead.
struct feed_options_t {
    std::string url;                     // --feed
    std::vector<std::string> feed_keys;  // --trust-feed, beyond the computer's own
    std::string ca_file;                 // --ca-file: a local mirror's own certificate authority
};

// Takes argv[i] (and its value) when it is one of the feed's options; `problem` says what is wrong with it.
bool take_feed_argument(int argc, char** argv, int& i, feed_options_t& o, std::string& problem);

// Why the feed or its package was not taken, on standard error (and as a JSON
// error object, WORD its "error", with `json`); dates as the user's language writes them.
void tell_feed_problem(bool json, const char* word, sentence_t problem, const std::string& details);

// Checks the feed: the check, or nothing once the reason was written to
// standard error (and as a JSON error object with `json`).
std::optional<updater::check_t> check_feed(updater::feed_checker_t& checker, bool json);

// The checker the options describe; nothing when a given key cannot be read,
// once that was said (as a JSON error object too with `json`).
std::optional<updater::feed_checker_t> make_checker(const feed_options_t& o, const trust_t& package_trust,
                                                    updater::history_t& history, bool json);

// `check [--json] [--feed URL] [--trust-feed KEY]... [--ca-file FILE]`: what
// newer firmware the maker lists. 0: nothing newer; 100: newer firmware is
// listed; 1: the feed could not be checked or was refused; 2: usage.
int check_command(int argc, char** argv);

}  // namespace zal::cli
