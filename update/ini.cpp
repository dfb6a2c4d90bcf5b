// SPDX-License-Identifier: MIT
#include "update/ini.hpp"

#include "update/ascii.hpp"

#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace zal {

struct ini_t {
    struct property_t {
        int section;
        std::string name;
        std::string value;
    };
    std::vector<std::string> sections;
    std::vector<property_t> properties;
};

namespace {

// ASCII codes 1 to 32 only: a French description may begin or end with an
// accented letter, whose UTF-8 bytes are all above 127.
bool is_blank(char c) { return c != 0 && static_cast<unsigned char>(c) <= 32; }

void parse(ini_t& ini, const char* p) {
    int section = 0;
    // A UTF-8 byte-order mark, as some editors write one, is no part of the first line.
    if (std::string_view(p).starts_with("\xEF\xBB\xBF")) p += 3;
    for (;;) {
        while (is_blank(*p)) ++p;
        if (*p == ';') {
            while (*p && *p != '\n') ++p;
            continue;
        }
        if (*p == '[') {
            const char* start = ++p;
            while (*p && *p != ']' && *p != '\n') ++p;
            if (*p == ']') {
                ini.sections.emplace_back(start, p);
                section = static_cast<int>(ini.sections.size()) - 1;
                ++p;
            }
            continue;
        }
        if (*p == 0) return;

        const char* line = p;
        const char* equals = p;
        while (*equals && *equals != '=' && *equals != '\n') ++equals;
        if (*equals != '=') {
            p = equals;
            continue;
        }
        const char* name_end = equals;
        while (name_end > line && is_blank(name_end[-1])) --name_end;

        const char* value = equals + 1;
        while (is_blank(*value) && *value != '\n') ++value;
        const char* value_end = value;
        while (*value_end && *value_end != '\n') ++value_end;
        p = value_end;
        while (value_end > value && is_blank(value_end[-1])) --value_end;

        if (value_end == value && *p == '\n') continue;
        ini.properties.push_back({section, std::string(line, name_end), std::string(value, value_end)});
    }
}

}  // namespace

ini_t* ini_load(const char* text) {
    if (text == nullptr) return nullptr;
    try {
        auto* ini = new ini_t;
        ini->sections.reserve(256);
        ini->properties.reserve(256);
        ini->sections.emplace_back();  // the global section
        try {
            parse(*ini, text);
        } catch (...) {
            delete ini;
            throw;
        }
        return ini;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void ini_destroy(ini_t* ini) { delete ini; }

int ini_find_section(const ini_t* ini, const char* name) {
    if (ini == nullptr || name == nullptr) return -1;
    const std::size_t n = std::strlen(name);
    for (std::size_t i = 0; i < ini->sections.size(); ++i) {
        const std::string& s = ini->sections[i];
        if (s.size() >= n && n > 0 && ascii_iequal({s.data(), n}, {name, n})) return static_cast<int>(i);
    }
    return -1;
}

int ini_find_property(const ini_t* ini, int section, const char* name) {
    if (ini == nullptr || name == nullptr) return -1;
    if (section < 0 || section >= static_cast<int>(ini->sections.size())) return -1;
    const std::size_t n = std::strlen(name);
    if (n == 0) return -1;
    int position = 0;
    for (const auto& property : ini->properties) {
        if (property.section != section) continue;
        if (!property.name.empty() && property.name.size() == n && ascii_iequal({property.name.data(), n}, {name, n}))
            return position;
        ++position;
    }
    return -1;
}

const char* ini_property_value(const ini_t* ini, int section, int property) {
    if (ini == nullptr || section < 0 || section >= static_cast<int>(ini->sections.size()) || property < 0)
        return nullptr;
    int position = 0;
    for (const auto& p : ini->properties) {
        if (p.section != section) continue;
        if (position++ == property) return p.value.c_str();
    }
    return nullptr;
}

}  // namespace zal
