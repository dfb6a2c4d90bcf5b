// SPDX-License-Identifier: MIT
#pragma once

// The application's texts. They are written in English where they are used,
// as Messages::tr("..."), or named by a symbolic "ZAL" key whose English text
// is in strings.cpp; lupdate collects both into app/translations, one Qt
// Linguist catalogue per language. The engine's texts, in the context
// "Engine", come from the engine in English and are translated here.

#include <QCoreApplication>
#include <QString>

#include <string>

#include "update/update.hpp"
#include "updater/package_verdict.hpp"
#include "updater/sentences.hpp"

// The context of the application's own texts, for tr() and for lupdate.
struct Messages {
    Q_DECLARE_TR_FUNCTIONS(Messages)
};

namespace zal::gui {

// The text of a "ZAL" key, or of an English text of the context Messages, in
// the current language. A key without an entry shows unchanged.
QString localized(const char* key);

// An English text from the engine (context "Engine") in the current language;
// a device's own words, which have no translation, show as they are.
QString engine_text(const char* english);

// What both front ends tell a user, in the current language.
QString said(const sentence_t& sentence);

// The notice of a package older than the installed firmware, its day as
// this language writes a date; for a verdict with `older`.
QString older_notice_text(const updater::package_verdict_t& verdict);

// Text from outside (a package's, a file name, a device's, a history row) as
// every widget shows it: control characters escaped, as on the terminal.
QString printable_text(const std::string& text);

// The English text of a "ZAL" key, or null for another key.
const char* english_text_of(const char* key);

// Whether the application speaks this language ("fr"): English always, any
// other when its catalogue is built in.
bool has_catalogue(const QString& language);

// The first of the desktop's languages that the application speaks.
QString preferred_language();

// Shows the application's texts and Qt's own in this language (English when it
// has no catalogue), and chooses the language of a package's notes.
void use_language(const QString& language);

// The language chosen last ("en" at first).
QString language();

// Which of a package's notes to show in that language.
lang_t notes_language();

// The invalid-package sentence, whose key holds the maker's web site.
const char* invalid_package_key();

}  // namespace zal::gui
