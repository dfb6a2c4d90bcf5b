// SPDX-License-Identifier: MIT
// The HID interface through the kernel's usb_f_hid: the kernel describes it and
// answers the host's requests, and the reports pass through /dev/hidgN.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "devices/gadget/gadget_io.hpp"
#include "devices/gadget/hid_function.hpp"

namespace zal::devices::gadget_hid {

namespace {

using namespace std::chrono_literals;
using namespace gadget_io;

class usb_f_hid_t final : public hid_function_t {
public:
    explicit usb_f_hid_t(std::string folder) : folder_(std::move(folder)) {
        make_folder(folder_);
        write_file(folder_ + "/protocol", "0");
        write_file(folder_ + "/subclass", "0");
        write_file(folder_ + "/report_length", std::to_string(report_size));
        write_file(folder_ + "/report_desc", report_descriptor, sizeof report_descriptor);
        if (::pipe2(stop_, O_CLOEXEC) != 0) fail("pipe");
    }

    ~usb_f_hid_t() override {
        const char byte = 0;
        (void)!::write(stop_[1], &byte, 1);
        if (reader_.joinable()) reader_.join();
        if (fd_ >= 0) ::close(fd_);
        ::close(stop_[0]);
        ::close(stop_[1]);
    }

    usb_f_hid_t(const usb_f_hid_t&) = delete;
    usb_f_hid_t& operator=(const usb_f_hid_t&) = delete;

    void start(receive_t receive) override {
        // Our function's node: /dev/hidgN, N its minor number.
        std::string hidg;
        if (std::ifstream dev(folder_ + "/dev"); dev) {
            std::string numbers;
            dev >> numbers;
            hidg = "/dev/hidg" + numbers.substr(numbers.find(':') + 1);
        }
        fd_ = open_within([&] { return ::open(hidg.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); }, 2000ms);
        if (fd_ < 0) fail(hidg.empty() ? folder_ + "/dev" : hidg);
        reader_ = named_thread("gadget hid", [this, receive = std::move(receive)] {
            for (;;) {
                bool readable = false;
                if (!wait_readable(fd_, stop_[0], -1, readable)) return;
                if (!readable) continue;
                uint8_t report[report_size];
                const ssize_t n = ::read(fd_, report, sizeof report);
                if (n < 0 && errno != EAGAIN && errno != EINTR) return;
                if (n > 0) receive(report, std::size_t(n));
            }
        });
    }

    void send(const std::vector<uint8_t>& report) override {
        // The previous report may still wait for the host's next poll.
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (::write(fd_, report.data(), report.size()) == ssize_t(report.size()) || errno != EAGAIN) return;
            pollfd out = {fd_, POLLOUT, 0};
            ::poll(&out, 1, 1000);
        }
    }

private:
    std::string folder_;
    int fd_ = -1;
    int stop_[2] = {-1, -1};
    std::thread reader_;
};

}  // namespace

std::unique_ptr<hid_function_t> make_usb_f_hid(const std::string& folder) {
    return std::make_unique<usb_f_hid_t>(folder);
}

}  // namespace zal::devices::gadget_hid
