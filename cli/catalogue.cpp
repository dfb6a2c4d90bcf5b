// SPDX-License-Identifier: MIT
#include "cli/catalogue.hpp"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "common/text/printable.hpp"

namespace zal::cli {

namespace {

std::string language = "en";

}  // namespace

void use_language_of_locale() {
    // Read as setlocale reads them, but without needing the locale installed:
    // a French desktop without fr_FR generated still wants French texts.
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(variable); value && *value) {
            name = value;
            break;
        }
    name = name.substr(0, name.find_first_of("_.@"));
    language = name.empty() || name == "C" || name == "POSIX" ? "en" : name;
}

const std::string& chosen_language() { return language; }

const char* translated(const char* context, const char* english) {
    for (const translation_t* t = translations; t->language; ++t)
        if (language == t->language && std::strcmp(context, t->context) == 0 && std::strcmp(english, t->english) == 0)
            return t->text;
    return english;
}

std::string said(const sentence_t& sentence) { return fill(translated("Engine", sentence.english), sentence.values); }

std::string said_date(const std::string& iso_date) {
    std::tm day{};
    const char* end = ::strptime(iso_date.c_str(), "%Y-%m-%d", &day);
    if (!end || *end) return iso_date;
    char text[64];
    return std::strftime(text, sizeof text, translated("Cli", "%Y-%m-%d"), &day) ? text : iso_date;
}

}  // namespace zal::cli
