// SPDX-License-Identifier: MIT
#include "devices/gadget/gadgetfs_midi.hpp"

#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/gadgetfs.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "devices/gadget/gadget_io.hpp"

namespace zal::devices::gadgetfs {

namespace {

using namespace std::chrono_literals;
using gadget_io::fail;
using gadget_io::io_thread_t;

constexpr const char* mount_point = "/dev/gadget";
// dummy_hcd's fixed-function endpoints: gadgetfs names its files after them, and
// the configuration written before binding must use their addresses.
constexpr const char* in_endpoint = "ep1in-bulk";
constexpr const char* out_endpoint = "ep2out-bulk";
constexpr uint8_t in_address = 0x81, out_address = 0x02;
constexpr uint16_t max_packet = 64;        // a full-speed bulk endpoint
constexpr std::size_t queued_limit = 256;  // messages the device holds for a host that does not read

void put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

std::vector<uint8_t> string_descriptor(const std::string& text) {
    std::vector<uint8_t> d = {0, USB_DT_STRING};
    for (std::size_t i = 0; i < text.size() && d.size() < 254; ++i) put16(d, uint8_t(text[i]));  // ASCII names
    d[0] = uint8_t(d.size());
    return d;
}

}  // namespace

midi_descriptors_t midi_descriptors(uint16_t vendor_id, uint16_t product_id, const std::string& product,
                                    const std::vector<std::string>& jacks) {
    midi_descriptors_t result;
    auto string_index = [&](const std::string& text) -> uint8_t {
        if (text.empty()) return 0;
        result.strings.push_back(text);
        return uint8_t(result.strings.size());
    };
    const uint8_t i_product = string_index(product);
    const uint8_t i_serial = string_index("0001");
    const auto n = uint8_t(jacks.size());
    // Jack ids per port: embedded IN, external IN, embedded OUT, external OUT.
    auto jack_id = [](std::size_t port, int which) { return uint8_t(1 + 4 * port + std::size_t(which)); };

    std::vector<uint8_t> ms;  // the class-specific MIDI Streaming descriptors after the header
    for (std::size_t port = 0; port < jacks.size(); ++port) {
        const uint8_t i_jack = string_index(jacks[port]);
        // The host names its output after the embedded IN jack and its input after the embedded OUT jack.
        ms.insert(ms.end(), {6, 0x24, 0x02, 0x01, jack_id(port, 0), i_jack});
        ms.insert(ms.end(), {6, 0x24, 0x02, 0x02, jack_id(port, 1), 0});
        ms.insert(ms.end(), {9, 0x24, 0x03, 0x01, jack_id(port, 2), 1, jack_id(port, 1), 1, i_jack});
        ms.insert(ms.end(), {9, 0x24, 0x03, 0x02, jack_id(port, 3), 1, jack_id(port, 0), 1, 0});
    }
    auto endpoint = [&](uint8_t address, int first_jack) {
        // The audio class's nine-byte endpoint, then the jacks it carries.
        ms.insert(ms.end(), {9, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK});
        put16(ms, max_packet);
        ms.insert(ms.end(), {0, 0, 0});
        ms.insert(ms.end(), {uint8_t(4 + n), 0x25, 0x01, n});
        for (std::size_t port = 0; port < jacks.size(); ++port) ms.push_back(jack_id(port, first_jack));
    };
    endpoint(out_address, 0);
    endpoint(in_address, 2);

    std::vector<uint8_t> config = {9, USB_DT_CONFIG, 0, 0, 2, 1, 0, USB_CONFIG_ATT_ONE, 50};
    config.insert(config.end(), {9, USB_DT_INTERFACE, 0, 0, 0, USB_CLASS_AUDIO, 1, 0, 0});  // Audio Control
    config.insert(config.end(), {9, 0x24, 0x01, 0x00, 0x01, 9, 0, 1, 1});                   // header: MS is interface 1
    config.insert(config.end(), {9, USB_DT_INTERFACE, 1, 0, 2, USB_CLASS_AUDIO, 3, 0, 0});  // MIDI Streaming
    const auto ms_total = uint16_t(7 + ms.size());
    config.insert(config.end(), {7, 0x24, 0x01, 0x00, 0x01, uint8_t(ms_total), uint8_t(ms_total >> 8)});
    config.insert(config.end(), ms.begin(), ms.end());
    config[2] = uint8_t(config.size());
    config[3] = uint8_t(config.size() >> 8);

    std::vector<uint8_t> device = {18, USB_DT_DEVICE, 0x00, 0x02, 0, 0, 0, 64};
    put16(device, vendor_id);
    put16(device, product_id);
    put16(device, 0x0100);
    device.insert(device.end(), {0, i_product, i_serial, 1});

    result.setup = {0, 0, 0, 0};  // tag 0: the device's configuration
    result.setup.insert(result.setup.end(), config.begin(), config.end());
    result.setup.insert(result.setup.end(), device.begin(), device.end());
    return result;
}

std::vector<uint8_t> event_packets(uint8_t cable, const std::vector<uint8_t>& message) {
    std::vector<uint8_t> out;
    if (message.empty()) return out;
    const uint8_t c = uint8_t(cable << 4);
    auto packet = [&](uint8_t cin, const uint8_t* bytes, std::size_t count) {
        out.push_back(uint8_t(c | cin));
        for (std::size_t i = 0; i < 3; ++i) out.push_back(i < count ? bytes[i] : 0);
    };
    const uint8_t status = message[0];
    if (status == 0xF0) {
        std::size_t i = 0;
        for (; message.size() - i > 3; i += 3) packet(0x4, &message[i], 3);
        const std::size_t rest = message.size() - i;
        packet(uint8_t(0x4 + rest), &message[i], rest);  // 0x5, 0x6, 0x7: the SysEx ends with 1, 2 or 3 bytes
    } else if (status >= 0x80 && status < 0xF0) {
        const std::size_t length = (status & 0xE0) == 0xC0 ? 2 : 3;
        packet(uint8_t(status >> 4), message.data(), std::min(length, message.size()));
    } else if (status >= 0xF8) {
        packet(0xF, message.data(), 1);
    } else {
        const std::size_t length = status == 0xF2 ? 3 : (status == 0xF1 || status == 0xF3) ? 2 : 1;
        packet(uint8_t(length == 1 ? 0x5 : length), message.data(), std::min(length, message.size()));
    }
    return out;
}

uint8_t packet_bytes(const uint8_t* packet, std::vector<uint8_t>& out) {
    static constexpr uint8_t count[16] = {0, 0, 2, 3, 3, 1, 2, 3, 3, 3, 3, 3, 2, 2, 3, 1};
    const uint8_t cin = packet[0] & 0x0F;
    out.insert(out.end(), packet + 1, packet + 1 + count[cin]);
    return uint8_t(packet[0] >> 4);
}

std::string mount_gadgetfs() {
    namespace fs = std::filesystem;
    auto chip = []() -> std::string {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(mount_point, error))
            if (entry.path().filename().string().rfind("ep", 0) != 0) return entry.path().string();
        return {};
    };
    if (std::string path = chip(); !path.empty()) return path;
    if (::mkdir(mount_point, 0755) != 0 && errno != EEXIST) fail(mount_point);
    if (::mount("gadgetfs", mount_point, "gadgetfs", 0, nullptr) != 0) fail("mount gadgetfs");
    const std::string path = chip();
    if (path.empty()) throw std::runtime_error("gadgetfs shows no controller");
    return path;
}

