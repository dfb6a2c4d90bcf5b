// SPDX-License-Identifier: MIT
#include "devices/gadget/usb_gadget_port.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <alsa/asoundlib.h>

#include "common/async/async.hpp"
#include "common/async/thread.hpp"
#include "devices/gadget/gadget_io.hpp"
#include "devices/gadget/gadgetfs_midi.hpp"
#include "devices/gadget/hid_function.hpp"

namespace zal::devices {

namespace {

using namespace std::chrono_literals;
using namespace gadget_io;
using steady = std::chrono::steady_clock;
using gadget_hid::report_size;

constexpr std::size_t max_sysex = 4096;  // longer messages are none the firmwares know

std::string hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

std::vector<std::string> entries_of(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

// Cuts one port's byte stream into SysEx messages; the firmwares take nothing
// else, and real-time bytes may fall anywhere.
class sysex_assembler_t {
public:
    template <typename Deliver>
    void feed(const uint8_t* bytes, std::size_t length, Deliver&& deliver) {
        for (std::size_t i = 0; i < length; ++i) {
            const uint8_t b = bytes[i];
            if (b >= 0xF8) continue;
            if (b == 0xF0) {
                message_.assign(1, b);
                inside_ = true;
            } else if (inside_ && b == 0xF7) {
                message_.push_back(b);
                deliver(std::move(message_));
                message_.clear();
                inside_ = false;
            } else if (inside_ && b < 0x80 && message_.size() < max_sysex) {
                message_.push_back(b);
            } else {
                inside_ = false;  // another status ends the message, which is dropped
            }
        }
    }

private:
    std::vector<uint8_t> message_;
    bool inside_ = false;
};

}  // namespace

// Whatever one enumeration holds: its handles and the threads reading them.
struct usb_gadget_port_t::connection_t {
    // Cleared as the connection ends: what its readers queued is dropped then.
    std::shared_ptr<std::atomic<bool>> live = std::make_shared<std::atomic<bool>>(true);
    int stop[2] = {-1, -1};
    std::vector<std::thread> threads;
    std::unique_ptr<gadgetfs::midi_device_t> midi;  // the firmware through gadgetfs
    std::vector<snd_rawmidi_t*> midi_in, midi_out;  // or through an f_midi function
    std::unique_ptr<gadget_hid::hid_function_t> hid;

    connection_t() {
        if (::pipe2(stop, O_CLOEXEC) != 0) fail("pipe");
    }

