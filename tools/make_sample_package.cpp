// SPDX-License-Identifier: MIT
// Writes the synthetic sample package used by tests and the demo. Its firmware
// is made up: it must never ship as the application's bundled package.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/package_writer.hpp"

using namespace zal::tools;

namespace {

const char* const notes_en = R"(# Sample update 2.1.0

This **sample package** shows what an update looks like. Its firmware is synthetic
and only serves the simulated devices.

## What is new

- Smoother *aftertouch* response on every key.
- The Ruvo receiver now reconnects faster after a power cut.
- Fixed: the `Panic` button now silences every voice.

See https://ventaro.example/support for help, or write to support@ventaro.example.
)";

const char* const notes_fr = R"(# Mise à jour d'exemple 2.1.0

Ce **paquet d'exemple** montre à quoi ressemble une mise à jour. Son firmware est
synthétique et ne sert qu'aux appareils simulés.

## Nouveautés

- Réponse de l'*aftertouch* plus douce sur chaque touche.
- Le récepteur Ruvo se reconnecte plus vite après une coupure de courant.
- Corrigé : le bouton `Panic` coupe désormais toutes les voix.

Besoin d'aide ? Voyez https://ventaro.example/support ou écrivez à support@ventaro.example.
)";

std::string hex_of(std::size_t size, uint32_t seed) {
    return make_ihex({{0x08000000, make_synthetic_firmware(size, seed)}});
}

}  // namespace

int main(int argc, char** argv) {
    // --ventaro-size: the Ventaro's main image, for measuring long updates.
    std::size_t ventaro_size = 160 * 1024;
    // --newer: the next release, which the sample feed offers.
    const bool newer = argc == 3 && std::string(argv[2]) == "--newer";
    if (argc == 4) {
        char* end = nullptr;
        ventaro_size = std::string(argv[2]) == "--ventaro-size" ? std::strtoul(argv[3], &end, 10) : 0;
        if (!end || *end != '\0') ventaro_size = 0;
    }
    // An option where OUTPUT goes (--help) would name the package written.
    if ((argc != 2 && argc != 4 && !newer) || argv[1][0] == '-' || ventaro_size == 0 || ventaro_size > 0xE0000) {
        std::fprintf(stderr, "usage: %s OUTPUT.zalmirupdate [--ventaro-size BYTES (at most 917504) | --newer]\n",
                     argv[0]);
        return 2;
    }
    const std::string version = newer ? "2.2.0" : "2.1.0";
    auto titled = [&version](std::string notes) { return notes.replace(notes.find("2.1.0"), 5, version); };
    std::string info = make_info_text("Ventaro", version, newer ? "2026-12-01" : "2026-11-30");
    info += "description-en=Synthetic firmware for the simulated Ventaro and Ruvo.\r\n";
    info += "description-fr=Firmware synthétique pour le Ventaro et le Ruvo simulés.\r\n";

    const auto zip = make_zip({
        {"info.txt", info},
        {"notes-en.txt", titled(notes_en)},
        {"notes-fr.txt", titled(notes_fr)},
        {"ventaro.hex", hex_of(ventaro_size, 1)},
        {"ventaro-stage2.hex", hex_of(40 * 1024, 2)},
        {"ruvo.hex", hex_of(96 * 1024, 3)},
        {"ruvo-stage2.hex", hex_of(24 * 1024, 4)},
    });
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(zip.data()), std::streamsize(zip.size()));
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
