// SPDX-License-Identifier: MIT
#pragma once

// The bootloader's HID interface, a function of the configfs gadget, in one of
// two ways the host cannot tell apart (the same descriptors, report descriptor
// and reports): the kernel's usb_f_hid (usb_f_hid.cpp), read and written
// through /dev/hidgN, of which a machine has four; or FunctionFS
// (functionfs_hid.cpp), where this program writes usb_f_hid's descriptors and
// answers the host's HID requests itself, for any number of devices.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zal::devices::gadget_hid {

constexpr std::size_t report_size = 64;

// A vendor-defined collection of one 64-byte input and one 64-byte output
// report, without report ids: what the bootloaders describe.
inline constexpr uint8_t report_descriptor[] = {
    0x06, 0x00, 0xFF,  // usage page (vendor defined 0xFF00)
    0x09, 0x01,        // usage (1)
    0xA1, 0x01,        // collection (application)
    0x15, 0x00,        //   logical minimum (0)
    0x26, 0xFF, 0x00,  //   logical maximum (255)
    0x75, 0x08,        //   report size (8)
    0x95, 0x40,        //   report count (64)
    0x09, 0x01,        //   usage (1)
    0x81, 0x02,        //   input (data, variable, absolute)
    0x95, 0x40,        //   report count (64)
    0x09, 0x01,        //   usage (1)
    0x91, 0x02,        //   output (data, variable, absolute)
    0xC0,              // end collection
};

class hid_function_t {
public:
    // An output report from the host, on a reading thread.
    using receive_t = std::function<void(const uint8_t* report, std::size_t length)>;

    virtual ~hid_function_t() = default;
    // Once the gadget is bound: serves the host, handing its output reports to `receive`.
    virtual void start(receive_t receive) = 0;
    // An input report of report_size bytes, for the host's next poll.
    virtual void send(const std::vector<uint8_t>& report) = 0;
};

// Each makes `folder`, the function's configfs folder (".../functions/hid.NAME"
// or ".../functions/ffs.NAME"), ready to be linked into the configuration.
std::unique_ptr<hid_function_t> make_usb_f_hid(const std::string& folder);
std::unique_ptr<hid_function_t> make_functionfs_hid(const std::string& folder);

}  // namespace zal::devices::gadget_hid
