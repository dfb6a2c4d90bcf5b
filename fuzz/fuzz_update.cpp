// SPDX-License-Identifier: MIT
// make_update on arbitrary bytes: a clean runtime error or an update, nothing else.
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "update/update.hpp"
#include "update/update_plan.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const zal::update_t update = zal::make_update(data, size);
        for (const auto* device : {&update.ventaro, &update.ruvo}) {
            if (!*device) continue;
            zal::make_update_plan((*device)->main);
            if ((*device)->stage2) zal::make_update_plan(*(*device)->stage2);
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}
