// SPDX-License-Identifier: MIT
// The HID interface through FunctionFS: this program gives the descriptors
// usb_f_hid gives, answers the host's requests to the interface as usb_f_hid
// answers them (FunctionFS hands them over as SETUP events on ep0), and carries
// the reports on the interrupt endpoints' files, ep1 (IN) and ep2 (OUT).
#include <endian.h>
#include <linux/hid.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <sys/mount.h>

#include <algorithm>
#include <condition_variable>
#include <deque>

#include "devices/gadget/gadget_io.hpp"
#include "devices/gadget/hid_function.hpp"

namespace zal::devices::gadget_hid {

namespace {

using namespace std::chrono_literals;
using namespace gadget_io;

void put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

// HID 1.01, no country, one report descriptor.
constexpr uint8_t hid_descriptor[] = {9, HID_DT_HID, 0x01, 0x01, 0, 1, HID_DT_REPORT, sizeof report_descriptor, 0};
const std::string interface_name = "HID Interface";

// The interface at one speed: no boot subclass, its string, the HID
// descriptor, an interrupt IN then OUT endpoint of one report each.
std::vector<uint8_t> interface_descriptors(uint8_t interval) {
    std::vector<uint8_t> d = {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, USB_CLASS_HID, 0, 0, 1};
    d.insert(d.end(), std::begin(hid_descriptor), std::end(hid_descriptor));
    for (uint8_t address : {USB_DIR_IN | 1, 2})
        d.insert(d.end(),
                 {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_INT, report_size, 0, interval});
    return d;
}

// FunctionFS's blob of usb_f_hid's interface at full and high speed.
std::vector<uint8_t> descriptors_blob() {
    // usb_f_hid's intervals: 10 frames at full speed, 2^(4-1) microframes at high speed.
    const std::vector<uint8_t> full = interface_descriptors(10), high = interface_descriptors(4);
    std::vector<uint8_t> blob;
    put32(blob, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    put32(blob, uint32_t(20 + full.size() + high.size()));
    put32(blob, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    put32(blob, 4);  // descriptors at full speed
    put32(blob, 4);  // and at high speed
    blob.insert(blob.end(), full.begin(), full.end());
    blob.insert(blob.end(), high.begin(), high.end());
    return blob;
}

std::vector<uint8_t> strings_blob() {
    std::vector<uint8_t> blob;
    put32(blob, FUNCTIONFS_STRINGS_MAGIC);
    put32(blob, uint32_t(16 + 2 + interface_name.size() + 1));
    put32(blob, 1);                         // strings
    put32(blob, 1);                         // languages
    blob.insert(blob.end(), {0x09, 0x04});  // US English
    blob.insert(blob.end(), interface_name.begin(), interface_name.end());
    blob.push_back(0);
    return blob;
}

void write_all(int fd, const std::vector<uint8_t>& bytes, const std::string& what) {
    if (::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) fail(what);
}

class functionfs_hid_t final : public hid_function_t {
public:
    explicit functionfs_hid_t(std::string folder)
        : instance_(folder.substr(folder.rfind("/ffs.") + 5)), mount_("/dev/ffs-" + instance_) {
        make_folder(folder);
        make_folder(mount_);
        if (::mount(instance_.c_str(), mount_.c_str(), "functionfs", 0, nullptr) != 0) fail("mount " + mount_);
        ep0_ = ::open((mount_ + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
        if (ep0_ < 0) fail(mount_ + "/ep0");
        write_all(ep0_, descriptors_blob(), mount_ + " descriptors");
        write_all(ep0_, strings_blob(), mount_ + " strings");
        in_ = ::open((mount_ + "/ep1").c_str(), O_RDWR | O_CLOEXEC);
        out_ = ::open((mount_ + "/ep2").c_str(), O_RDWR | O_CLOEXEC);
        if (in_ < 0 || out_ < 0) fail(mount_ + " endpoints");
    }

    ~functionfs_hid_t() override {
        for (io_thread_t* thread : {&control_, &reader_, &writer_}) thread->halt();
        for (int fd : {in_, out_, ep0_})  // ep0 last: closing it unbinds the gadget
            if (fd >= 0) ::close(fd);
        ::umount(mount_.c_str());
        ::rmdir(mount_.c_str());
    }

    functionfs_hid_t(const functionfs_hid_t&) = delete;
    functionfs_hid_t& operator=(const functionfs_hid_t&) = delete;

    void start(receive_t receive) override {
        control_.start("ffs hid ctl", [this](std::atomic<bool>& stop) { control_loop(stop); });
        reader_.start("ffs hid read", [this, receive = std::move(receive)](std::atomic<bool>& stop) {
            while (!stop) {
                uint8_t report[report_size];
                const ssize_t n = ::read(out_, report, sizeof report);
                if (n > 0) receive(report, std::size_t(n));
                // Disabled as the host reconfigures: the next read waits for it.
                if (n < 0 && errno != EINTR) std::this_thread::sleep_for(10ms);
            }
        });
        writer_.start("ffs hid write", [this](std::atomic<bool>& stop) { write_loop(stop); });
    }

    void send(const std::vector<uint8_t>& report) override {
        {
            std::lock_guard lock(mutex_);
            reports_.push_back(report);
        }
        queued_.notify_all();
    }

private:
    void control_loop(std::atomic<bool>& stop) {
        while (!stop) {
            usb_functionfs_event event;
            const ssize_t n = ::read(ep0_, &event, sizeof event);  // one: a SETUP is answered before the next
            if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EIDRM) return;
            if (n == sizeof event && event.type == FUNCTIONFS_SETUP) answer(event.u.setup);
        }
    }

    // What usb_f_hid answers; it stalls SET_REPORT (the reports come on the OUT
    // endpoint), SET_PROTOCOL (no boot subclass) and anything else.
    void answer(const usb_ctrlrequest& setup) {
        const uint16_t value = le16toh(setup.wValue), length = le16toh(setup.wLength);
        auto reply = [&](const uint8_t* data, std::size_t size) {
            (void)!::write(ep0_, data, std::min<std::size_t>(size, length));
        };
        constexpr int get_descriptor = (USB_DIR_IN | USB_RECIP_INTERFACE) << 8 | USB_REQ_GET_DESCRIPTOR;
        constexpr int class_in = (USB_DIR_IN | USB_TYPE_CLASS | USB_RECIP_INTERFACE) << 8;
        constexpr int class_out = (USB_DIR_OUT | USB_TYPE_CLASS | USB_RECIP_INTERFACE) << 8;
        static constexpr uint8_t empty_report[report_size] = {}, report_protocol = 1;
        switch (setup.bRequestType << 8 | setup.bRequest) {
            case get_descriptor:
                if (value >> 8 == HID_DT_REPORT) return reply(report_descriptor, sizeof report_descriptor);
                if (value >> 8 == HID_DT_HID) return reply(hid_descriptor, sizeof hid_descriptor);
                break;
            case class_in | HID_REQ_GET_REPORT: return reply(empty_report, sizeof empty_report);
            case class_in | HID_REQ_GET_IDLE: return reply(&idle_, 1);
            case class_in | HID_REQ_GET_PROTOCOL: return reply(&report_protocol, 1);
            case class_out | HID_REQ_SET_IDLE:
                idle_ = uint8_t(value >> 8);
                (void)!::read(ep0_, nullptr, 0);  // the status stage
                return;
            default: break;
        }
        // A transfer in the wrong direction stalls ep0.
        if (setup.bRequestType & USB_DIR_IN)
            (void)!::read(ep0_, nullptr, 0);
        else
            (void)!::write(ep0_, nullptr, 0);
    }

    void write_loop(std::atomic<bool>& stop) {
        for (;;) {
            std::vector<uint8_t> report;
            {
                std::unique_lock lock(mutex_);
                while (!stop && reports_.empty()) queued_.wait_for(lock, 20ms);
                if (stop) return;
                report = std::move(reports_.front());
                reports_.pop_front();
            }
            // Taken at the host's next poll; lost if the host goes away first.
            while (!stop && ::write(in_, report.data(), report.size()) < 0 && errno == EINTR) {
            }
        }
    }

    std::string instance_, mount_;
    int ep0_ = -1, in_ = -1, out_ = -1;
    uint8_t idle_ = 0;
    io_thread_t control_, reader_, writer_;
    std::mutex mutex_;  // guards `reports_`
    std::condition_variable queued_;
    std::deque<std::vector<uint8_t>> reports_;
};

}  // namespace

std::unique_ptr<hid_function_t> make_functionfs_hid(const std::string& folder) {
    return std::make_unique<functionfs_hid_t>(folder);
}

}  // namespace zal::devices::gadget_hid