struct midi_device_t::state_t {
    receive_t receive;
    bool refuse_sends = false;
    std::vector<std::string> strings;
    std::string folder;
    int ep0 = -1, ep_in = -1, ep_out = -1;
    io_thread_t control, reader, writer;

    std::mutex mutex;  // guards `queue`
    std::condition_variable queued;
    std::deque<std::vector<uint8_t>> queue;

    ~state_t() {
        control.halt();
        stop_data();
        if (ep0 >= 0) ::close(ep0);  // gadgetfs unbinds the controller: the device is unplugged
    }

    void handle(const usb_ctrlrequest& setup) {
        const uint16_t value = setup.wValue, length = setup.wLength;
        const bool in = setup.bRequestType & USB_DIR_IN;
        if (setup.bRequestType == USB_DIR_IN && setup.bRequest == USB_REQ_GET_DESCRIPTOR &&
            value >> 8 == USB_DT_STRING) {
            const std::size_t index = value & 0xFF;
            std::vector<uint8_t> d;
            if (index == 0)
                d = {4, USB_DT_STRING, 0x09, 0x04};  // US English only
            else if (index <= strings.size())
                d = string_descriptor(strings[index - 1]);
            if (!d.empty()) {
                (void)!::write(ep0, d.data(), std::min<std::size_t>(d.size(), length));
                return;
            }
        } else if (setup.bRequestType == USB_RECIP_DEVICE && setup.bRequest == USB_REQ_SET_CONFIGURATION) {
            stop_data();
            if ((value & 0xFF) != 0) start_data();
            (void)!::read(ep0, nullptr, 0);  // the status stage
            return;
        } else if (setup.bRequestType == USB_RECIP_INTERFACE && setup.bRequest == USB_REQ_SET_INTERFACE && value == 0) {
            (void)!::read(ep0, nullptr, 0);  // alternate setting 0, the only one
            return;
        }
        // Anything else stalls: a "wrong direction" transfer on ep0.
        if (in)
            (void)!::read(ep0, nullptr, 0);
        else
            (void)!::write(ep0, nullptr, 0);
    }

