// SPDX-License-Identifier: MIT
#pragma once

// What a USB device says it is: its ids and its strings, in UTF-8.

#include <cstdint>
#include <string>

namespace zal {

struct usb_descriptor_t {
    std::string manufacturer;  // empty: the device has no such string
    std::string product;
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
};

}  // namespace zal
