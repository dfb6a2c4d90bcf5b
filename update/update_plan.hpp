// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

#include "update/firmware.hpp"

namespace zal {

struct update_action_t {
    enum class operation_t : int32_t { write = 1, erase = 2 };

    operation_t operation;
    int64_t address;                      // relative to the flash base
    uint64_t count = 0;                   // erase: sectors from `address` on
    const unsigned char* data = nullptr;  // write: points into the image's sector block
    uint64_t size = 0;                    // write: 1 to 16384 bytes
};

// The erase and write actions that program one image. Write actions point into
// the image, which must outlive the plan unchanged.
struct update_plan_t {
    uint32_t base_address = 0;
    std::vector<update_action_t> actions;
};

constexpr uint64_t max_write_size = 0x4000;

update_plan_t make_update_plan(const firmware_t& image);

// The end of what the plan erases or writes, from the flash base: an erase
// reaches at least into the sector it names.
uint32_t plan_reach(const update_plan_t& plan);

// Whether the plan would erase or write the known device's bootloader.
bool touches_bootloader(const update_plan_t& plan);

// Index of the first byte that is not 0xFF, or `size` when there is none.
unsigned long first_non_empty_index(const unsigned char* bytes, unsigned long size);

}  // namespace zal
