#include "settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

struct Case {
  const char* name;
  std::string raw;
  std::string replacement, search;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class ParseSettings : public testing::TestWithParam<Case> {};

TEST_P(ParseSettings, GivesTheTwoValues) {
  const Case& c = GetParam();
  const ReplaceSettings settings = parseSettings(c.raw);
  EXPECT_EQ(settings.replacementText, c.replacement);
  EXPECT_EQ(settings.searchText, c.search);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseSettings,
    testing::Values(
        Case{"DefaultFile", kDefaultSettings, "hometown", "mobile"},
        Case{"NoLineEndAfterLineTwo",
             "New_StringName= hometown\r\nOld_StringName= mobile",
             "hometown", "mobile"},
        Case{"LfLineEnds", "New_StringName= hometown\nOld_StringName= mobile\n",
             "hometown", "mobile"},
        Case{"SpacesBelongToTheValue", "a= x y \r\nb=  z\r\n", "x y ", " z"},
        Case{"FirstLineWithoutSpace", "abc\r\nOld_StringName= mobile\r\n",
             "mobile", ""},
        Case{"TabIsNotASeparator", "New=\thometown\r\nOld= mobile\r\n",
             "mobile", ""},
        Case{"EmptyFile", "", "", ""},
        Case{"SingleLine", "New= x", "x", ""},
        Case{"SingleLineWithLineEnd", "New= x\r\n", "x", ""},
        Case{"ByteOrderMarkJoinsTheLabel",
             "\xEF\xBB\xBFNew= hometown\r\nOld= mobile\r\n", "hometown",
             "mobile"},
        Case{"SubstituteByteEndsTheData", "New= a\r\nOld= mo\x1a" "bile\r\n",
             "a", "mo"},
        Case{"SubstituteByteInLineOne", "New= ho\x1ametown\r\nOld= mobile\r\n",
             "ho", ""},
        Case{"LoneCrStays", "New= a\rb\r\nOld= c\r\r\n", "a\rb", "c\r"},
        Case{"NulBytesInValues", "New= a\0b\r\nOld= \0\r\n"s, "a\0b"s, "\0"s},
        Case{"EmptyValues", "New= \r\nOld= \r\n", "", ""},
        Case{"LaterLinesIgnored", "a= 1\nb= 2\nc= 3\n", "1", "2"},
        Case{"LabelsAreNotLookedAt", "Old_StringName= x\nNew_StringName= y\n",
             "x", "y"},
        Case{"EqualsSignPlaysNoPart", "a=b c\nd=e f\n", "c", "f"},
        Case{"OnlyLineEnds", "\r\n\r\n\r\n", "", ""}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(TextMode, TranslatesLikeTheWindowsRuntime) {
  EXPECT_EQ(applyTextMode("a\r\nb\rc\r\r\nd\r"), "a\nb\rc\r\nd\r");
  EXPECT_EQ(applyTextMode("ab\x1a\r\ncd"), "ab");
  EXPECT_EQ(applyTextMode("\n\r\n"), "\n\n");
}

TEST(DefaultSettings, AreTheFiftyBytesUsersExpect) {
  const std::string text = kDefaultSettings;
  EXPECT_EQ(text.size(), 50u);
  EXPECT_EQ(text, "New_StringName= hometown\r\nOld_StringName= mobile\r\n");
}

}  // namespace
