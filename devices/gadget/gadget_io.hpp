// SPDX-License-Identifier: MIT
#pragma once

// What the programs on the gadget side share: configfs files, waits on file
// descriptors, and threads blocked in gadgetfs or FunctionFS endpoint I/O, which
// no file descriptor wakes but a signal does.

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/async/thread.hpp"

namespace zal::devices::gadget_io {

[[noreturn]] inline void fail(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

inline void write_file(const std::string& path, const void* data, std::size_t length) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) fail(path);
    const ssize_t written = ::write(fd, data, length);
    const int error = errno;
    ::close(fd);
    errno = error;
    if (written != ssize_t(length)) fail(path);
}

inline void write_file(const std::string& path, const std::string& text) { write_file(path, text.data(), text.size()); }

inline void make_folder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) fail(path);
}

// Waits up to `timeout_ms` for `fd` (none when negative) to be readable or for
// the stop pipe; false once stopped.
inline bool wait_readable(int fd, int stop_fd, int timeout_ms, bool& readable) {
    pollfd fds[2] = {{stop_fd, POLLIN, 0}, {fd, POLLIN, 0}};
    const int n = ::poll(fds, fd >= 0 ? 2 : 1, timeout_ms);
    readable = n > 0 && fd >= 0 && (fds[1].revents & POLLIN);
    return !(n > 0 && (fds[0].revents & POLLIN));
}

// What `open` gives once it gives something, trying for up to `limit`: a node
// the kernel makes as the host enumerates.
template <typename Open>
auto open_within(Open&& open, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        auto handle = open();
        if (handle || std::chrono::steady_clock::now() >= deadline) return handle;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Interrupts a thread blocked in gadgetfs or FunctionFS I/O, which waits
// interruptibly.
inline int interrupt_signal() { return SIGRTMIN + 1; }

inline void install_interrupt_handler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action = {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: the blocked call returns EINTR
        sigaction(interrupt_signal(), &action, nullptr);
    });
}

// One thread of a device, stopped by a flag and the interrupt signal.
struct io_thread_t {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);

    template <typename Body>
    void start(std::string name, Body body) {
        install_interrupt_handler();
        stop->store(false);
        finished->store(false);
        thread = named_thread(std::move(name), [body = std::move(body), stop = stop, finished = finished] {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, interrupt_signal());
            pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
            body(*stop);
            finished->store(true);
        });
    }

    void halt() {
        if (!thread.joinable()) return;
        stop->store(true);
        while (!finished->load()) {
            pthread_kill(thread.native_handle(), interrupt_signal());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        thread.join();
    }
};

}  // namespace zal::devices::gadget_io
