// SPDX-License-Identifier: MIT
#include "common/usb/usb_port_path.hpp"
#include "common/midi_io/alsa/alsa_service.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "common/async/async.hpp"
#include "common/async/thread.hpp"
#include "common/midi_io/alsa/alsa_mapping.hpp"

namespace zal::midi::io {

namespace {

using namespace alsa;

// alsa-lib prints its own errors to standard error; ours say enough.
void silent(const char*, int, const char*, int, const char*, ...) {}

// An alsa-lib status (a negative errno value) as a failure.
failure_t failed(int status) { return {-status, snd_strerror(status)}; }

class alsa_service_t final : public service_t {
public:
    ~alsa_service_t() override { dispose_client(); }

    result_t<void> create_client(const std::string& name, std::function<void()> on_setup_changed) override {
        snd_lib_error_set_handler(silent);
        if (int status = snd_seq_open(&receiver_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK); status < 0)
            return failed(status);
        if (int status = snd_seq_open(&sender_, "default", SND_SEQ_OPEN_DUPLEX, 0); status < 0) {
            snd_seq_close(receiver_);
            receiver_ = nullptr;
            return failed(status);
        }
        snd_seq_set_client_name(receiver_, name.c_str());
        snd_seq_set_client_name(sender_, name.c_str());
        receiver_client_ = snd_seq_client_id(receiver_);
        sender_client_ = snd_seq_client_id(sender_);
        on_setup_changed_ = std::move(on_setup_changed);
        return {};
    }

    void dispose_client() override {
        dispose_input_port();
        dispose_output_port();
        if (receiver_) snd_seq_close(receiver_);
        if (sender_) snd_seq_close(sender_);
        receiver_ = sender_ = nullptr;
        on_setup_changed_ = nullptr;
    }

