// SPDX-License-Identifier: MIT
#include "common/midi_io/midi_io.hpp"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "common/async/async.hpp"
#include "common/midi_io/receive_parser.hpp"
#include "common/text/printable.hpp"
#include "common/midi_io/service.hpp"

namespace zal::midi::io {

namespace {

constexpr const char* source_path = "common/midi_io/midi_io";

struct in_handler_t {
    in_handler_t(in_t id, on_message_t on_message, on_sysex_t on_sysex, on_disconnect_t disconnect)
        : parser(std::move(on_message), std::move(on_sysex)), in(id), on_disconnect(std::move(disconnect)) {}

    // Only the receive thread touches the parser, under `parsing`.
    std::mutex parsing;
    receive_parser_t parser;
    in_t in;
    on_disconnect_t on_disconnect;
};

// The handler table: the main thread changes it, the receive thread looks
// handlers up. A handler being dropped lives on in the receive thread's copy of
// its pointer until that thread is done with it.
struct state_t {
    service_t* service = nullptr;
    bool client = false;
    // Main thread only.
    std::vector<std::weak_ptr<const std::function<void()>>> setup_hooks;
    std::mutex table_mutex;
    std::unordered_map<uint32_t, std::shared_ptr<in_handler_t>> in_map;
};

state_t& state() {
    static state_t* s = new state_t;  // the receive thread may outlive static destruction
    return *s;
}

// The layer's own diagnostic line, naming where it failed: on stderr, which
// the programs keep as their log, or carried in a failure to the caller.
failure_t located(int line, const failure_t& failure) {
    return {failure.code, std::string(source_path) + ":" + std::to_string(line) + ": Error: " + failure.text + "."};
}

#define LOG_ERROR(failure) write_line(stderr, located(__LINE__, (failure)).text)
#define LOCATED(failure) located(__LINE__, (failure))

int32_t unique_id_of(uint64_t id) { return int32_t(uint32_t(id)); }
uint32_t key_of(in_t in) { return uint32_t(uint64_t(in)); }

bool valid(uint64_t id) { return id != ~uint64_t(0) && uint64_t(int64_t(int32_t(uint32_t(id)))) == id; }

// Looks an identifier up: a failure when no endpoint serves that direction.
result_t<void> find_endpoint(uint64_t id, int wanted_direction) {
    state_t& s = state();
    if (!s.client) return failure_t{ENODEV, "No MIDI client"};
    if (!valid(id)) return failure_t{EINVAL, "No such endpoint"};
    const result_t<int> directions = s.service->find(unique_id_of(id));
    if (!directions) return directions.failure();
    if ((*directions & wanted_direction) == 0) return failure_t{EINVAL, "The endpoint does not serve that direction"};
    return {};
}

std::string string_property(int32_t id, service_t::property_t property) {
    result_t<std::string> value = state().service->string_property(id, property);
    if (!value) {
        LOG_ERROR(value.failure());
        return {};
    }
    return value->size() > 127 ? std::string() : std::move(*value);  // what a 128-byte conversion buffer holds
}

std::string property_as(uint64_t id, int direction, service_t::property_t property) {
    if (const result_t<void> found = find_endpoint(id, direction); !found) {
        if (found.failure().code != EINVAL && found.failure().code != ENODEV) LOG_ERROR(found.failure());
        return {};
    }
    return string_property(unique_id_of(id), property);
}

std::shared_ptr<in_handler_t> handler_for(uint32_t key) {
    state_t& s = state();
    std::lock_guard lock(s.table_mutex);
    const auto it = s.in_map.find(key);
    return it == s.in_map.end() ? nullptr : it->second;
}

// Receive thread.
void on_bytes(uint64_t reference, const uint8_t* bytes, std::size_t length) {
    const std::shared_ptr<in_handler_t> handler = handler_for(uint32_t(reference));
    if (!handler) return;
    std::lock_guard lock(handler->parsing);
    handler->parser.feed(bytes, length);
}

// Receive thread.
void on_overrun() {
    std::vector<std::shared_ptr<in_handler_t>> handlers;
    {
        state_t& s = state();
        std::lock_guard lock(s.table_mutex);
        for (const auto& [key, handler] : s.in_map) handlers.push_back(handler);
    }
    for (const auto& handler : handlers) {
        std::lock_guard lock(handler->parsing);
        handler->parser.overrun();
    }
}

// Main thread: drops the handlers of inputs that vanished or went offline.
void on_setup_changed() {
    state_t& s = state();
    if (!s.client) return;
    std::vector<std::shared_ptr<in_handler_t>> handlers;
    {
        std::lock_guard lock(s.table_mutex);
        for (const auto& [key, handler] : s.in_map) handlers.push_back(handler);
    }
    std::vector<uint32_t> gone;
    for (const auto& handler : handlers) {
        const int32_t id = unique_id_of(uint64_t(handler->in));
        const result_t<int> directions = s.service->find(id);
        bool vanished = !directions || !(*directions & service_t::is_source);
        if (!vanished) {
            const result_t<bool> offline = s.service->offline(id);
            if (!offline) {
                LOG_ERROR(offline.failure());
                continue;
            }
            if (*offline) {
                if (const result_t<void> disconnected = s.service->disconnect_source(id); !disconnected)
                    LOG_ERROR(disconnected.failure());
                vanished = true;
            }
        }
        if (!vanished) continue;
        if (handler->on_disconnect) handler->on_disconnect();
        gone.push_back(key_of(handler->in));
    }
    {
        std::lock_guard lock(s.table_mutex);
        for (uint32_t key : gone) s.in_map.erase(key);
    }
    async_main([] {
        // A copy: a hook may subscribe or unsubscribe.
        std::vector<std::weak_ptr<const std::function<void()>>>& hooks = state().setup_hooks;
        std::erase_if(hooks, [](const auto& hook) { return hook.expired(); });
        for (const auto& hook : std::vector(hooks))
            if (const auto live = hook.lock()) (*live)();
    });
}

std::vector<uint8_t> message_bytes(const message_t& m) {
    if (m.data1 == 0x80) return {m.status};
    if (m.data2 == 0x80) return {m.status, m.data1};
    return {m.status, m.data1, m.data2};
}

result_t<void> send_bytes(out_t out, const uint8_t* bytes, std::size_t length) {
    if (const result_t<void> found = find_endpoint(uint64_t(out), service_t::is_destination); !found)
        return LOCATED(found.failure());
    if (const result_t<void> sent = state().service->send(unique_id_of(uint64_t(out)), bytes, length); !sent)
        return LOCATED(sent.failure());
    return {};
}

}  // namespace

void set_service(service_t* service) { state().service = service; }

result_t<void> init(const char* name) {
    state_t& s = state();
    if (s.client) return {};
    {
        std::lock_guard lock(s.table_mutex);
        s.in_map.clear();
    }
    if (s.service == nullptr) return failure_t{ENODEV, "No MIDI service"};
    if (const result_t<void> made = s.service->create_client(name, on_setup_changed); !made) return made.failure();
    if (const result_t<void> made = s.service->create_input_port(std::string(name) + " Input", {on_bytes, on_overrun});
        !made) {
        s.service->dispose_client();
        return made.failure();
    }
    if (const result_t<void> made = s.service->create_output_port(std::string(name) + " Output"); !made) {
        s.service->dispose_input_port();
        s.service->dispose_client();
        return made.failure();
    }
    s.client = true;
    return {};
}

setup_subscription_t subscribe_to_setup_changes(std::function<void()> hook) {
    auto owned = std::make_shared<const std::function<void()>>(std::move(hook));
    state().setup_hooks.push_back(owned);
    return owned;
}

void deinit() {
    state_t& s = state();
    if (!s.client) return;
    {
        std::lock_guard lock(s.table_mutex);
        s.in_map.clear();
    }
    s.service->dispose_output_port();
    s.service->dispose_input_port();
    s.service->dispose_client();
    s.client = false;
}

std::size_t in_size() { return state().client ? state().service->source_count() : 0; }
std::size_t out_size() { return state().client ? state().service->destination_count() : 0; }

in_t in_get(std::size_t index) {
    if (index >= in_size()) return no_in;
    const std::optional<int32_t> id = state().service->source(index);
    return id ? make_in(*id) : no_in;  // gone since it was counted
}

out_t out_get(std::size_t index) {
    if (index >= out_size()) return no_out;
    const std::optional<int32_t> id = state().service->destination(index);
    return id ? make_out(*id) : no_out;
}

std::string get_name(in_t in) {
    return property_as(uint64_t(in), service_t::is_source, service_t::property_t::display_name);
}
std::string get_usb_port(in_t in) {
    return property_as(uint64_t(in), service_t::is_source, service_t::property_t::usb_port);
}
std::string get_usb_port(out_t out) {
    return property_as(uint64_t(out), service_t::is_destination, service_t::property_t::usb_port);
}
std::string get_model(in_t in) { return property_as(uint64_t(in), service_t::is_source, service_t::property_t::model); }
std::string get_model(out_t out) {
    return property_as(uint64_t(out), service_t::is_destination, service_t::property_t::model);
}
std::string get_port_name(in_t in) {
    return property_as(uint64_t(in), service_t::is_source, service_t::property_t::name);
}
std::string get_port_name(out_t out) {
    return property_as(uint64_t(out), service_t::is_destination, service_t::property_t::name);
}

result_t<void> attach(in_t in, on_message_t on_message, on_sysex_t on_sysex, on_disconnect_t on_disconnect) {
    state_t& s = state();
    if (handler_for(key_of(in))) return {};
    if (const result_t<void> found = find_endpoint(uint64_t(in), service_t::is_source); !found)
        return LOCATED(found.failure());
    auto handler =
        std::make_shared<in_handler_t>(in, std::move(on_message), std::move(on_sysex), std::move(on_disconnect));
    // In the table before the connection, so that the first bytes find it.
    {
        std::lock_guard lock(s.table_mutex);
        s.in_map[key_of(in)] = handler;
    }
    if (const result_t<void> connected = s.service->connect_source(unique_id_of(uint64_t(in)), key_of(in));
        !connected) {
        std::lock_guard lock(s.table_mutex);
        s.in_map.erase(key_of(in));
        return LOCATED(connected.failure());
    }
    return {};
}

result_t<void> detach(in_t in) {
    state_t& s = state();
    if (!handler_for(key_of(in))) return {};
    if (const result_t<void> found = find_endpoint(uint64_t(in), service_t::is_source); !found)
        return LOCATED(found.failure());
    if (const result_t<void> disconnected = s.service->disconnect_source(unique_id_of(uint64_t(in))); !disconnected)
        return LOCATED(disconnected.failure());
    std::lock_guard lock(s.table_mutex);
    s.in_map.erase(key_of(in));
    return {};
}

std::size_t attached_inputs() {
    state_t& s = state();
    std::lock_guard lock(s.table_mutex);
    return s.in_map.size();
}

result_t<void> send(out_t out, message_t message) {
    const std::vector<uint8_t> bytes = message_bytes(message);
    return send_bytes(out, bytes.data(), bytes.size());
}

result_t<void> send(out_t out, const message_t* messages, std::size_t count) {
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::vector<uint8_t> one = message_bytes(messages[i]);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    return send_bytes(out, bytes.data(), bytes.size());
}

result_t<void> send(out_t out, const uint8_t* bytes, std::size_t length) { return send_bytes(out, bytes, length); }

}  // namespace zal::midi::io
