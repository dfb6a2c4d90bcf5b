// The hidapi C functions over the simulated devices' registry, or, when the
// simulation is off, forwarded to the system's hidapi.
#include <dlfcn.h>
#include <hidapi/hidapi.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "devices/simulated_hid.hpp"

using zal::devices::hid_endpoint_t;
using zal::devices::hid_identity_t;

struct hid_device_ {
    std::string path;
    std::shared_ptr<hid_endpoint_t> endpoint;
};

namespace {

struct plugged_t {
    hid_identity_t identity;
    std::shared_ptr<hid_endpoint_t> endpoint;
};

struct registry_t {
    std::mutex mutex;
    std::map<std::string, plugged_t> devices;  // by path
    unsigned next = 0;
    std::size_t open_handles = 0;
};

registry_t& registry() {
    static registry_t* r = new registry_t;
    return *r;
}

std::atomic<bool> simulating{true};

// The system's hidapi, for a program that simulates only on request.
struct system_hidapi_t {
    void* library = dlopen("libhidapi-hidraw.so.0", RTLD_NOW | RTLD_LOCAL);
    template <typename F>
    F* get(const char* name) const {
        return library ? reinterpret_cast<F*>(dlsym(library, name)) : nullptr;
    }
    decltype(&hid_init) init = get<int()>("hid_init");
    decltype(&hid_exit) exit = get<int()>("hid_exit");
    decltype(&hid_enumerate) enumerate = get<hid_device_info*(unsigned short, unsigned short)>("hid_enumerate");
    decltype(&hid_free_enumeration) free_enumeration = get<void(hid_device_info*)>("hid_free_enumeration");
    decltype(&hid_open_path) open_path = get<hid_device*(const char*)>("hid_open_path");
    decltype(&hid_write) write = get<int(hid_device*, const unsigned char*, size_t)>("hid_write");
    decltype(&hid_read_timeout) read_timeout = get<int(hid_device*, unsigned char*, size_t, int)>("hid_read_timeout");
    decltype(&hid_close) close = get<void(hid_device*)>("hid_close");
};

const system_hidapi_t& system_hidapi() {
    static const system_hidapi_t* api = new system_hidapi_t;
    return *api;
}

wchar_t* copy_wide(const std::wstring& text) {
    if (text.empty()) return nullptr;
    auto* copy = static_cast<wchar_t*>(std::calloc(text.size() + 1, sizeof(wchar_t)));
    std::wmemcpy(copy, text.c_str(), text.size());
    return copy;
}

// Still plugged in under the same device? A replug gets a new path.
std::shared_ptr<hid_endpoint_t> live_endpoint(hid_device* device) {
    registry_t& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.devices.find(device->path);
    return it != r.devices.end() && it->second.endpoint == device->endpoint ? device->endpoint : nullptr;
}

}  // namespace

namespace zal::devices {

void hid_use_simulation(bool simulate) { simulating = simulate; }

std::string hid_plug(const hid_identity_t& identity, std::shared_ptr<hid_endpoint_t> endpoint) {
    registry_t& r = registry();
    std::lock_guard lock(r.mutex);
    const std::string path = "/dev/hidraw-sim" + std::to_string(r.next++);
    r.devices[path] = {identity, std::move(endpoint)};
    return path;
}

void hid_unplug(const std::string& path) {
    registry_t& r = registry();
    std::lock_guard lock(r.mutex);
    r.devices.erase(path);
}

std::size_t hid_open_handles() {
    registry_t& r = registry();
    std::lock_guard lock(r.mutex);
    return r.open_handles;
}

}  // namespace zal::devices

extern "C" {

int HID_API_EXPORT hid_init(void) {
    if (simulating) return 0;
    return system_hidapi().init ? system_hidapi().init() : -1;
}

int HID_API_EXPORT hid_exit(void) {
    if (simulating) return 0;
    return system_hidapi().exit ? system_hidapi().exit() : -1;
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    if (!simulating) return system_hidapi().enumerate ? system_hidapi().enumerate(vendor_id, product_id) : nullptr;
    registry_t& r = registry();
    std::lock_guard lock(r.mutex);
    hid_device_info* first = nullptr;
    hid_device_info** tail = &first;
    for (const auto& [path, device] : r.devices) {
        const hid_identity_t& id = device.identity;
        if ((vendor_id && vendor_id != id.vendor_id) || (product_id && product_id != id.product_id)) continue;
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        info->path = strdup(path.c_str());
        info->vendor_id = id.vendor_id;
        info->product_id = id.product_id;
        info->manufacturer_string = copy_wide(id.manufacturer);
        info->product_string = copy_wide(id.product);
        *tail = info;
        tail = &info->next;
    }
    return first;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info* devices) {
    if (!simulating) {
        if (system_hidapi().free_enumeration) system_hidapi().free_enumeration(devices);
        return;
    }
    while (devices) {
        hid_device_info* next = devices->next;
        std::free(devices->path);
        std::free(devices->manufacturer_string);
        std::free(devices->product_string);
        std::free(devices);
        devices = next;
    }
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path(const char* path) {
    if (!simulating) return system_hidapi().open_path ? system_hidapi().open_path(path) : nullptr;
    registry_t& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.devices.find(path);
    if (it == r.devices.end()) {
        errno = ENOENT;
        return nullptr;
    }
    if (!it->second.endpoint->may_open()) {
        errno = EACCES;
        return nullptr;
    }
    ++r.open_handles;
    return new hid_device{path, it->second.endpoint};
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device* device, const unsigned char* data, size_t length) {
    if (!simulating) return system_hidapi().write(device, data, length);
    const std::shared_ptr<hid_endpoint_t> endpoint = live_endpoint(device);
    return endpoint ? endpoint->write(data, length) : -1;
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device* device, unsigned char* data, size_t length, int milliseconds) {
    if (!simulating) return system_hidapi().read_timeout(device, data, length, milliseconds);
    const std::shared_ptr<hid_endpoint_t> endpoint = live_endpoint(device);
    return endpoint ? endpoint->read(data, length, milliseconds) : -1;
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device* device, unsigned char* data, size_t length) {
    return hid_read_timeout(device, data, length, -1);
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device* device) {
    if (device == nullptr) return;
    if (!simulating) {
        system_hidapi().close(device);
        return;
    }
    {
        registry_t& r = registry();
        std::lock_guard lock(r.mutex);
        --r.open_handles;
    }
    delete device;
}

const wchar_t* HID_API_EXPORT_CALL hid_error(hid_device*) { return L"simulated device"; }

}  // extern "C"