    result_t<void> create_input_port(const std::string& name, receiver_t receiver) override {
        if (!receiver_) return failed(-EINVAL);
        const int port =
            snd_seq_create_simple_port(receiver_, name.c_str(), SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        if (port < 0) return failed(port);
        if (int status = snd_seq_connect_from(receiver_, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
            status < 0) {
            snd_seq_delete_simple_port(receiver_, port);
            return failed(status);
        }
        wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake_fd_ < 0) {
            const int status = -errno;
            snd_seq_delete_simple_port(receiver_, port);
            return failed(status);
        }
        in_port_ = port;
        receiver_callbacks_ = std::move(receiver);
        {
            // From here on announcements keep the lists, walked once at the first look.
            std::lock_guard lock(sender_mutex_);
            listening_ = true;
            ports_kept_ = false;
        }
        stopping_ = false;
        thread_ = named_thread("alsa receive", [this] { receive(); });
        return {};
    }

    void dispose_input_port() override {
        if (in_port_ < 0) return;
        stopping_ = true;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(wake_fd_, &one, sizeof one);
        thread_.join();
        ::close(wake_fd_);
        wake_fd_ = -1;
        snd_seq_delete_simple_port(receiver_, in_port_);
        in_port_ = -1;
        {
            std::lock_guard lock(sender_mutex_);
            listening_ = ports_kept_ = false;
            ports_ = {};
        }
        std::lock_guard lock(connections_mutex_);
        connections_.clear();
    }

    result_t<void> create_output_port(const std::string& name) override {
        if (!sender_) return failed(-EINVAL);
        std::lock_guard lock(sender_mutex_);
        const int port =
            snd_seq_create_simple_port(sender_, name.c_str(), SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        if (port < 0) return failed(port);
        if (int status = snd_midi_event_new(256, &encoder_); status < 0) {
            snd_seq_delete_simple_port(sender_, port);
            return failed(status);
        }
        out_port_ = port;
        return {};
    }

    void dispose_output_port() override {
        std::lock_guard lock(sender_mutex_);
        if (out_port_ < 0) return;
        snd_seq_delete_simple_port(sender_, out_port_);
        snd_midi_event_free(encoder_);
        encoder_ = nullptr;
        out_port_ = -1;
        subscribed_.clear();
    }

    std::size_t source_count() override {
        std::lock_guard lock(sender_mutex_);
        return ports().sources.size();
    }
    std::size_t destination_count() override {
        std::lock_guard lock(sender_mutex_);
        return ports().destinations.size();
    }

    std::optional<int32_t> source(std::size_t index) override {
        std::lock_guard lock(sender_mutex_);
        return nth(ports().sources, index);
    }
    std::optional<int32_t> destination(std::size_t index) override {
        std::lock_guard lock(sender_mutex_);
        return nth(ports().destinations, index);
    }

    result_t<int> find(int32_t unique_id) override {
        std::lock_guard lock(sender_mutex_);
        snd_seq_port_info_t* port;
        snd_seq_port_info_alloca(&port);
        if (!sender_ || !hardware(client_of(unique_id)) ||
            snd_seq_get_any_port_info(sender_, client_of(unique_id), port_of(unique_id), port) < 0)
            return failed(-ENOENT);
        const int directions = directions_of(snd_seq_port_info_get_capability(port));
        if (directions == 0) return failed(-ENOENT);
        return directions;
    }

    result_t<bool> offline(int32_t unique_id) override {
        const result_t<int> found = find(unique_id);
        if (!found && found.failure().code != ENOENT) return found.failure();
        return !found;  // a port that no longer exists is gone
    }

    result_t<std::string> string_property(int32_t unique_id, property_t property) override {
        std::lock_guard lock(sender_mutex_);
        snd_seq_client_info_t* client;
        snd_seq_port_info_t* port;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&port);
        if (!sender_) return failed(-EINVAL);
        if (int status = snd_seq_get_any_client_info(sender_, client_of(unique_id), client); status < 0)
            return failed(status);
        if (int status = snd_seq_get_any_port_info(sender_, client_of(unique_id), port_of(unique_id), port); status < 0)
            return failed(status);
        if (property == property_t::usb_port) return usb::port_path_of_sound_card(snd_seq_client_info_get_card(client));
        const port_names_t names = port_names(snd_seq_client_info_get_name(client), snd_seq_port_info_get_name(port));
        return property == property_t::model  ? names.model
               : property == property_t::name ? names.name
                                              : names.display_name;
    }

    result_t<void> connect_source(int32_t unique_id, uint64_t reference) override {
        if (in_port_ < 0) return failed(-EINVAL);
        {
            std::lock_guard lock(connections_mutex_);
            connections_[unique_id] = reference;
        }
        const int status = subscribe_input(unique_id, true);
        if (status < 0 && status != -EBUSY) {
            std::lock_guard lock(connections_mutex_);
            connections_.erase(unique_id);
            return failed(status);
        }
        return {};
    }

    result_t<void> disconnect_source(int32_t unique_id) override {
        if (in_port_ < 0) return failed(-EINVAL);
        {
            std::lock_guard lock(connections_mutex_);
            connections_.erase(unique_id);
        }
        const int status = subscribe_input(unique_id, false);
        if (status < 0 && status != -ENOENT) return failed(status);
        return {};
    }

    result_t<void> send(int32_t unique_id, const uint8_t* bytes, std::size_t length) override {
        std::lock_guard lock(sender_mutex_);
        if (out_port_ < 0) return failed(-EINVAL);
        const int client = client_of(unique_id), port = port_of(unique_id);
        const int status = send_subscribed(
            unique_id, subscribed_, [&] { return snd_seq_connect_to(sender_, out_port_, client, port); },
            [&] { return send_events(client, port, bytes, length); });
        if (status < 0) return failed(status);
        return {};
    }

    // Under sender_mutex_.
    int send_events(int client, int port, const uint8_t* bytes, std::size_t length) {
        auto output = [&](snd_seq_event_t& event) {
            snd_seq_ev_set_source(&event, out_port_);
            snd_seq_ev_set_dest(&event, client, port);
            snd_seq_ev_set_direct(&event);
            const int status = snd_seq_event_output_direct(sender_, &event);
            return status < 0 ? status : 0;
        };
        if (length > 0 && bytes[0] == 0xF0) {
            snd_seq_event_t event;
            snd_seq_ev_clear(&event);
            snd_seq_ev_set_sysex(&event, unsigned(length), const_cast<uint8_t*>(bytes));
            return output(event);
        }
        snd_midi_event_reset_encode(encoder_);
        for (std::size_t i = 0; i < length; ++i) {
            snd_seq_event_t event;
            snd_seq_ev_clear(&event);
            const int done = snd_midi_event_encode_byte(encoder_, bytes[i], &event);
            if (done < 0) return done;
            if (done == 1 && event.type != SND_SEQ_EVENT_NONE)
                if (int status = output(event); status != 0) return status;
        }
        return 0;
    }

private:
    // Connects a source to our input port, or disconnects it, through the
    // guarded handle: the receive thread is reading the other one meanwhile.
    int subscribe_input(int32_t unique_id, bool connect) {
        std::lock_guard lock(sender_mutex_);
        snd_seq_port_subscribe_t* subscription;
        snd_seq_port_subscribe_alloca(&subscription);
        snd_seq_addr_t sender{uint8_t(client_of(unique_id)), uint8_t(port_of(unique_id))};
        snd_seq_addr_t dest{uint8_t(receiver_client_), uint8_t(in_port_)};
        snd_seq_port_subscribe_set_sender(subscription, &sender);
        snd_seq_port_subscribe_set_dest(subscription, &dest);
        return connect ? snd_seq_subscribe_port(sender_, subscription)
                       : snd_seq_unsubscribe_port(sender_, subscription);
    }

    bool hardware(int client_id) {
        snd_seq_client_info_t* client;
        snd_seq_client_info_alloca(&client);
        if (snd_seq_get_any_client_info(sender_, client_id, client) < 0) return false;
        return is_hardware_client(client_id, snd_seq_client_info_get_type(client), snd_seq_client_info_get_card(client),
                                  receiver_client_, sender_client_);
    }

    // The hardware endpoints, each list ascending as a walk finds them.
    struct ports_t {
        std::vector<int32_t> sources, destinations;
    };

    // Under sender_mutex_: appends the endpoints of one client, when it is hardware.
    void walk_client(const snd_seq_client_info_t* client, ports_t& into) {
        const int id = snd_seq_client_info_get_client(client);
        if (!is_hardware_client(id, snd_seq_client_info_get_type(client), snd_seq_client_info_get_card(client),
                                receiver_client_, sender_client_))
            return;
        snd_seq_port_info_t* port;
        snd_seq_port_info_alloca(&port);
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(sender_, port) >= 0) {
            const int directions = directions_of(snd_seq_port_info_get_capability(port));
            const int32_t endpoint = unique_id(id, snd_seq_port_info_get_port(port));
            if (directions & is_source) into.sources.push_back(endpoint);
            if (directions & is_destination) into.destinations.push_back(endpoint);
        }
    }

