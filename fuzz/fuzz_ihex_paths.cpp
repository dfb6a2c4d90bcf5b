// SPDX-License-Identifier: MIT
// Differential: the HEX reader's record-at-once path and its character path
// read every text alike.
#include <cstdint>
#include <cstdlib>

#include "fuzz/ihex_two_paths.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    if (!(zal::ihex_paths::by_records(text, size) == zal::ihex_paths::by_characters(text, size))) std::abort();
    return 0;
}
