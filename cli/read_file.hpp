// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zal::cli {

// A whole regular file in memory, mapped (read when it cannot be mapped).
class file_bytes_t {
public:
    // The largest file accepted: an update package, or a 1 MiB flash image.
    static constexpr std::size_t max_file_size = std::size_t(32) << 20;

    // False with the reason in `error`: the system's error text, or that the
    // path is not a regular file or is larger than `max_file_size`.
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
