// SPDX-License-Identifier: MIT
#pragma once

// Reading a package, or a flash image, from a file: the one reader of the
// application and the command-line tool.

#include <cstddef>
#include <string>
#include <vector>

#include "update/update.hpp"

namespace zal {

// Reads a whole regular file of at most `max_package_size` bytes with ordinary
// reads: a file that shrinks or grows meanwhile gives an error, never a signal
// (a mapping would fault on the bytes a truncation took away). False with the
// reason in `error`: the system's error text, that the path is not a regular
// file (a pipe or a device could block or never end), that it is too large,
// or that it changed while it was read.
bool read_whole_file(const std::string& path, std::vector<unsigned char>& bytes, std::string& error);

}  // namespace zal
