// SPDX-License-Identifier: MIT
// The system's hidapi behind the HID layer.
#include <hidapi/hidapi.h>

#include <cerrno>
#include <mutex>

#include "common/hid_io/hid_io.hpp"
#include "common/hid_io/hidapi/hidraw_devices.hpp"
#include "common/text/utf8.hpp"

namespace zal::hid_io {

namespace {

std::string utf8_of(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        // A device's strings are its own: what is no Unicode scalar value
        // becomes U+FFFD rather than bytes that are no UTF-8.
        const long w = *text;  // NOLINT(bugprone-signed-char-misuse): a code point, checked below
        append_utf8(out, w < 0 || w > 0x10FFFF ? char32_t(0xFFFD) : char32_t(w));
    }
    return out;
}

class hidapi_device_t final : public handle_t {
public:
    explicit hidapi_device_t(hid_device* device) : device_(device) {}
    ~hidapi_device_t() override { hid_close(device_); }
    result_t<std::size_t> write(const uint8_t* data, std::size_t length) override {
        errno = 0;
        return counted(hid_write(device_, data, length));
    }
    result_t<std::size_t> read(uint8_t* data, std::size_t length, int timeout_ms) override {
        errno = 0;
        return counted(hid_read_timeout(device_, data, length, timeout_ms));
    }

private:
    // hidapi answers -1 and keeps its words for the device; errno is hidraw's.
    result_t<std::size_t> counted(int count) const {
        if (count >= 0) return std::size_t(count);
        const int code = errno != 0 ? errno : EIO;
        std::string text = utf8_of(hid_error(device_));
        // hidapi says "Success" when the last call set no error: that is no cause.
        return failure_t{code, text == "Success" ? std::string() : std::move(text)};
    }

    hid_device* device_;
};

// The backend is called from the main thread and from programming workers, and
// hidapi keeps one error text for the whole process, which hid_init, hid_exit
// and hid_open_path free and replace: those calls take turns.
std::mutex global_error_mutex;

class hidapi_backend_t final : public backend_t {
public:
    result_t<void> init() override {
        std::lock_guard lock(global_error_mutex);
        errno = 0;
        if (hid_init() == 0) return {};
        return failure_t{errno != 0 ? errno : ENODEV, utf8_of(hid_error(nullptr))};
    }
    void exit() override {
        std::lock_guard lock(global_error_mutex);
        hid_exit();
    }

    // Not hid_enumerate: see hidraw_devices.hpp.
    std::vector<device_info_t> enumerate() override { return hidraw_devices(); }

    result_t<std::unique_ptr<handle_t>> open(const std::string& path) override {
        std::lock_guard lock(global_error_mutex);
        errno = 0;
        hid_device* device = hid_open_path(path.c_str());
        const int open_errno = errno;  // hidapi keeps the reason in its error text only
        if (device == nullptr) return failure_t{open_errno != 0 ? open_errno : EIO, utf8_of(hid_error(nullptr))};
        return std::unique_ptr<handle_t>(std::make_unique<hidapi_device_t>(device));
    }
};

}  // namespace

backend_t& hidapi_backend() {
    static hidapi_backend_t* backend = new hidapi_backend_t;
    return *backend;
}

const char* hidapi_version() { return hid_version_str(); }

}  // namespace zal::hid_io
