// SPDX-License-Identifier: MIT
// Reading a package file: what is no regular file, or too large, is refused,
// and a file that changes while it is read gives an error, never a signal.
#include "update/package_file.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

fs::path temp(const std::string& name) {
    return fs::temp_directory_path() / ("zal-file-" + name + "-" + std::to_string(::getpid()));
}

void write(const fs::path& path, std::size_t size, char fill) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string block(1 << 16, fill);
    for (std::size_t left = size; left > 0; left -= std::min(left, block.size()))
        out.write(block.data(), std::streamsize(std::min(left, block.size())));
}

}  // namespace

TEST(PackageFile, WhatIsReadAndWhatIsRefused) {
    const fs::path file = temp("plain");
    write(file, 100000, 'a');
    auto bytes = zal::read_whole_file(file);
    ASSERT_TRUE(bytes) << bytes.failure().text;
    EXPECT_EQ(bytes->size(), 100000u);
    EXPECT_EQ(bytes->back(), 'a');

    write(file, 0, 'a');
    bytes = zal::read_whole_file(file);
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(bytes->empty());

    // What fails says why, in code and in words.
    auto failure = [](const fs::path& path) {
        const auto read = zal::read_whole_file(path);
        return read ? zal::failure_t{} : read.failure();
    };
    fs::resize_file(file, (32u << 20) + 1);  // sparse: nothing is written
    EXPECT_EQ(failure(file).code, EFBIG);
    EXPECT_EQ(failure(file).text, "larger than 32 MiB");
    fs::remove(file);

    EXPECT_EQ(failure(file).code, ENOENT);
    EXPECT_EQ(failure(file).text, "No such file or directory");
    EXPECT_EQ(failure(fs::temp_directory_path()).text, "Is a directory");
    const fs::path fifo = temp("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(failure(fifo).text, "not a regular file") << "a pipe could block for ever";
    fs::remove(fifo);
    EXPECT_EQ(failure("/dev/zero").code, EINVAL);
    EXPECT_EQ(failure("/dev/zero").text, "not a regular file");
}

// Another process truncates, grows and replaces the file while it is read, as
// a download or a copy that is still running does: every read either gets the
// whole file as it was or says it changed.
TEST(PackageFile, AFileChangingUnderTheReaderGivesAnError) {
    const fs::path file = temp("changing"), other = temp("other");
    constexpr std::size_t size = 8u << 20;
    write(file, size, 'x');
    write(other, size, 'y');
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int round = 0; !stop; ++round) {
            switch (round % 3) {
                case 0: fs::resize_file(file, size / 2); break;
                case 1: fs::resize_file(file, size * 2); break;
                case 2: {
                    write(other, size, 'y');
                    fs::rename(other, file);  // replaced under its name
                    break;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    int whole = 0, changed = 0;
    for (int i = 0; i < 300; ++i) {
        const auto bytes = zal::read_whole_file(file);
        if (bytes) {
            ++whole;
            const std::size_t got = bytes->size();
            EXPECT_TRUE(got == size || got == size / 2 || got == size * 2) << got;
        } else {
            ++changed;
            const std::string& error = bytes.failure().text;
            EXPECT_TRUE(error == "the file changed while it was read; open it again once it is complete" ||
                        error == "No such file or directory")
                << error;
        }
    }
    stop = true;
    changer.join();
    EXPECT_GT(changed, 0) << "the changes never fell inside a read";
    fs::remove(file);
    fs::remove(other);
}
