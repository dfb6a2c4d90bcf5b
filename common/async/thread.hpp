// SPDX-License-Identifier: MIT
#pragma once

// Threads with names, so that `top -H`, gdb and /proc show what each one does.

#include <pthread.h>

#include <string>
#include <thread>
#include <utility>

namespace zal {

// Linux keeps the first 15 bytes of a name.
inline void name_this_thread(const std::string& name) {
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

// A std::thread that names itself before it runs `body`.
template <typename Body>
std::thread named_thread(std::string name, Body body) {
    return std::thread([name = std::move(name), body = std::move(body)]() mutable {
        name_this_thread(name);
        body();
    });
}

}  // namespace zal
