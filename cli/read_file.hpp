#pragma once

#include <string>
#include <vector>

namespace zal::cli {

// The whole file, or false with the system's error text in `error`.
bool read_file(const char* path, std::vector<unsigned char>& bytes, std::string& error);

}  // namespace zal::cli
