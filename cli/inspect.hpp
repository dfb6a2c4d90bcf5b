// SPDX-License-Identifier: MIT
#pragma once

#include <nlohmann/json.hpp>

#include "update/update.hpp"

namespace zal::cli {

// What the package reader built, as the `inspect` command prints it.
nlohmann::ordered_json describe_update(const update_t& update);

// `inspect PACKAGE`: returns the process exit status.
int inspect(const char* path);

}  // namespace zal::cli
