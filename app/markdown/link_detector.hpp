// SPDX-License-Identifier: MIT
#pragma once

// Finds links in plain text, after the GitHub "autolinks (extension)" rules:
// URLs with a scheme ("https://..."), "www." addresses and e-mail addresses.
// A link starts at a line start, after white space or after one of ( * _ ~ [ <;
// trailing punctuation is not part of it, nor is a closing parenthesis that
// does not close one opened inside the link. Bare domains are not links.

#include <QStringView>

#include <optional>

namespace zal::gui {

struct found_link_t {
    qsizetype start;
    qsizetype length;
    bool email;
};

std::optional<found_link_t> find_link(QStringView text, qsizetype from);

}  // namespace zal::gui
