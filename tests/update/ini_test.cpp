// SPDX-License-Identifier: MIT
#include "update/ini.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace zal;

namespace {

struct doc {
    explicit doc(const char* text) : ini(ini_load(text), ini_destroy) {}
    std::unique_ptr<ini_t, void (*)(ini_t*)> ini;

    // The value of `name` in the first section matching `section`, or "<none>".
    std::string value(const char* section, const char* name) const {
        const int s = section ? ini_find_section(ini.get(), section) : 0;
        const int p = ini_find_property(ini.get(), s, name);
        const char* v = ini_property_value(ini.get(), s, p);
        return v ? v : "<none>";
    }
};

}  // namespace

TEST(Ini, GlobalPropertiesStayInTheGlobalSection) {
    doc d("product=x\n[general]\nversion=1\n");
    EXPECT_EQ(d.value(nullptr, "product"), "x");
    EXPECT_EQ(d.value("general", "product"), "<none>");
    EXPECT_EQ(d.value("general", "version"), "1");
}

TEST(Ini, NamesAndValuesAreTrimmed) {
    doc d("[general]\r\n  Version =  1.2.3b4  \r\nnotes=a=b\nkey=x ; comment\n");
    EXPECT_EQ(d.value("general", "version"), "1.2.3b4");
    EXPECT_EQ(d.value("general", "VERSION"), "1.2.3b4");
    EXPECT_EQ(d.value("general", "notes"), "a=b");
    EXPECT_EQ(d.value("general", "key"), "x ; comment");
    EXPECT_EQ(d.value("general", "versions"), "<none>");
    EXPECT_EQ(d.value("general", "ver"), "<none>");
}

// Only ASCII blanks are trimmed: accented letters at the edges stay; a
// byte-order mark at the start is skipped.
TEST(Ini, AccentedLettersAtTheEdgesStay) {
    doc d("\xEF\xBB\xBF[general]\ndescription-fr=\xC3\x89t\xC3\xA9\nother=Mise \xC3\xA0 jour\n");
    EXPECT_EQ(ini_find_section(d.ini.get(), "general"), 1);
    EXPECT_EQ(d.value("general", "description-fr"), "\xC3\x89t\xC3\xA9");
    EXPECT_EQ(d.value("general", "other"), "Mise \xC3\xA0 jour");
}

TEST(Ini, SectionHeaders) {
    doc one_line("[general] product=x\n[general\nversion=2\n");
    EXPECT_EQ(one_line.value("general", "product"), "x");
    EXPECT_EQ(one_line.value("general", "version"), "2");  // the broken header left the section unchanged

    doc twice("[General Information]\na=1\n[general]\na=2\nb=3\n");
    EXPECT_EQ(twice.value("general", "a"), "1");
    EXPECT_EQ(twice.value("general", "b"), "<none>");

    doc prefix("[gen]\n[ general]\n[generalities]\na=1\n[]\nb=2\n");
    EXPECT_EQ(ini_find_section(prefix.ini.get(), "general"), 3);
    EXPECT_EQ(ini_find_section(prefix.ini.get(), "gen"), 1);
    EXPECT_EQ(ini_find_section(prefix.ini.get(), ""), -1);
    EXPECT_EQ(ini_find_section(prefix.ini.get(), nullptr), -1);
}

TEST(Ini, FirstOfTwoPropertiesWins) {
    doc d("[general]\nversion=1\nversion=2\n");
    EXPECT_EQ(d.value("general", "version"), "1");
    EXPECT_EQ(ini_property_value(d.ini.get(), 1, 1), std::string("2"));
    EXPECT_EQ(ini_property_value(d.ini.get(), 1, 2), nullptr);
}

TEST(Ini, EmptyValues) {
    doc at_line_end("[general]\nreleasedate=\nproduct=  \r\n");
    EXPECT_EQ(at_line_end.value("general", "releasedate"), "<none>");
    EXPECT_EQ(at_line_end.value("general", "product"), "<none>");
    doc at_text_end("[general]\nreleasedate=");
    EXPECT_EQ(at_text_end.value("general", "releasedate"), "");
}

TEST(Ini, PositionsCountOnlyTheirSection) {
    doc d("[a]\nx=1\n[b]\ny=2\n[a]\nz=3\n[b]\nw=4\n");
    const int b = ini_find_section(d.ini.get(), "b");
    EXPECT_EQ(ini_find_property(d.ini.get(), b, "y"), 0);
    EXPECT_EQ(ini_find_property(d.ini.get(), 4, "w"), 0);
    EXPECT_EQ(ini_find_property(d.ini.get(), 99, "w"), -1);
    EXPECT_EQ(ini_find_property(d.ini.get(), b, ""), -1);
}

TEST(Ini, EmptyAndCommentOnlyTexts) {
    for (const char* text : {"", "  \n\t\r\n", "; only a comment\n;another", "no equals sign here\n"}) {
        doc d(text);
        ASSERT_NE(d.ini, nullptr);
        EXPECT_EQ(ini_property_value(d.ini.get(), 0, 0), nullptr) << text;
        EXPECT_EQ(ini_find_section(d.ini.get(), "general"), -1);
    }
}

TEST(Ini, ManySectionsAndPropertiesGrowPastTheFirstAllocation) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "[s" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    doc d(text.c_str());
    EXPECT_EQ(d.value("s999", "k"), "999");
}