    // Under sender_mutex_: every client's endpoints.
    ports_t walk() {
        ports_t found;
        if (!sender_) return found;
        snd_seq_client_info_t* client;
        snd_seq_client_info_alloca(&client);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(sender_, client) >= 0) walk_client(client, found);
        return found;
    }

    // Under sender_mutex_: the lists the announcements keep, walked afresh when
    // they cannot (no input port to hear them, or some lost to an overrun).
    const ports_t& ports() {
        if (!listening_ || !ports_kept_) {
            ports_ = walk();
            ports_kept_ = listening_;
        }
        return ports_;
    }

    // Under sender_mutex_: the announced client's endpoints as they stand now
    // replace those kept; a client that exited has none.
    void keep_ports(const snd_seq_event_t& announcement) {
        if (!ports_kept_) return;  // the next look walks anyway
        const int id = announcement.data.addr.client;
        ports_t now;
        snd_seq_client_info_t* client;
        snd_seq_client_info_alloca(&client);
        if (snd_seq_get_any_client_info(sender_, id, client) >= 0) walk_client(client, now);
        replace_client_ports(ports_.sources, id, now.sources);
        replace_client_ports(ports_.destinations, id, now.destinations);
    }

    static std::optional<int32_t> nth(const std::vector<int32_t>& ids, std::size_t index) {
        if (index >= ids.size()) return std::nullopt;
        return ids[index];
    }

