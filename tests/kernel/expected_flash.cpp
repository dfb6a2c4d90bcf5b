// SPDX-License-Identifier: MIT
// expected-flash: what a device's flash must hold after the engine installed
// these images of a package, in this order, from a given flash (a file, or
// "factory" for the flash a new device has), as the flash model computes it.
//
//   expected-flash OUT BEFORE PACKAGE ventaro|ruvo [stage2|main]...

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "devices/flash_model.hpp"
#include "update/update.hpp"

namespace {

std::vector<uint8_t> read_all(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zal;
    if (argc < 5 || (std::strcmp(argv[4], "ventaro") != 0 && std::strcmp(argv[4], "ruvo") != 0)) {
        std::fputs("usage: expected-flash OUT BEFORE|factory PACKAGE ventaro|ruvo [stage2|main]...\n", stderr);
        return 2;
    }
    std::vector<uint8_t> flash =
        std::strcmp(argv[2], "factory") == 0 ? devices::flash_model_t().bytes() : read_all(argv[2]);
    if (flash.size() != devices::flash_size) {
        std::fprintf(stderr, "expected-flash: %s is not a 1 MiB flash image\n", argv[2]);
        return 1;
    }
    try {
        const std::vector<uint8_t> bytes = read_all(argv[3]);
        const update_t update = make_update(bytes.data(), bytes.size());
        const auto& device = std::strcmp(argv[4], "ruvo") == 0 ? update.ruvo : update.ventaro;
        if (!device) throw std::runtime_error("the package has no image for this device");
        for (int i = 5; i < argc; ++i) {
            const bool stage2 = std::strcmp(argv[i], "stage2") == 0;
            if (!stage2 && std::strcmp(argv[i], "main") != 0)
                throw std::runtime_error("stage2 or main, not " + std::string(argv[i]));
            if (stage2 && !device->stage2) throw std::runtime_error("the package has no stage-2 image");
            flash = devices::expected_flash(flash, stage2 ? *device->stage2 : device->main);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "expected-flash: %s\n", e.what());
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(flash.data()), std::streamsize(flash.size()));
    return out ? 0 : 1;
}
