// SPDX-License-Identifier: MIT
#include "cli/help.hpp"

#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>

#include "cli/catalogue.hpp"
#include "cli/update_all.hpp"
#include "common/text/printable.hpp"

namespace zal::cli {

std::string help_text(const std::string& command) {
    if (command == "inspect")
        return translated("Cli",
                          "usage: ventaro-update-cli inspect [--trust PUBLIC_KEY]... [--compact] PACKAGE\n"
                          "Describes an update package as one JSON object: product, version, release date, texts\n"
                          "by language, for each device its images and the plan of erase and write actions, and\n"
                          "its signature.\n"
                          "\n"
                          "  --trust PUBLIC_KEY   trust this minisign public key too (may be repeated)\n"
                          "  --compact            on one line (the default when the output is not a terminal)\n");
    if (command == "list")
        return translated("Cli",
                          "usage: ventaro-update-cli list [--json] [--simulate DEVICE]...\n"
                          "Lists every connected Ventaro and Ruvo: its kind, its state and its USB port.\n"
                          "\n"
                          "  --json               as one JSON object\n"
                          "  --simulate DEVICE    lists simulated devices instead (may be repeated)\n");
    if (command == "check")
        return translated("Cli",
                          "usage: ventaro-update-cli check [--json] [--feed URL] [--trust-feed PUBLIC_KEY]... "
                          "[--ca-file FILE]\n"
                          "Tells which newer firmware the maker's feed lists for the Ventaro and the Ruvo.\n"
                          "\n"
                          "  --json                  as one JSON object\n"
                          "  --feed URL              this feed rather than the computer's feed-url setting\n"
                          "  --trust-feed PUBLIC_KEY trust this minisign feed key too (may be repeated)\n"
                          "  --ca-file FILE          the certificate authority of a local mirror\n"
                          "Exit status: 0 nothing newer, 100 newer firmware is listed, 1 the feed could not be\n"
                          "checked or was refused, 2 usage error.\n");
    if (command == "update")
        return translated(
            "Cli",
            "usage: ventaro-update-cli update [OPTION]... PACKAGE | --latest\n"
            "Updates a connected Ventaro or Ruvo receiver with the firmware in PACKAGE.\n"
            "\n"
            "  --kind ventaro|ruvo  the device to update; says what a first-generation bootloader is\n"
            "  --port USB-PORT      the device plugged into this port, as list shows it (1-1.4)\n"
            "  --all                every connected device the package has firmware for, at once\n"
            "  --trust PUBLIC_KEY   trust this minisign public key too (may be repeated)\n"
            "  --require-signature  refuse unsigned packages and unknown signers\n"
            "  --allow-older        install firmware older than the one installed\n"
            "  --latest             the newest firmware the maker's feed lists, downloaded and checked,\n"
            "                       instead of PACKAGE (with check's --feed, --trust-feed, --ca-file)\n"
            "  --json               one JSON event per line on standard output\n"
            "  --verbose            the update's log too, on standard error\n"
            "  --quiet              nothing but errors\n"
            "Exit status: 0 success, 1 failure, 2 usage error, 130 cancelled.\n"
            "\n"
            "Simulation, to try the updater without a device:\n"
            "  --simulate DEVICE    a simulated device on USB port 1-1 rather than the computer's;\n"
            "                       with --all, repeated: 1-1, 1-2...\n"
            "  --fault FAULT        a fault of the simulated device named before it (may be repeated)\n"
            "  --flash-in FILE      the simulated device's 1 MiB flash, read before the run\n"
            "  --flash-out FILE     and written after it\n"
            "  --record             records the simulated run in the update history too\n"
            "DEVICE: ventaro, ruvo, ruvo-unnamed, ventaro-bootloader, ruvo-bootloader, v1-bootloader\n"
            "FAULT: unplug-at-request, unplug-at-stage2, unplug-at-roundtrip:K, no-answer:K, wrong-answer:K,\n"
            "       power-cut:K, late-answer:K, duplicate-answer:K, short-answer:K, short-info,\n"
            "       slow-erase:MS, slow-enumeration:MS, refuse-open:MS, stage2-error:TEXT, stage2-stall[:K],\n"
            "       refuse-send (K: a HID roundtrip counted from 0, MS: milliseconds)\n");
    if (command == "history")
        return translated("Cli",
                          "usage: ventaro-update-cli history [--json] [--kind ventaro|ruvo] [--limit N]\n"
                          "       ventaro-update-cli history --log RUN\n"
                          "Lists the updates recorded on this computer, newest first, or prints one run's log.\n"
                          "\n"
                          "  --json               as JSON\n"
                          "  --kind ventaro|ruvo  only the runs on this kind of device\n"
                          "  --limit N            at most N runs (20 by default, up to 1000)\n"
                          "  --log RUN            the whole log of run RUN (its number, as history shows it)\n");
    if (command == "report")
        return translated("Cli",
                          "usage: ventaro-update-cli report [-o FILE]\n"
                          "Writes a support report: versions, the connected devices, the last runs and their logs.\n"
                          "\n"
                          "  -o, --output FILE    into FILE, readable by you only, rather than on standard output\n");
    return translated("Cli",
                      "usage: ventaro-update-cli COMMAND [OPTION]...\n"
                      "Updates the firmware of the Ventaro and of its Ruvo receiver.\n"
                      "\n"
                      "Commands:\n"
                      "  inspect   describes an update package\n"
                      "  list      lists the connected Ventaro and Ruvo\n"
                      "  check     tells which newer firmware the maker's feed lists\n"
                      "  update    updates a connected device\n"
                      "  history   lists the updates recorded on this computer, or prints one's log\n"
                      "  report    writes a support report\n"
                      "\n"
                      "'ventaro-update-cli COMMAND --help' describes a command; --version prints the version.\n");
}

bool asks_json(int argc, char** argv) {
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], "--json") == 0) return true;
    return false;
}

int tell_error(bool json, const char* word, const std::string& text, const char* next) {
    if (json) {
        nlohmann::ordered_json error{{"error", word}, {"text", text}};
        if (next) error["next"] = next;
        print_json(error);
    }
    write_line(stderr, text);
    if (next) write_line(stderr, next);
    return 1;
}

int tell_unreachable(bool json, failure_kind_t kind, const std::string& layer_words) {
    const std::string sentence = translated("Engine", failure_sentence(kind));
    if (json) print_json({{"error", failure_word(kind)}, {"text", sentence}, {"details", printable(layer_words)}});
    write_line(stderr, sentence);
    return 1;
}

int usage_error(bool json, const std::string& command, const std::string& problem) {
    const std::string next = fill(translated("Cli", "Try 'ventaro-update-cli %1 --help'."), {command});
    if (json) print_json({{"error", "usage"}, {"text", printable(problem)}, {"next", next}});
    write_line(stderr, "ventaro-update-cli: " + problem);
    write_line(stderr, next);
    return 2;
}

}  // namespace zal::cli
