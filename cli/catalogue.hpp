// SPDX-License-Identifier: MIT
#pragma once

// The command-line tool's texts in the user's language. The translations come
// from the application's catalogues (app/translations), made into a table when
// the tool is built; a language without a catalogue shows the English texts.

#include <string>

#include "updater/sentences.hpp"

namespace zal::cli {

struct translation_t {
    const char* language;  // "fr"
    const char* context;   // "Engine", "Cli"
    const char* english;
    const char* text;
};

// The build's table; the last row is all null.
extern const translation_t translations[];

// Chooses the language of the messages' locale, from LC_ALL, LC_MESSAGES or
// LANG ("fr_FR.UTF-8": French).
void use_language_of_locale();

// "en", "fr": the language chosen.
const std::string& chosen_language();

// `english`, of this context, in the chosen language; itself when untranslated.
// lupdate reads the calls with a literal text as it reads QT_TRANSLATE_NOOP.
const char* translated(const char* context, const char* english);

// What both front ends tell a user, in the chosen language, for a terminal.
std::string said(const sentence_t& sentence);

// "2026-12-01" as the chosen language writes a day; any other text unchanged.
std::string said_date(const std::string& iso_date);

}  // namespace zal::cli
