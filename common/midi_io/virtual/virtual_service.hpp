// SPDX-License-Identifier: MIT
#pragma once

// An in-process MIDI service for tests, the demo and the simulated devices.
// Endpoints are added by the devices' side; bytes travel in both directions
// over one "wire" thread, which is also the host's receive thread.

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "common/midi_io/service.hpp"

namespace zal::midi::io {

class virtual_service_t final : public service_t {
public:
    using device_receive_t = std::function<void(const uint8_t* bytes, std::size_t length)>;

    virtual_service_t();
    ~virtual_service_t() override;

    // --- the devices' side; any thread ---------------------------------------
    // A port with the given directions (is_source, is_destination); bytes the
    // host sends to it reach `on_receive` on the wire thread.
    int32_t add_endpoint(const std::string& model, const std::string& name, const std::string& display_name,
                         int directions, device_receive_t on_receive = {});
    void remove_endpoint(int32_t id);
    // Where the endpoint's device is plugged in; none by default.
    void set_usb_port(int32_t id, const std::string& usb_port);
    void set_offline(int32_t id, bool offline);
    // Fault injection: sends to this endpoint fail.
    void set_send_refused(int32_t id, bool refused);
    // Bytes from the device to the host, delivered in order on the wire thread.
    void device_send(int32_t id, const uint8_t* bytes, std::size_t length);
    // Tells the host, on its main thread, that the setup changed.
    void announce_setup_change();
    // Returns once everything queued on the wire so far was delivered.
    void flush();

    // --- service_t -----------------------------------------------------------
    result_t<void> create_client(const std::string& name, std::function<void()> on_setup_changed) override;
    void dispose_client() override;
    result_t<void> create_input_port(const std::string& name, receiver_t receiver) override;
    void dispose_input_port() override;
    result_t<void> create_output_port(const std::string& name) override;
    void dispose_output_port() override;
    std::size_t source_count() override;
    std::size_t destination_count() override;
    std::optional<int32_t> source(std::size_t index) override;
    std::optional<int32_t> destination(std::size_t index) override;
    result_t<int> find(int32_t unique_id) override;
    result_t<bool> offline(int32_t unique_id) override;
    result_t<std::string> string_property(int32_t unique_id, property_t property) override;
    result_t<void> connect_source(int32_t unique_id, uint64_t reference) override;
    result_t<void> disconnect_source(int32_t unique_id) override;
    result_t<void> send(int32_t unique_id, const uint8_t* bytes, std::size_t length) override;

private:
    struct endpoint_t {
        std::string model, name, display_name;
        std::string usb_port;
        int directions = 0;
        bool offline = false;
        bool send_refused = false;
        device_receive_t on_receive;
        std::optional<uint64_t> connection;  // the host's reference value while connected
    };

    void post(std::function<void()> item);
    void run_wire();
    std::optional<int32_t> nth(std::size_t index, int direction);
    std::size_t count(int direction);

    std::mutex mutex_;
    std::map<int32_t, endpoint_t> endpoints_;  // ids ascend in the order of creation
    int32_t next_id_ = 0x10000;
    bool client_ = false, input_port_ = false, output_port_ = false;
    std::function<void()> on_setup_changed_;
    receiver_t receiver_;

    std::mutex wire_mutex_;
    std::condition_variable wire_changed_;
    std::deque<std::function<void()>> wire_;
    uint64_t posted_ = 0, delivered_ = 0;
    bool stopping_ = false;
    std::thread wire_thread_;
};

}  // namespace zal::midi::io
