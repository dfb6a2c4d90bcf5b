// SPDX-License-Identifier: MIT
// The HEX reader and the entry patch on arbitrary text; blocks must stay within
// their sectors whatever the records say.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "update/firmware.hpp"
#include "update/update_plan.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const zal::firmware_t image =
            zal::load_firmware({reinterpret_cast<const char*>(data), size}, zal::flash_map_stm32f40x_41x);
        for (const auto& [index, block] : image.sectors)
            if (index >= image.flash_map.size || block.size() > image.flash_map.sectors[index].size) std::abort();
        for (const auto& action : zal::make_update_plan(image).actions)
            if (action.operation == zal::update_action_t::operation_t::write &&
                (action.size == 0 || action.size > 0x4000))
                std::abort();
    } catch (const std::runtime_error&) {
    }
    return 0;
}
