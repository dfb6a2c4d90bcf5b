// SPDX-License-Identifier: MIT
// The system's hidapi opened from two threads at once, as the backend may be
// called from any thread. No device is needed: each failure replaces hidapi's
// process-wide error text, and the address sanitizer sees a text freed twice.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "common/hid_io/hid_io.hpp"

namespace {

using zal::hid_io::hidapi_backend;

void open_missing_device(int times) {
    for (int i = 0; i < times; ++i) {
        const auto opened = hidapi_backend().open("/dev/hidraw-none");
        ASSERT_FALSE(opened);
        EXPECT_EQ(opened.failure().code, ENOENT);
        EXPECT_NE(opened.failure().text.find("/dev/hidraw-none"), std::string::npos) << opened.failure().text;
    }
}

TEST(HidapiBackend, OpeningFromTwoThreadsAtOnce) {
    ASSERT_TRUE(hidapi_backend().init());
    std::thread worker(open_missing_device, 2000);
    open_missing_device(2000);
    worker.join();
    hidapi_backend().exit();
}

}  // namespace
