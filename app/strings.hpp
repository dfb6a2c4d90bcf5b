// SPDX-License-Identifier: MIT
#pragma once

// The application's string table: English texts are their own keys; symbolic
// keys begin with "ZAL". A key without an entry shows unchanged.

#include <QString>

#include <string>

namespace zal::gui {

// The text for a key in the current language.
QString localized(const char* key);

// The pattern with its first "%s", then its second, replaced by these texts.
QString format(const QString& pattern, const QString& a);
QString format(const QString& pattern, const QString& a, const QString& b);

// The English text of a "ZAL" key, or null for another key.
const char* english_text_of(const char* key);

// Loads the catalogue of the current language into the application.
void install_translations();

// The "ZAL" key of the plain sentence that tells a user what an engine's
// failure message means.
const char* plain_failure_key(const std::string& message);

// The invalid-package sentence, whose key holds the maker's web site.
const char* invalid_package_key();

}  // namespace zal::gui
