// SPDX-License-Identifier: MIT
#include "cli/read_file.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace zal::cli {

bool file_bytes_t::open(const char* path, std::string& error) {
    // Non-blocking, so that a named pipe cannot hold the open until a writer comes.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    auto failed = [&](int code) {
        error = std::strerror(code);
        if (fd >= 0) ::close(fd);
        return false;
    };
    if (fd < 0) return failed(errno);
    struct stat info;
    if (::fstat(fd, &info) != 0) return failed(errno);
    if (S_ISDIR(info.st_mode)) return failed(EISDIR);
    // A pipe, a device or a socket could block or never end.
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        error = "not a regular file";
        return false;
    }
    if (info.st_size > off_t(max_file_size)) {
        ::close(fd);
        error = "larger than " + std::to_string(max_file_size >> 20) + " MiB";
        return false;
    }

    if (info.st_size > 0) {
        void* p = ::mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (p != MAP_FAILED) {
            mapped_ = static_cast<unsigned char*>(p);
            mapped_size_ = std::size_t(info.st_size);
            ::close(fd);
            return true;
        }
    }
    unsigned char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed(errno);
        if (n == 0) break;
        if (read_.size() + std::size_t(n) > max_file_size) return failed(EFBIG);
        read_.insert(read_.end(), chunk, chunk + n);
    }
    ::close(fd);
    return true;
}

file_bytes_t::~file_bytes_t() {
    if (mapped_) ::munmap(mapped_, mapped_size_);
}

}  // namespace zal::cli
