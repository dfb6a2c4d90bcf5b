// SPDX-License-Identifier: MIT
// ini_load and lookups on arbitrary text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/ini.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    zal::ini_t* ini = zal::ini_load(text.c_str());
    if (ini == nullptr) std::abort();
    for (const char* section : {"general", "", "g"}) {
        const int s = zal::ini_find_section(ini, section);
        for (const char* name : {"product", "version", "releasedate", ""}) {
            const int p = zal::ini_find_property(ini, s, name);
            if (p >= 0 && zal::ini_property_value(ini, s, p) == nullptr) std::abort();
        }
    }
    zal::ini_destroy(ini);
    return 0;
}