    ~connection_t() {
        live->store(false);
        if (stop[1] >= 0) {
            const char byte = 0;
            (void)!::write(stop[1], &byte, 1);
        }
        for (std::thread& thread : threads) thread.join();
        midi.reset();
        for (snd_rawmidi_t* handle : midi_in) snd_rawmidi_close(handle);
        for (snd_rawmidi_t* handle : midi_out) snd_rawmidi_close(handle);
        hid.reset();
        ::close(stop[0]);
        ::close(stop[1]);
    }
};

namespace {

// Hands something a reading thread got to the main thread, unless its
// connection has ended by then.
void deliver_on_main(const std::shared_ptr<std::atomic<bool>>& live, std::function<void()> delivery) {
    async_main([live, delivery = std::move(delivery)] {
        if (live->load()) delivery();
    });
}

}  // namespace

usb_gadget_port_t::usb_gadget_port_t(std::string udc, midi_transport_t midi, hid_transport_t hid, std::string configfs)
    : udc_(std::move(udc)),
      midi_transport_(midi),
      hid_transport_(hid),
      gadget_(configfs + "/usb_gadget/ventaro-" + udc_) {
    if (midi_transport_ == midi_transport_t::gadgetfs)
        gadgetfs_ep0_ = gadgetfs::mount_gadgetfs();  // while nothing is bound
    make_folder(gadget_);
    write_file(gadget_ + "/bcdUSB", "0x0200");
    write_file(gadget_ + "/bcdDevice", "0x0100");
    make_folder(gadget_ + "/strings/0x409");
    write_file(gadget_ + "/strings/0x409/serialnumber", "0001");
    make_folder(gadget_ + "/configs/c.1");
    make_folder(gadget_ + "/configs/c.1/strings/0x409");
    write_file(gadget_ + "/configs/c.1/strings/0x409/configuration", "default");
    write_file(gadget_ + "/configs/c.1/MaxPower", "100");
}

usb_gadget_port_t::~usb_gadget_port_t() {
    try {
        detach();
    } catch (const std::exception&) {
        // Going away: the virtual machine ends with us.
    }
    for (const char* folder : {"/configs/c.1/strings/0x409", "/configs/c.1", "/strings/0x409", ""})
        ::rmdir((gadget_ + folder).c_str());
}

void usb_gadget_port_t::set_identity(uint16_t vendor_id, uint16_t product_id, const std::string& manufacturer,
                                     const std::string& product) {
    write_file(gadget_ + "/idVendor", hex4(vendor_id));
    write_file(gadget_ + "/idProduct", hex4(product_id));
    write_file(gadget_ + "/strings/0x409/manufacturer", manufacturer.empty() ? "\n" : manufacturer);
    write_file(gadget_ + "/strings/0x409/product", product);
    product_ = product;
}

void usb_gadget_port_t::bind(const std::string& function) {
    const std::string link = gadget_ + "/configs/c.1/" + function;
    if (::symlink((gadget_ + "/functions/" + function).c_str(), link.c_str()) != 0) fail(link);
    function_ = function;
    write_file(gadget_ + "/UDC", udc_);
}

void usb_gadget_port_t::attach_midi(const std::string& name, const std::vector<std::string>& ports,
                                    midi_receiver_t receive, bool refuse_sends) {
    detach();
    auto connection = std::make_unique<connection_t>();
    // Bytes come from the device's one reader thread, port by port; whole
    // SysEx messages go to the firmware on the main thread.
    auto assemblers = std::make_shared<std::vector<sysex_assembler_t>>(ports.size());
    auto on_bytes = [assemblers, live = connection->live, receive, received = received_](
                        std::size_t port, const uint8_t* bytes, std::size_t length) {
        if (port < received->size()) (*received)[port] += length;
        if (port >= assemblers->size()) return;
        (*assemblers)[port].feed(bytes, length, [&](std::vector<uint8_t> message) {
            deliver_on_main(
                live, [receive, port, message = std::move(message)] { receive(port, message.data(), message.size()); });
        });
    };
    // A MIDI-class device of the V-USB shared range; the engine knows it by name.
    if (midi_transport_ == midi_transport_t::f_midi)
        attach_midi_function(*connection, name, ports.size(), std::move(on_bytes));
    else
        connection->midi = std::make_unique<gadgetfs::midi_device_t>(gadgetfs_ep0_, 0x16C0, 0x05E4, name, ports,
                                                                     std::move(on_bytes), refuse_sends);
    product_ = name;
    connection_ = std::move(connection);
}

// The kernel's f_midi function: several can run at once, one per controller,
// but it names no jack ("<product> MIDI <n>") and cannot refuse a send.
void usb_gadget_port_t::attach_midi_function(connection_t& connection, const std::string& name, std::size_t ports,
                                             midi_receiver_t on_bytes) {
    set_identity(0x16C0, 0x05E4, "", name);
    const std::string function = gadget_ + "/functions/midi.usb0";
    make_folder(function);
    write_file(function + "/in_ports", std::to_string(ports));
    write_file(function + "/out_ports", std::to_string(ports));
    // A card index of its own per controller, away from the host's cards.
    const int card = 8 + std::atoi(udc_.substr(udc_.rfind('.') + 1).c_str());
    write_file(function + "/index", std::to_string(card));
    bind("midi.usb0");

    for (std::size_t port = 0; port < ports; ++port) {
        const std::string device = "hw:" + std::to_string(card) + ",0," + std::to_string(port);
        snd_rawmidi_t* in = open_within(
            [&]() -> snd_rawmidi_t* {
                snd_rawmidi_t* handle = nullptr;
                return snd_rawmidi_open(&handle, nullptr, device.c_str(), SND_RAWMIDI_NONBLOCK) == 0 ? handle : nullptr;
            },
            2000ms);
        snd_rawmidi_t* out = nullptr;
        if (in) snd_rawmidi_open(nullptr, &out, device.c_str(), SND_RAWMIDI_NONBLOCK);
        if (!in || !out) {
            if (in) snd_rawmidi_close(in);
            throw std::runtime_error("cannot open the gadget's raw MIDI port " + device);
        }
        connection.midi_in.push_back(in);
        connection.midi_out.push_back(out);
    }

    // One reader for every port of the device.
    connection.threads.push_back(named_thread("gadget midi", [c = &connection, on_bytes] {
        std::vector<pollfd> fds;
        for (snd_rawmidi_t* handle : c->midi_in) {
            const std::size_t first = fds.size();
            const int n = snd_rawmidi_poll_descriptors_count(handle);
            fds.resize(fds.size() + std::size_t(n));
            snd_rawmidi_poll_descriptors(handle, &fds[first], unsigned(n));
        }
        fds.push_back({c->stop[0], POLLIN, 0});
        for (;;) {
            if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
            if (fds.back().revents & POLLIN) return;
            for (std::size_t port = 0; port < c->midi_in.size(); ++port) {
                uint8_t buffer[256];
                ssize_t n;
                while ((n = snd_rawmidi_read(c->midi_in[port], buffer, sizeof buffer)) > 0)
                    on_bytes(port, buffer, std::size_t(n));
                if (n < 0 && n != -EAGAIN) return;  // the card went away
            }
        }
    }));
}

void usb_gadget_port_t::send_midi(std::size_t port, const std::vector<uint8_t>& bytes) {
    if (!connection_) return;
    if (connection_->midi) connection_->midi->send(port, bytes);
    // Non-blocking: a host that is not listening loses the message, as it would.
    if (port < connection_->midi_out.size()) snd_rawmidi_write(connection_->midi_out[port], bytes.data(), bytes.size());
}

void usb_gadget_port_t::attach_hid(const usb_descriptor_t& identity, report_receiver_t receive,
                                   uint32_t refuse_open_ms) {
    detach();
    set_identity(identity.vendor_id, identity.product_id, identity.manufacturer, identity.product);
    auto connection = std::make_unique<connection_t>();
    const bool functionfs = hid_transport_ == hid_transport_t::functionfs;
    const std::string function = functionfs ? "ffs." + udc_ : "hid.usb0";
    connection->hid = functionfs ? gadget_hid::make_functionfs_hid(gadget_ + "/functions/" + function)
                                 : gadget_hid::make_usb_f_hid(gadget_ + "/functions/" + function);
    // The host may not have removed the last bootloader's node yet: ours is
    // the one whose HID device is new.
    const std::vector<std::string> known = entries_of("/sys/bus/hid/devices");
    bind(function);
    // Output reports from the host, given to the bootloader with their report
    // number in front, as a host's write carries it.
    connection->hid->start([live = connection->live, receive](const uint8_t* report, std::size_t length) {
        std::vector<uint8_t> bytes(1 + length);
        std::copy(report, report + length, bytes.begin() + 1);
        deliver_on_main(live, [receive, bytes = std::move(bytes)] { receive(bytes.data(), bytes.size()); });
    });

    // The host's node is root's alone until `refuse_open_ms` after it appears,
    // then everybody's, as a desktop's udev rule makes it for the user.
    connection->threads.push_back(named_thread("gadget hidraw", [c = connection.get(), refuse_open_ms, known] {
        std::string node;
        bool readable = false;
        while (node.empty()) {
            for (const std::string& name : entries_of("/sys/class/hidraw")) {
                char target[PATH_MAX] = {};
                const std::string link = "/sys/class/hidraw/" + name + "/device";
                if (::readlink(link.c_str(), target, sizeof target - 1) <= 0) continue;
                const std::string device = std::filesystem::path(target).filename();
                if (std::find(known.begin(), known.end(), device) == known.end() &&
                    ::access(("/dev/" + name).c_str(), F_OK) == 0)
                    node = "/dev/" + name;
            }
            if (node.empty() && !wait_readable(-1, c->stop[0], 5, readable)) return;
        }
        if (refuse_open_ms > 0 && !wait_readable(-1, c->stop[0], int(refuse_open_ms), readable)) return;
        ::chmod(node.c_str(), 0666);
    }));
    connection_ = std::move(connection);
}

void usb_gadget_port_t::send_report(std::vector<uint8_t> report, uint32_t delay_ms) {
    if (!connection_) return;
    // An interrupt transfer carries the whole report: the kernel drops shorter
    // ones, so a short answer arrives padded with zeros.
    report.resize(std::max(report.size(), report_size));
    if (delay_ms == 0) {
        connection_->hid->send(report);
        return;
    }
    async_main(
        [this, live = connection_->live, report = std::move(report)] {
            if (live->load()) connection_->hid->send(report);  // still the connection it was meant for
        },
        delay_ms);
}

void usb_gadget_port_t::detach() {
    // The readers let go of the function's devices before it is unbound; as
    // FunctionFS's ep0 closes, the kernel unbinds the gadget itself.
    connection_.reset();
    if (function_.empty()) return;
    std::string bound_udc;
    std::ifstream(gadget_ + "/UDC") >> bound_udc;
    if (!bound_udc.empty()) write_file(gadget_ + "/UDC", "\n");
    const std::string link = gadget_ + "/configs/c.1/" + function_;
    if (::unlink(link.c_str()) != 0) fail(link);
    const std::string function = gadget_ + "/functions/" + function_;
    if (::rmdir(function.c_str()) != 0) fail(function);
    function_.clear();
}

std::vector<uint64_t> usb_gadget_port_t::midi_bytes_received() const {
    std::vector<uint64_t> counts;
    for (const auto& count : *received_) counts.push_back(count.load());
    while (!counts.empty() && counts.back() == 0) counts.pop_back();
    return counts;
}

bool usb_gadget_port_t::wait_until_enumerated(int timeout_ms) const {
    const auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (connection_ && connection_->hid && !entries_of("/sys/class/hidraw").empty()) return true;
        if (connection_ && (connection_->midi || !connection_->midi_in.empty())) {
            std::ifstream clients("/proc/asound/seq/clients");
            std::stringstream text;
            text << clients.rdbuf();
            if (text.str().find(": \"" + product_ + "\"") != std::string::npos) return true;
        }
        if (steady::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
}

}  // namespace zal::devices
