// SPDX-License-Identifier: MIT
// ventaro-update-cli: checks update packages, lists the connected devices and
// updates them from a terminal.

#include <malloc.h>

#include <cstdio>
#include <cstring>

#include "cli/check_command.hpp"
#include "cli/history_command.hpp"
#include "cli/inspect.hpp"
#include "cli/list_command.hpp"
#include "cli/update_command.hpp"

namespace {

int usage() {
    std::fputs(zal::cli::usage_text, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Keep freed megabytes for the next buffer instead of handing them back to
    // the kernel and faulting them in again: a quarter of `inspect`'s time.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(zal::cli::usage_text, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("ventaro-update-cli " ZAL_VERSION);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "inspect") == 0) return zal::cli::inspect(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "update") == 0) return zal::cli::update_command(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "check") == 0) return zal::cli::check_command(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "list") == 0) return zal::cli::list_command(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "history") == 0) return zal::cli::history_command(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "report") == 0) return zal::cli::report_command(argc, argv);
    return usage();
}
