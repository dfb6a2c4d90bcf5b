// ventaro-update-cli: checks update packages from a terminal.

#include <cstdio>
#include <cstring>

#include "cli/inspect.hpp"

namespace {

int usage() {
    std::fprintf(stderr, "usage: ventaro-update-cli inspect PACKAGE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "inspect") == 0) return zal::cli::inspect(argv[2]);
    return usage();
}
