// SPDX-License-Identifier: MIT
#pragma once

// Which device a run is for, and how a run ends.

#include <cstdint>

namespace zal {

enum class kind_t : int32_t { any = 0, ventaro = 1, ruvo = 2 };
enum class end_t : int32_t { success = 0, failure = 1, cancelled = 2 };

// "Ventaro", "Ruvo" or "undefined", as log lines name a kind.
const char* kind_name(kind_t kind);

}  // namespace zal
