// SPDX-License-Identifier: MIT
#pragma once

#include <nlohmann/json.hpp>

#include "update/update.hpp"

namespace zal::cli {

// What the package reader built, as the `inspect` command prints it.
nlohmann::ordered_json describe_update(const update_t& update);

// `inspect [--trust PUBLIC_KEY]... PACKAGE`: returns the process exit status.
int inspect(int argc, char** argv);

// The computer's trusted keys (and its administrator's setting) with the keys
// given by `--trust`; problems with key files are written to standard error.
// False when a given key cannot be read.
bool load_cli_trust(const std::vector<std::string>& extra_keys, trust_t& trust);

}  // namespace zal::cli