    int open_endpoint(const char* name, uint8_t address) {
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return -1;
        std::vector<uint8_t> config = {1, 0, 0, 0};  // tag 1: the endpoint's full-speed descriptor
        config.insert(config.end(), {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK});
        put16(config, max_packet);
        config.push_back(0);
        if (::write(fd, config.data(), config.size()) != ssize_t(config.size())) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    void start_data() {
        ep_in = open_endpoint(in_endpoint, in_address);
        ep_out = open_endpoint(out_endpoint, out_address);
        if (ep_in < 0 || ep_out < 0) return;
        {
            std::lock_guard lock(mutex);
            queue.clear();
        }
        writer.start("gadgetfs write", [this](std::atomic<bool>& stop) { write_loop(stop); });
        if (!refuse_sends) reader.start("gadgetfs read", [this](std::atomic<bool>& stop) { read_loop(stop); });
    }

    void stop_data() {
        queued.notify_all();
        writer.halt();
        reader.halt();
        for (int* fd : {&ep_in, &ep_out}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

    void control_loop(std::atomic<bool>& stop) {
        while (!stop) {
            usb_gadgetfs_event events[5];
            const ssize_t n = ::read(ep0, events, sizeof events);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN || errno == EIDRM) continue;
                return;
            }
            for (std::size_t i = 0; i < std::size_t(n) / sizeof events[0]; ++i) {
                if (events[i].type == GADGETFS_SETUP) handle(events[i].u.setup);
                if (events[i].type == GADGETFS_DISCONNECT) stop_data();
            }
        }
    }

    void read_loop(std::atomic<bool>& stop) {
        std::vector<uint8_t> bytes;
        while (!stop) {
            uint8_t buffer[max_packet];
            const ssize_t n = ::read(ep_out, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR) continue;
                return;  // the host went away
            }
            for (ssize_t at = 0; at + 4 <= n; at += 4) {
                bytes.clear();
                const uint8_t cable = packet_bytes(buffer + at, bytes);
                if (!bytes.empty()) receive(cable, bytes.data(), bytes.size());
            }
        }
    }

    void write_loop(std::atomic<bool>& stop) {
        for (;;) {
            std::vector<uint8_t> packets;
            {
                std::unique_lock lock(mutex);
                while (!stop && queue.empty()) queued.wait_for(lock, 20ms);
                if (stop) return;
                packets = std::move(queue.front());
                queue.pop_front();
            }
            // The host reads the IN endpoint while its input port is open; until
            // then the message waits here, as in a device's buffer.
            for (std::size_t at = 0; at < packets.size() && !stop;) {
                const std::size_t chunk = std::min<std::size_t>(packets.size() - at, max_packet);
                const ssize_t n = ::write(ep_in, packets.data() + at, chunk);
                if (n < 0 && errno != EINTR) break;  // the host went away: the message is lost
                if (n > 0) at += std::size_t(n);
            }
        }
    }
};

midi_device_t::midi_device_t(const std::string& ep0_path, uint16_t vendor_id, uint16_t product_id,
                             const std::string& product, const std::vector<std::string>& jacks, receive_t receive,
                             bool refuse_sends)
    : state_(std::make_shared<state_t>()) {
    const midi_descriptors_t descriptors = midi_descriptors(vendor_id, product_id, product, jacks);
    state_t& s = *state_;
    s.receive = std::move(receive);
    s.refuse_sends = refuse_sends;
    s.strings = descriptors.strings;
    s.folder = std::filesystem::path(ep0_path).parent_path().string();
    s.ep0 = ::open(ep0_path.c_str(), O_RDWR | O_CLOEXEC);
    if (s.ep0 < 0) fail(ep0_path);
    if (::write(s.ep0, descriptors.setup.data(), descriptors.setup.size()) != ssize_t(descriptors.setup.size()))
        fail("gadgetfs configuration");
    // Reading ep0 is what makes gadgetfs hand the host's string requests to us.
    s.control.start("gadgetfs ctl", [&s](std::atomic<bool>& stop) { s.control_loop(stop); });
}

midi_device_t::~midi_device_t() = default;

void midi_device_t::send(std::size_t port, const std::vector<uint8_t>& message) {
    std::vector<uint8_t> packets = event_packets(uint8_t(port), message);
    {
        std::lock_guard lock(state_->mutex);
        if (state_->queue.size() >= queued_limit) return;
        state_->queue.push_back(std::move(packets));
    }
    state_->queued.notify_all();
}

}  // namespace zal::devices::gadgetfs
