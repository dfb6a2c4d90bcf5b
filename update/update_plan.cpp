// SPDX-License-Identifier: MIT
#include "update/update_plan.hpp"
#include "common/text/marked.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace zal {

unsigned long first_non_empty_index(const unsigned char* bytes, unsigned long size) {
    unsigned long i = 0;
    while (i < size && bytes[i] == 0xFF) ++i;
    return i;
}

uint32_t plan_reach(const update_plan_t& plan) {
    uint64_t reach = 0;
    for (const update_action_t& action : plan.actions) {
        const uint64_t start = uint64_t(std::max<int64_t>(action.address, 0));
        const uint64_t end = action.operation == update_action_t::operation_t::write ? start + action.size : start + 1;
        reach = std::max(reach, end);
    }
    return uint32_t(std::min<uint64_t>(reach, UINT32_MAX));
}

bool touches_bootloader(const update_plan_t& plan) { return plan_reach(plan) > bootloader_address - plan.base_address; }

update_plan_t make_update_plan(const firmware_t& image) {
    const flash_map_t& map = image.flash_map;
    update_plan_t plan{map.base_address, {}};
    for (const auto& [index, block] : image.sectors) {
        if (index >= map.size || index >= map.sectors.size())
            throw std::runtime_error(ZAL_TEXT("Engine", "Firmware data does not fit the target product."));
        const uint32_t sector_offset = map.sectors[index].base_address - map.base_address;
        plan.actions.push_back({update_action_t::operation_t::erase, int64_t(int32_t(sector_offset)), 1});

        const unsigned long skip = first_non_empty_index(block.data(), block.size());
        for (unsigned long offset = skip; offset < block.size(); offset += max_write_size) {
            const uint64_t size = std::min<uint64_t>(max_write_size, block.size() - offset);
            const uint32_t address = sector_offset + uint32_t(offset);
            plan.actions.push_back(
                {update_action_t::operation_t::write, int64_t(int32_t(address)), 0, block.data() + offset, size});
        }
    }
    return plan;
}

}  // namespace zal
