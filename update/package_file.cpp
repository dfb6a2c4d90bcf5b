// SPDX-License-Identifier: MIT
#include "update/package_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zal {

namespace {

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

result_t<std::vector<unsigned char>> read_whole_file(const std::string& path) {
    // Non-blocking, so that a named pipe cannot hold the open until a writer comes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    auto failed = [fd](int code, std::string text = {}) {
        if (fd >= 0) ::close(fd);
        return failure_t{code, text.empty() ? std::strerror(code) : std::move(text)};
    };
    if (fd < 0) return failed(errno);
    struct stat before;
    if (::fstat(fd, &before) != 0) return failed(errno);
    if (S_ISDIR(before.st_mode)) return failed(EISDIR);
    if (!S_ISREG(before.st_mode)) return failed(EINVAL, "not a regular file");
    if (uint64_t(before.st_size) > max_package_size)
        return failed(EFBIG, "larger than " + std::to_string(max_package_size >> 20) + " MiB");

    // One byte more than the size told, to see a file that grew.
    const std::size_t expected = std::size_t(before.st_size);
    std::vector<unsigned char> bytes(expected + 1);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed(errno);
        if (n == 0) break;
        got += std::size_t(n);
    }
    const std::string changed = "the file changed while it was read; open it again once it is complete";
    struct stat after, now;
    if (got != expected || ::fstat(fd, &after) != 0 || !same_file(before, after)) return failed(EAGAIN, changed);
    // Replaced under its name meanwhile: what was read is no longer what the path names.
    if (::stat(path.c_str(), &now) != 0 || !same_file(before, now)) return failed(EAGAIN, changed);
    ::close(fd);
    bytes.resize(expected);
    return bytes;
}

}  // namespace zal
