// SPDX-License-Identifier: MIT
#pragma once

// How a seam says that it failed (the HID backend, the MIDI service, reading a
// file, the USB gadget): an errno value the caller can act on, and the words of
// the layer below for the log. Exceptions are kept for the sentences that must
// reach the user unchanged.

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace zal {

struct failure_t {
    int code = 0;      // an errno value, never 0
    std::string text;  // the layer's own words
};

// What a seam answers: what was asked for, or why not.
template <class T>
class result_t {
public:
    result_t(T value) : value_(std::move(value)) {}              // NOLINT(google-explicit-constructor)
    result_t(failure_t failure) : value_(std::move(failure)) {}  // NOLINT(google-explicit-constructor)

    explicit operator bool() const { return value_.index() == 0; }
    T& operator*() { return std::get<0>(value_); }
    const T& operator*() const { return std::get<0>(value_); }
    T* operator->() { return &std::get<0>(value_); }
    const T* operator->() const { return &std::get<0>(value_); }
    const failure_t& failure() const { return std::get<1>(value_); }

private:
    std::variant<T, failure_t> value_;
};

// What a seam that only acts answers: done (the default), or why not.
template <>
class result_t<void> {
public:
    result_t() = default;
    result_t(failure_t failure) : failure_(std::move(failure)) {}  // NOLINT(google-explicit-constructor)

    explicit operator bool() const { return !failure_; }
    const failure_t& failure() const { return *failure_; }

private:
    std::optional<failure_t> failure_;
};

}  // namespace zal
