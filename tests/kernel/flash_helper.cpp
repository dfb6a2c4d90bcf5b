// SPDX-License-Identifier: MIT
// flash-helper: what the kernel tests compute from a package, with the same code
// the in-process tests use.
//
//   flash-helper expected OUT BEFORE PACKAGE ventaro|ruvo [stage2|main]...
//       the flash a device must hold after the engine installed these images, in
//       this order, from BEFORE (a file, or "factory" for a new device's flash)
//   flash-helper older-application OUT SEED
//       a flash as an earlier firmware left it (random code, sector 0 entering
//       the bootloader, the jump stub at the end of sector 10)
//   flash-helper roundtrips PACKAGE ventaro|ruvo stage2|main
//       the number of HID roundtrips of that image's programming sequence

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "devices/flash_model.hpp"
#include "update/package_file.hpp"
#include "update/update.hpp"
#include "update/update_plan.hpp"
#include "updater/hid.hpp"

namespace {

using namespace zal;

std::vector<uint8_t> read_all(const char* path) {
    result_t<std::vector<uint8_t>> bytes = read_whole_file(path);
    if (!bytes) throw std::runtime_error(std::string(path) + ": " + bytes.failure().text);
    return std::move(*bytes);
}

bool write_all(const char* path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

const device_update_t& device_of(const update_t& update, const char* kind) {
    const bool ruvo = std::strcmp(kind, "ruvo") == 0;
    if (!ruvo && std::strcmp(kind, "ventaro") != 0)
        throw std::runtime_error("ventaro or ruvo, not " + std::string(kind));
    const auto& device = ruvo ? update.ruvo : update.ventaro;
    if (!device) throw std::runtime_error("the package has no image for this device");
    return *device;
}

const firmware_t& image_of(const device_update_t& device, const char* which) {
    const bool stage2 = std::strcmp(which, "stage2") == 0;
    if (!stage2 && std::strcmp(which, "main") != 0)
        throw std::runtime_error("stage2 or main, not " + std::string(which));
    if (stage2 && !device.stage2) throw std::runtime_error("the package has no stage-2 image");
    return stage2 ? *device.stage2 : device.main;
}

update_t read_package(const char* path) {
    const std::vector<uint8_t> bytes = read_all(path);
    return make_update(bytes.data(), bytes.size());
}

int expected(int argc, char** argv) {
    std::vector<uint8_t> flash =
        std::strcmp(argv[3], "factory") == 0 ? devices::flash_model_t().bytes() : read_all(argv[3]);
    if (flash.size() != devices::flash_size)
        throw std::runtime_error(std::string(argv[3]) + " is not a 1 MiB flash image");
    const update_t update = read_package(argv[4]);
    const device_update_t& device = device_of(update, argv[5]);
    for (int i = 6; i < argc; ++i) flash = devices::expected_flash(flash, image_of(device, argv[i]));
    return write_all(argv[2], flash) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "expected" && argc >= 6) return expected(argc, argv);
        if (command == "older-application" && argc == 4)
            return write_all(argv[2], devices::older_application_flash(uint32_t(std::stoul(argv[3])))) ? 0 : 1;
        if (command == "roundtrips" && argc == 5) {
            const update_t update = read_package(argv[2]);
            const firmware_t& image = image_of(device_of(update, argv[3]), argv[4]);
            std::printf("%zu\n", updater::hid::make_programming_sequence(make_update_plan(image)).size());
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "flash-helper: %s\n", e.what());
        return 1;
    }
    std::fputs(
        "usage: flash-helper expected OUT BEFORE|factory PACKAGE ventaro|ruvo [stage2|main]...\n"
        "       flash-helper older-application OUT SEED\n"
        "       flash-helper roundtrips PACKAGE ventaro|ruvo stage2|main\n",
        stderr);
    return 2;
}