    // The receive thread: events from connected sources and announcements.
    void receive() {
        snd_midi_event_t* decoder = nullptr;
        if (snd_midi_event_new(256, &decoder) < 0) {
            std::lock_guard lock(sender_mutex_);
            listening_ = false;  // nobody reads the announcements
            return;
        }
        snd_midi_event_no_status(decoder, 1);
        const int count = snd_seq_poll_descriptors_count(receiver_, POLLIN);
        std::vector<pollfd> fds(std::size_t(count) + 1);
        snd_seq_poll_descriptors(receiver_, fds.data(), unsigned(count), POLLIN);
        fds[std::size_t(count)] = {wake_fd_, POLLIN, 0};

        using clock = std::chrono::steady_clock;
        bool announce_pending = false;
        clock::time_point announce_due{};
        std::vector<uint8_t> bytes;
        while (!stopping_) {
            int timeout = -1;
            if (announce_pending)
                timeout = int(std::max<long long>(
                    0, std::chrono::ceil<std::chrono::milliseconds>(announce_due - clock::now()).count()));
            ::poll(fds.data(), fds.size(), timeout);
            if (announce_pending && clock::now() >= announce_due) {
                announce_pending = false;
                // A replug arrives as a burst of announcements: one notification for it.
                async_main([this] {
                    if (on_setup_changed_) on_setup_changed_();
                });
            }
            for (;;) {
                snd_seq_event_t* event = nullptr;
                const int status = snd_seq_event_input(receiver_, &event);
                if (status == -ENOSPC) {
                    {
                        std::lock_guard lock(sender_mutex_);
                        ports_kept_ = false;  // announcements may be among the events lost
                    }
                    if (receiver_callbacks_.on_overrun) receiver_callbacks_.on_overrun();
                    continue;
                }
                if (status < 0 || event == nullptr) break;
                if (event->source.client == SND_SEQ_CLIENT_SYSTEM && is_announcement(*event)) {
                    {
                        std::lock_guard lock(sender_mutex_);
                        forget_gone_subscriptions(*event, subscribed_);
                        keep_ports(*event);
                    }
                    if (!announce_pending) announce_due = clock::now() + std::chrono::milliseconds(100);
                    announce_pending = true;
                    continue;
                }
                std::optional<uint64_t> reference;
                {
                    std::lock_guard lock(connections_mutex_);
                    const auto it = connections_.find(unique_id(event->source.client, event->source.port));
                    if (it != connections_.end()) reference = it->second;
                }
                if (!reference) continue;
                bytes.clear();
                append_event_bytes(decoder, *event, bytes);
                if (!bytes.empty() && receiver_callbacks_.on_bytes)
                    receiver_callbacks_.on_bytes(*reference, bytes.data(), bytes.size());
            }
            uint64_t drained;
            [[maybe_unused]] ssize_t got = ::read(wake_fd_, &drained, sizeof drained);
        }
        snd_midi_event_free(decoder);
    }

    snd_seq_t* receiver_ = nullptr;  // the receive thread's handle
    snd_seq_t* sender_ = nullptr;    // queries and sends, behind sender_mutex_
    std::mutex sender_mutex_;
    int receiver_client_ = -1, sender_client_ = -1;
    int in_port_ = -1, out_port_ = -1;
    snd_midi_event_t* encoder_ = nullptr;
    std::set<int32_t> subscribed_;
    // The endpoints, under sender_mutex_: kept from the announcements while
    // the receive thread hears them.
    ports_t ports_;
    bool listening_ = false;
    bool ports_kept_ = false;
    std::function<void()> on_setup_changed_;
    receiver_t receiver_callbacks_;

    std::mutex connections_mutex_;
    std::map<int32_t, uint64_t> connections_;

    std::atomic<bool> stopping_{false};
    int wake_fd_ = -1;
    std::thread thread_;
};

}  // namespace

service_t& alsa_service() {
    static alsa_service_t* service = new alsa_service_t;  // the receive thread may outlive static destruction
    return *service;
}

std::string alsa_library_version() { return snd_asoundlib_version(); }

std::vector<std::string> sequencer_client_names() {
    std::vector<std::string> names;
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) return names;
    snd_seq_client_info_t* info = nullptr;
    snd_seq_client_info_alloca(&info);
    snd_seq_client_info_set_client(info, -1);
    while (snd_seq_query_next_client(seq, info) >= 0) names.emplace_back(snd_seq_client_info_get_name(info));
    snd_seq_close(seq);
    return names;
}

}  // namespace zal::midi::io
