// SPDX-License-Identifier: MIT
// hid-enumerate SECONDS: lists HID devices through the shipped backend, over and
// over, for SECONDS, as the engine does while it waits for a bootloader, and
// prints how often the list changed. Run while a device is plugged in and out
// again: a device leaving halfway through a listing must not stop the program.

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "common/hid_io/hid_io.hpp"

int main(int argc, char** argv) {
    using namespace zal;
    if (argc != 2) {
        std::fputs("usage: hid-enumerate SECONDS\n", stderr);
        return 2;
    }
    if (!hid_io::hidapi_backend().init()) return 1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[1]));
    std::size_t listings = 0, changes = 0, last = 0;
    while (std::chrono::steady_clock::now() < until) {
        const std::size_t count = hid_io::hidapi_backend().enumerate().size();
        if (listings > 0 && count != last) ++changes;
        last = count;
        ++listings;
    }
    hid_io::hidapi_backend().exit();
    std::printf("hid-enumerate: %zu listings, %zu changes\n", listings, changes);
    return 0;
}
