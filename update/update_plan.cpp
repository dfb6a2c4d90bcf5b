#include "update/update_plan.hpp"

#include <algorithm>
#include <stdexcept>

namespace zal {

unsigned long first_non_empty_index(const unsigned char* bytes, unsigned long size) {
    unsigned long i = 0;
    while (i < size && bytes[i] == 0xFF) ++i;
    return i;
}

update_plan_t make_update_plan(const firmware_t& image) {
    const flash_map_t& map = image.flash_map;
    update_plan_t plan{map.base_address, {}};
    for (const auto& [index, block] : image.sectors) {
        if (index >= map.size || index >= map.sectors.size()) throw std::runtime_error("Firmware data does not fit the target product.");
        const uint32_t sector_offset = map.sectors[index].base_address - map.base_address;
        plan.actions.push_back({update_action_t::kind_t::erase, int64_t(int32_t(sector_offset)), 1});

        const unsigned long skip = first_non_empty_index(block.data(), block.size());
        for (unsigned long offset = skip; offset < block.size(); offset += max_write_size) {
            const uint64_t size = std::min<uint64_t>(max_write_size, block.size() - offset);
            const uint32_t address = sector_offset + uint32_t(offset);
            plan.actions.push_back({update_action_t::kind_t::write, int64_t(int32_t(address)), 0, block.data() + offset, size});
        }
    }
    return plan;
}

}  // namespace zal
