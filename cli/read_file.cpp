#include "cli/read_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace zal::cli {

namespace {
// No real package comes near this; refusing keeps a wrong path from filling memory.
constexpr long max_file_size = 1L << 30;
}

bool read_file(const char* path, std::vector<unsigned char>& bytes, std::string& error) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path, "rb"), std::fclose);
    auto failed = [&](int code) {
        error = std::strerror(code);
        return false;
    };
    if (!file) return failed(errno);
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return failed(errno);
    const long size = std::ftell(file.get());
    if (size < 0) return failed(errno);
    if (size > max_file_size) return failed(EFBIG);
    std::rewind(file.get());
    bytes.resize(std::size_t(size));
    if (size > 0 && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return failed(EIO);
    return true;
}

}  // namespace zal::cli
