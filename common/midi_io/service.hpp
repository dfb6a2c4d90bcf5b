// SPDX-License-Identifier: MIT
#pragma once

// The seam between the MIDI port layer and a MIDI service: the few platform
// operations the layer needs. A failure carries an errno value and the
// service's own words, which the layer's error line shows.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/failure.hpp"

namespace zal::midi::io {

class service_t {
public:
    // Bytes from a connected source, with the reference value given to
    // `connect_source`; called on the service's receive thread. An overrun
    // (bytes lost by the service) arrives as `on_overrun`.
    struct receiver_t {
        std::function<void(uint64_t reference, const uint8_t* bytes, std::size_t length)> on_bytes;
        std::function<void()> on_overrun;
    };

    // usb_port: where the endpoint's device is plugged in ("1-1.4"), empty when
    // the service cannot tell or the device is no USB device.
    enum class property_t { model, name, display_name, usb_port };

    static constexpr int is_source = 1;
    static constexpr int is_destination = 2;

    virtual ~service_t() = default;

    // The client, with `on_setup_changed` called on the main thread after the
    // set of endpoints or their state changed.
    virtual result_t<void> create_client(const std::string& name, std::function<void()> on_setup_changed) = 0;
    virtual void dispose_client() = 0;
    virtual result_t<void> create_input_port(const std::string& name, receiver_t receiver) = 0;
    virtual void dispose_input_port() = 0;
    virtual result_t<void> create_output_port(const std::string& name) = 0;
    virtual void dispose_output_port() = 0;

    // The service's lists as they stand now: an endpoint's unique id, or
    // nothing when no endpoint is at that index.
    virtual std::size_t source_count() = 0;
    virtual std::size_t destination_count() = 0;
    virtual std::optional<int32_t> source(std::size_t index) = 0;
    virtual std::optional<int32_t> destination(std::size_t index) = 0;

    // Which directions the endpoint with this id serves (is_source,
    // is_destination); ENOENT when no endpoint has it.
    virtual result_t<int> find(int32_t unique_id) = 0;
    // Whether the endpoint is offline.
    virtual result_t<bool> offline(int32_t unique_id) = 0;
    virtual result_t<std::string> string_property(int32_t unique_id, property_t property) = 0;

    virtual result_t<void> connect_source(int32_t unique_id, uint64_t reference) = 0;
    virtual result_t<void> disconnect_source(int32_t unique_id) = 0;
    // Sends the bytes at once, as one packet.
    virtual result_t<void> send(int32_t unique_id, const uint8_t* bytes, std::size_t length) = 0;
};

}  // namespace zal::midi::io
