// SPDX-License-Identifier: MIT
// ventaro-update-cli: checks update packages, lists the connected devices and
// updates them from a terminal.

#include <malloc.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/catalogue.hpp"
#include "cli/check_command.hpp"
#include "cli/help.hpp"
#include "cli/history_command.hpp"
#include "cli/inspect.hpp"
#include "cli/list_command.hpp"
#include "cli/update_command.hpp"
#include "common/text/printable.hpp"

namespace {

bool is_help(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

}  // namespace

int main(int argc, char** argv) {
    // Keep freed megabytes for the next buffer instead of handing them back to
    // the kernel and faulting them in again: a quarter of `inspect`'s time.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // Every message, a usage problem's too, in the user's language.
    std::setlocale(LC_ALL, "");
    zal::cli::use_language_of_locale();
    const std::string command = argc >= 2 ? argv[1] : "";
    if (argc == 2 && command == "--version") {
        std::puts("ventaro-update-cli " ZAL_VERSION);
        return 0;
    }
    const bool known = command == "inspect" || command == "update" || command == "check" || command == "list" ||
                       command == "history" || command == "report";
    // Help wherever it is asked for, as a value too: a file named -h is rarer than a late --help.
    // A misspelt command asking for help is still a misspelt command.
    const bool unknown = !known && !command.empty() && command[0] != '-';
    for (int i = 1; i < argc && !unknown; ++i)
        if (is_help(argv[i])) {
            std::fputs(zal::cli::help_text(known ? command : "").c_str(), stdout);
            return 0;
        }
    if (command == "inspect") return zal::cli::inspect(argc, argv);
    if (command == "update") return zal::cli::update_command(argc, argv);
    if (command == "check") return zal::cli::check_command(argc, argv);
    if (command == "list") return zal::cli::list_command(argc, argv);
    if (command == "history") return zal::cli::history_command(argc, argv);
    if (command == "report") return zal::cli::report_command(argc, argv);
    if (!command.empty())
        std::fprintf(stderr, "ventaro-update-cli: %s '%s'\n", zal::cli::translated("Cli", "unknown command"),
                     zal::printable(command).c_str());
    std::fputs(zal::cli::help_text("").c_str(), stderr);
    return 2;
}
