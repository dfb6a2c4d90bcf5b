// SPDX-License-Identifier: MIT
// parse_feed on arbitrary text; what it accepts is written back as the maker's
// tool writes it and must read back the same.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "updater/feed.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const zal::result_t<zal::updater::feed_t> feed =
        zal::updater::parse_feed(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!feed) return 0;
    const std::string text = zal::updater::feed_text(*feed);
    const zal::result_t<zal::updater::feed_t> again = zal::updater::parse_feed(text);
    if (!again || zal::updater::feed_text(*again) != text) std::abort();
    return 0;
}
