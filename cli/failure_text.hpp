// SPDX-License-Identifier: MIT
#pragma once

// Why a run failed, as the command-line tool tells a user, in the chosen
// language. The sentences are the application's own.

#include "updater/kind.hpp"

namespace zal::cli {

const char* plain_failure(failure_kind_t kind);

}  // namespace zal::cli
