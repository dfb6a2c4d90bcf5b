// SPDX-License-Identifier: MIT
#pragma once

// Reading a package, or a flash image, from a file: the one reader of the
// application and the command-line tool.

#include <cstddef>
#include <string>
#include <vector>

#include "common/failure.hpp"
#include "update/update.hpp"

namespace zal {

// Reads a whole regular file of at most `max_package_size` bytes with ordinary
// reads: a file that shrinks or grows meanwhile gives an error, never a signal
// (a mapping would fault on the bytes a truncation took away). A failure says
// the system's error, that the path is not a regular file (EINVAL: a pipe or a
// device could block or never end), that it is too large (EFBIG), or that it
// changed while it was read (EAGAIN).
result_t<std::vector<unsigned char>> read_whole_file(const std::string& path);

}  // namespace zal
