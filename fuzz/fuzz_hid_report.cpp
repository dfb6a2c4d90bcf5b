// SPDX-License-Identifier: MIT
// What a bootloader sends over USB HID, as the engine reads it: an answer
// report checked against every command, read as the information record, and
// the device's strings as the listing of hidraw devices passes them on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/hid_io/hidapi/hidraw_devices.hpp"
#include "common/text/utf8.hpp"
#include "updater/uhb.hpp"

namespace {

template <zal::updater::uhb::cmd_code Code>
bool check(const uint8_t* data, std::size_t length) {
    return !zal::updater::uhb::check_response<Code>(data, length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zal::updater::uhb;
    check<cmd_code::sync>(data, size);
    if (const auto wrong = check_response<cmd_code::info>(data, size); wrong && wrong->text == nullptr)
        std::abort();  // the log says why
    check<cmd_code::boot>(data, size);
    check<cmd_code::write>(data, size);
    check<cmd_code::erase>(data, size);
    info_t info;
    if (info.read(data, size)) {
        bootloader_offset_of(info, 0x08000000);
        if (info.device_name[sizeof info.device_name - 1] != 0) std::abort();
    }
    decode_command(data, size);

    const std::string text = zal::valid_utf8(std::string_view(reinterpret_cast<const char*>(data), size));
    if (zal::valid_utf8(text) != text) std::abort();  // what it gives is UTF-8 already
    if (!zal::valid_utf8(zal::without_cut_character(text)).starts_with(zal::without_cut_character(text))) std::abort();
    return 0;
}
