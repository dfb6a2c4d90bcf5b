// SPDX-License-Identifier: MIT
#include "common/midi_io/virtual/virtual_service.hpp"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/async/async.hpp"
#include "common/async/thread.hpp"

namespace zal::midi::io {

namespace {

failure_t failed(int code) { return {code, std::strerror(code)}; }

}  // namespace

virtual_service_t::virtual_service_t() : wire_thread_(named_thread("virtual midi", [this] { run_wire(); })) {}

virtual_service_t::~virtual_service_t() {
    {
        std::lock_guard lock(wire_mutex_);
        stopping_ = true;
    }
    wire_changed_.notify_all();
    wire_thread_.join();
}

void virtual_service_t::post(std::function<void()> item) {
    {
        std::lock_guard lock(wire_mutex_);
        wire_.push_back(std::move(item));
        ++posted_;
    }
    wire_changed_.notify_all();
}

void virtual_service_t::run_wire() {
    std::unique_lock lock(wire_mutex_);
    for (;;) {
        wire_changed_.wait(lock, [this] { return stopping_ || !wire_.empty(); });
        if (wire_.empty()) return;  // stopping, and everything delivered
        std::function<void()> item = std::move(wire_.front());
        wire_.pop_front();
        lock.unlock();
        item();
        lock.lock();
        ++delivered_;
        wire_changed_.notify_all();
    }
}

void virtual_service_t::flush() {
    std::unique_lock lock(wire_mutex_);
    const uint64_t target = posted_;
    wire_changed_.wait(lock, [&] { return delivered_ >= target; });
}

int32_t virtual_service_t::add_endpoint(const std::string& model, const std::string& name,
                                        const std::string& display_name, int directions, device_receive_t on_receive) {
    std::lock_guard lock(mutex_);
    const int32_t id = next_id_++;
    endpoints_[id] = {model, name, display_name, {}, directions, false, false, std::move(on_receive), std::nullopt};
    return id;
}

void virtual_service_t::remove_endpoint(int32_t id) {
    std::lock_guard lock(mutex_);
    endpoints_.erase(id);
}

void virtual_service_t::set_usb_port(int32_t id, const std::string& usb_port) {
    std::lock_guard lock(mutex_);
    if (const auto it = endpoints_.find(id); it != endpoints_.end()) it->second.usb_port = usb_port;
}

void virtual_service_t::set_offline(int32_t id, bool offline) {
    std::lock_guard lock(mutex_);
    if (auto it = endpoints_.find(id); it != endpoints_.end()) it->second.offline = offline;
}

void virtual_service_t::set_send_refused(int32_t id, bool refused) {
    std::lock_guard lock(mutex_);
    if (auto it = endpoints_.find(id); it != endpoints_.end()) it->second.send_refused = refused;
}

void virtual_service_t::device_send(int32_t id, const uint8_t* bytes, std::size_t length) {
    std::vector<uint8_t> copy(bytes, bytes + length);
    post([this, id, copy = std::move(copy)] {
        std::optional<uint64_t> reference;
        std::function<void(uint64_t, const uint8_t*, std::size_t)> on_bytes;
        {
            std::lock_guard lock(mutex_);
            const auto it = endpoints_.find(id);
            if (it == endpoints_.end() || !input_port_) return;
            reference = it->second.connection;
            on_bytes = receiver_.on_bytes;
        }
        if (reference && on_bytes) on_bytes(*reference, copy.data(), copy.size());
    });
}

void virtual_service_t::announce_setup_change() {
    async_main([this] {
        std::function<void()> notify;
        {
            std::lock_guard lock(mutex_);
            if (client_) notify = on_setup_changed_;
        }
        if (notify) notify();
    });
}

result_t<void> virtual_service_t::create_client(const std::string&, std::function<void()> on_setup_changed) {
    std::lock_guard lock(mutex_);
    client_ = true;
    on_setup_changed_ = std::move(on_setup_changed);
    return {};
}

void virtual_service_t::dispose_client() {
    std::lock_guard lock(mutex_);
    client_ = false;
    on_setup_changed_ = nullptr;
}

result_t<void> virtual_service_t::create_input_port(const std::string&, receiver_t receiver) {
    std::lock_guard lock(mutex_);
    if (!client_) return failed(EINVAL);
    input_port_ = true;
    receiver_ = std::move(receiver);
    return {};
}

void virtual_service_t::dispose_input_port() {
    std::lock_guard lock(mutex_);
    input_port_ = false;
    receiver_ = {};
    for (auto& [id, endpoint] : endpoints_) endpoint.connection.reset();
}

result_t<void> virtual_service_t::create_output_port(const std::string&) {
    std::lock_guard lock(mutex_);
    if (!client_) return failed(EINVAL);
    output_port_ = true;
    return {};
}

void virtual_service_t::dispose_output_port() {
    std::lock_guard lock(mutex_);
    output_port_ = false;
}

std::optional<int32_t> virtual_service_t::nth(std::size_t index, int direction) {
    std::lock_guard lock(mutex_);
    for (const auto& [id, endpoint] : endpoints_)
        if ((endpoint.directions & direction) && index-- == 0) return id;
    return std::nullopt;
}

std::size_t virtual_service_t::count(int direction) {
    std::lock_guard lock(mutex_);
    return std::size_t(std::count_if(endpoints_.begin(), endpoints_.end(),
                                     [direction](const auto& e) { return (e.second.directions & direction) != 0; }));
}

std::size_t virtual_service_t::source_count() { return count(is_source); }
std::size_t virtual_service_t::destination_count() { return count(is_destination); }

std::optional<int32_t> virtual_service_t::source(std::size_t index) { return nth(index, is_source); }
std::optional<int32_t> virtual_service_t::destination(std::size_t index) { return nth(index, is_destination); }

result_t<int> virtual_service_t::find(int32_t unique_id) {
    std::lock_guard lock(mutex_);
    const auto it = endpoints_.find(unique_id);
    if (it == endpoints_.end()) return failed(ENOENT);
    return it->second.directions;
}

result_t<bool> virtual_service_t::offline(int32_t unique_id) {
    std::lock_guard lock(mutex_);
    const auto it = endpoints_.find(unique_id);
    if (it == endpoints_.end()) return failed(ENOENT);
    return it->second.offline;
}

result_t<std::string> virtual_service_t::string_property(int32_t unique_id, property_t property) {
    std::lock_guard lock(mutex_);
    const auto it = endpoints_.find(unique_id);
    if (it == endpoints_.end()) return failed(ENOENT);
    const endpoint_t& e = it->second;
    return property == property_t::model          ? e.model
           : property == property_t::name         ? e.name
           : property == property_t::display_name ? e.display_name
                                                  : e.usb_port;
}

result_t<void> virtual_service_t::connect_source(int32_t unique_id, uint64_t reference) {
    std::lock_guard lock(mutex_);
    const auto it = endpoints_.find(unique_id);
    if (it == endpoints_.end() || !(it->second.directions & is_source)) return failed(ENOENT);
    if (!input_port_) return failed(EINVAL);
    it->second.connection = reference;
    return {};
}

result_t<void> virtual_service_t::disconnect_source(int32_t unique_id) {
    std::lock_guard lock(mutex_);
    const auto it = endpoints_.find(unique_id);
    if (it == endpoints_.end()) return failed(ENOENT);
    it->second.connection.reset();
    return {};
}

result_t<void> virtual_service_t::send(int32_t unique_id, const uint8_t* bytes, std::size_t length) {
    device_receive_t on_receive;
    {
        std::lock_guard lock(mutex_);
        const auto it = endpoints_.find(unique_id);
        if (it == endpoints_.end() || !(it->second.directions & is_destination)) return failed(ENOENT);
        if (!output_port_) return failed(EINVAL);
        if (it->second.send_refused) return failed(EIO);
        on_receive = it->second.on_receive;
    }
    if (on_receive) {
        std::vector<uint8_t> copy(bytes, bytes + length);
        post([on_receive = std::move(on_receive), copy = std::move(copy)] { on_receive(copy.data(), copy.size()); });
    }
    return {};
}

}  // namespace zal::midi::io
