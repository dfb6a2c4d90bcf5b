// SPDX-License-Identifier: MIT
// The system's hidapi, as the engine uses it from two threads at once: the main
// thread looking for bootloaders while a programming worker opens one. Neither
// needs a device here: both failures replace hidapi's process-wide error text,
// and the address sanitizer sees a text freed twice.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "common/hid_io/hid_io.hpp"

namespace {

using zal::hid_io::hidapi_backend;

TEST(HidapiBackend, EnumeratingAndOpeningAtOnce) {
    ASSERT_TRUE(hidapi_backend().init());
    constexpr int rounds = 2000;
    std::thread worker([] {
        for (int i = 0; i < rounds; ++i) {
            const auto opened = hidapi_backend().open("/dev/hidraw-none");
            ASSERT_FALSE(opened);
            EXPECT_EQ(opened.failure().code, ENOENT);
            EXPECT_NE(opened.failure().text.find("/dev/hidraw-none"), std::string::npos) << opened.failure().text;
        }
    });
    for (int i = 0; i < rounds; ++i) hidapi_backend().enumerate();
    worker.join();
    hidapi_backend().exit();
}

}  // namespace
