// SPDX-License-Identifier: MIT
#pragma once

// Marks a text a user reads, written in English, and the context it belongs to
// ("Engine", "Cli", ...). lupdate collects the marked texts into the catalogues
// of app/translations; the program that shows a text translates it from there
// (the application through QTranslator, the command-line tool through the
// table built from the same catalogues). The core itself speaks English only.
#define ZAL_TEXT(context, english) english
