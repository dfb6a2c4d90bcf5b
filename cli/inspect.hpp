// SPDX-License-Identifier: MIT
#pragma once

#include <nlohmann/json.hpp>

#include "update/update.hpp"

namespace zal::cli {

// What the package reader built, as the `inspect` command prints it.
nlohmann::ordered_json describe_update(const update_t& update);

// `inspect [--trust PUBLIC_KEY]... [--compact] PACKAGE`: returns the process exit status.
int inspect(int argc, char** argv);

// The package in the file `path`; a failure's text names the file, in the user's language.
result_t<update_t> read_package(const std::string& path, const trust_t& trust);
// Says that a package cannot be read, and what to do; returns the exit status, 1.
int tell_unreadable_package(bool json, const failure_t& failure);
// Says that a key given on the command line cannot be read, and what to do; returns 1.
int tell_unreadable_key(bool json, const failure_t& failure);

// The computer's trusted keys (and its administrator's setting) with the keys
// given by `--trust`; problems with the computer's key files are written to
// standard error. Fails, naming the file, when a given key cannot be read.
result_t<trust_t> load_cli_trust(const std::vector<std::string>& extra_keys);

}  // namespace zal::cli
