#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zal::cli {

// A whole file in memory: mapped when it is a regular file, else read.
class file_bytes_t {
public:
    // False with the system's error text in `error`.
    bool open(const char* path, std::string& error);
    ~file_bytes_t();

    const unsigned char* data() const { return mapped_ ? mapped_ : read_.data(); }
    std::size_t size() const { return mapped_ ? mapped_size_ : read_.size(); }

private:
    unsigned char* mapped_ = nullptr;
    std::size_t mapped_size_ = 0;
    std::vector<unsigned char> read_;
};

}  // namespace zal::cli
