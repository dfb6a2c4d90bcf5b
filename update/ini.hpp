// SPDX-License-Identifier: MIT
#pragma once

// A small reader for INI text: '[section]' headers and 'name=value' lines.
// Loading never rejects a text; lookups report what is missing with -1 or null.

namespace zal {

struct ini_t;

// Parses a terminated text. Yields null only when memory runs out.
ini_t* ini_load(const char* text);
void ini_destroy(ini_t* ini);

// The first section whose name begins with `name` (ASCII case ignored), or -1.
int ini_find_section(const ini_t* ini, const char* name);

// The position within `section` of the first property named exactly `name`
// (ASCII case ignored), or -1.
int ini_find_property(const ini_t* ini, int section, const char* name);

// The value of the property at `property` within `section`, or null.
const char* ini_property_value(const ini_t* ini, int section, int property);

}  // namespace zal
