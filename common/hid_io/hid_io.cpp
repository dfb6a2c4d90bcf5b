// SPDX-License-Identifier: MIT
#include "common/hid_io/hid_io.hpp"

#include <atomic>

namespace zal::hid_io {

namespace {
std::atomic<backend_t*> current{nullptr};
}

void set_backend(backend_t* backend) { current = backend; }

backend_t& backend() {
    backend_t* chosen = current;
    return chosen ? *chosen : hidapi_backend();
}

}  // namespace zal::hid_io
