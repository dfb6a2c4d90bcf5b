// SPDX-License-Identifier: MIT
#pragma once

// Which device a run is for, and how a run ends.

#include <cstdint>
#include <optional>
#include <string>

namespace zal {

enum class kind_t : int32_t { any = 0, ventaro = 1, ruvo = 2 };
enum class end_t : int32_t { success = 0, failure = 1, cancelled = 2 };

// "Ventaro", "Ruvo" or "undefined", as log lines and users read a kind.
const char* kind_name(kind_t kind);

// "ventaro", "ruvo" or "any", as command lines and JSON write a kind.
const char* kind_word(kind_t kind);
// The kind a word names, if any ("any" names none).
std::optional<kind_t> kind_of_word(const std::string& word);

}  // namespace zal
