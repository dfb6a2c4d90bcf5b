// SPDX-License-Identifier: MIT
#pragma once

// Each command's help, and how a command that cannot go on says so.

#include <string>

#include "updater/kind.hpp"

namespace zal::cli {

// The help of `command` ("update"...), or the tool's list of commands for an
// empty one, in the user's language.
std::string help_text(const std::string& command);

// Whether --json is among the command's arguments: its answer is JSON whatever happens.
bool asks_json(int argc, char** argv);

// A failure before the command could do its work: `text`, then on a line of
// its own what to do next, if given, on stderr, and with --json an object on
// stdout ({"error": word, "text": ..., "next": ...}). Returns 1.
int tell_error(bool json, const char* word, const std::string& text, const char* next = nullptr);

// MIDI or HID cannot be reached (kind midi_unavailable or hid_unavailable):
// says so and what to do; the layer's own words, which may name its source
// line, go only to JSON's details. Returns the exit status, 1.
int tell_unreachable(bool json, failure_kind_t kind, const std::string& layer_words = {});

// A usage error: the problem, then where the command's help is. Returns 2.
int usage_error(bool json, const std::string& command, const std::string& problem);

}  // namespace zal::cli
