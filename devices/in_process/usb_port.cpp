// SPDX-License-Identifier: MIT
#include "devices/in_process/usb_port.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

namespace zal::devices {

namespace {
using steady = std::chrono::steady_clock;
}

// The device's HID reports on their way to the host, each with the moment it
// arrives, read with a time-out as from a hidraw node.
class in_process_port_t::endpoint_t final : public hid_endpoint_t {
public:
    endpoint_t(report_receiver_t receive, uint32_t refuse_open_ms)
        : receive_(std::move(receive)), opens_at_(steady::now() + std::chrono::milliseconds(refuse_open_ms)) {}

    int write(const uint8_t* data, std::size_t length) override { return receive_(data, length); }

    int read(uint8_t* data, std::size_t length, int timeout_ms) override {
        std::unique_lock lock(mutex_);
        const auto deadline = steady::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
        for (;;) {
            if (closed_) return -1;
            const auto now = steady::now();
            if (!reports_.empty() && reports_.front().at <= now) {
                const std::vector<uint8_t> bytes = std::move(reports_.front().bytes);
                reports_.pop_front();
                const std::size_t n = std::min(length, bytes.size());
                std::memcpy(data, bytes.data(), n);
                return int(n);
            }
            if (now >= deadline) return 0;
            answered_.wait_until(lock, reports_.empty() ? deadline : std::min(deadline, reports_.front().at));
        }
    }

    bool may_open() override { return steady::now() >= opens_at_; }

    void push(std::vector<uint8_t> report, uint32_t delay_ms) {
        std::lock_guard lock(mutex_);
        reports_.push_back({steady::now() + std::chrono::milliseconds(delay_ms), std::move(report)});
        answered_.notify_all();
    }

    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        reports_.clear();
        answered_.notify_all();
    }

private:
    struct pending_t {
        steady::time_point at;
        std::vector<uint8_t> bytes;
    };
    report_receiver_t receive_;
    const steady::time_point opens_at_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<pending_t> reports_;
    bool closed_ = false;
};

void in_process_port_t::attach_midi(const std::string& name, const std::vector<std::string>& ports,
                                    midi_receiver_t receive, bool refuse_sends) {
    auto shared = std::make_shared<midi_receiver_t>(std::move(receive));
    for (std::size_t index = 0; index < ports.size(); ++index) {
        // Displayed as Linux names the jack: a jack without a string by its number.
        const std::string display =
            name + (ports[index].empty() ? " MIDI " + std::to_string(index + 1) : " " + ports[index]);
        const int32_t id = midi_.add_endpoint(
            name, ports[index], display, midi::io::service_t::is_source | midi::io::service_t::is_destination,
            [shared, index](const uint8_t* bytes, std::size_t length) { (*shared)(index, bytes, length); });
        if (refuse_sends) midi_.set_send_refused(id, true);
        midi_.set_usb_port(id, usb_port_);
        midi_ports_.push_back(id);
    }
    midi_.announce_setup_change();
}

void in_process_port_t::send_midi(std::size_t port, const std::vector<uint8_t>& bytes) {
    if (port < midi_ports_.size()) midi_.device_send(midi_ports_[port], bytes.data(), bytes.size());
}

void in_process_port_t::attach_hid(const usb_descriptor_t& identity, report_receiver_t receive,
                                   uint32_t refuse_open_ms) {
    endpoint_ = std::make_shared<endpoint_t>(std::move(receive), refuse_open_ms);
    hid_path_ = hid_.plug(identity, usb_port_, endpoint_);
}

void in_process_port_t::send_report(std::vector<uint8_t> report, uint32_t delay_ms) {
    if (endpoint_) endpoint_->push(std::move(report), delay_ms);
}

void in_process_port_t::detach() {
    if (!midi_ports_.empty()) {
        for (int32_t id : midi_ports_) midi_.remove_endpoint(id);
        midi_ports_.clear();
        midi_.announce_setup_change();
    }
    if (!hid_path_.empty()) {
        hid_.unplug(hid_path_);
        hid_path_.clear();
    }
    if (endpoint_) {
        endpoint_->close();
        endpoint_.reset();
    }
}

}  // namespace zal::devices
