#include "notify/HeaderText.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace uptorra {
namespace {

// GBK characters are spelt as escapes so that the native build (UTF-8 literals) sees the same
// bytes. "\xB0\x61" is one character whose trail byte is 'a'; "\x81\x5B" and "\x81\x5D" end in
// '[' and ']'; "\x95\x5C" ends in a backslash.

struct TextCase {
  const char* input;
  const char* expected;
  friend std::ostream& operator<<(std::ostream& os, const TextCase& c) { return os << c.input; }
};

class NormalizeHeaderCaseTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(NormalizeHeaderCaseTest, CapitalisesNamesAndDropsLinesWithoutColon) {
  EXPECT_EQ(NormalizeHeaderCase(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NormalizeHeaderCaseTest,
    ::testing::Values(
        TextCase{"content-type:application/json\r\nx-requested-with: XMLHttpRequest",
                 "Content-Type:application/json\r\nX-Requested-With: XMLHttpRequest"},
        TextCase{"Content-Type:application/json", "Content-Type:application/json"},
        TextCase{"content-TYPE: text/plain", "Content-TYPE: text/plain"},  // only first letters change
        TextCase{"stray\r\naccept: a\r\n\r\nword", "Accept: a"},           // no colon: dropped
        TextCase{"a--b: 1", "A--B: 1"},
        TextCase{"x-: 1", "X-: 1"},  // a trailing dash stays where it was
        TextCase{"-a: 1", "-A: 1"},
        TextCase{"host: a:b:c", "Host: a:b:c"},  // the rest of the line from the colon on is kept
        TextCase{"cookie:a=1\r\n", "Cookie:a=1"},  // no CR LF after the last line
        TextCase{"\xB0\x61-a: v", "\xB0\x61-A: v"},  // a trail byte 'a' is not a letter
        TextCase{"", ""}, TextCase{"nocolon", ""}, TextCase{"\r\n\r\n", ""}));

class CapitalizeFirstTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(CapitalizeFirstTest, UpperCasesTheFirstCharacterOnly) {
  EXPECT_EQ(CapitalizeFirst(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, CapitalizeFirstTest,
                         ::testing::Values(TextCase{"abc", "Abc"}, TextCase{"aBC", "ABC"}, TextCase{"ABC", "ABC"},
                                           TextCase{"", ""}, TextCase{"1a", "1a"}, TextCase{"-a", "-a"},
                                           TextCase{"\xB0\x61x", "\xB0\x61x"}));

struct BetweenCase {
  const char* text;
  const char* left;
  const char* right;
  std::optional<std::size_t> start;
  bool ignoreCase;
  const char* expected;
  friend std::ostream& operator<<(std::ostream& os, const BetweenCase& c) {
    return os << c.text << " | " << c.left << " | " << c.right;
  }
};

class TextBetweenTest : public ::testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetweenTest, FindsTheValueBetweenMarkers) {
  const BetweenCase& c = GetParam();
  EXPECT_EQ(TextBetween(c.text, c.left, c.right, c.start, c.ignoreCase), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextBetweenTest,
    ::testing::Values(
        BetweenCase{"a[b]c", "[", "]", std::nullopt, false, "b"},
        BetweenCase{"a[b]c[d]", "[", "]", std::nullopt, false, "b"},  // the first left marker
        BetweenCase{"abc", "[", "]", std::nullopt, false, ""},        // left marker absent
        BetweenCase{"a[bc", "[", "]", std::nullopt, false, ""},       // right marker absent
        BetweenCase{"a]b[c", "[", "]", std::nullopt, false, ""},      // right marker only in front
        BetweenCase{"[]", "[", "]", std::nullopt, false, ""},
        // "#引号" stands for a double quote, in either marker.
        BetweenCase{"say \"hi\" now", "#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", std::nullopt, false, "hi"},
        BetweenCase{"k=\"v\";", "k=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5;", std::nullopt, false, "v"},
        // Start positions count bytes from 1; 0 counts as 1.
        BetweenCase{"[a][b]", "[", "]", 1, false, "a"},
        BetweenCase{"[a][b]", "[", "]", 2, false, "b"},
        BetweenCase{"[a][b]", "[", "]", 0, false, "a"},
        BetweenCase{"[a][b]", "[", "]", 99, false, ""},
        // Letter case.
        BetweenCase{"X-User-AGENT: ua\r\n", "user-agent:", "\r\n", std::nullopt, false, ""},
        BetweenCase{"X-User-AGENT: ua\r\n", "user-agent:", "\r\n", std::nullopt, true, " ua"},
        BetweenCase{"<A>x</A>", "<a>", "</a>", std::nullopt, true, "x"},
        // Markers are never found inside a double-byte character.
        BetweenCase{"\x81\x5B" "a]", "[", "]", std::nullopt, false, ""},
        BetweenCase{"[a\x81\x5D]", "[", "]", std::nullopt, false, "a\x81\x5D"},
        BetweenCase{"\xB0\x61" "b:1", "a", ":", std::nullopt, true, ""}));

TEST(TextBefore, TextInFrontOfTheFirstMarker) {
  EXPECT_EQ(TextBefore("Set-Cookie: a=1", ": "), "Set-Cookie");
  EXPECT_EQ(TextBefore("a: b: c", ": "), "a");
  EXPECT_EQ(TextBefore("Set-Cookie:a=1", ": "), "");  // marker absent
  EXPECT_EQ(TextBefore(": x", ": "), "");              // marker first
  EXPECT_EQ(TextBefore("A: x", "a"), "");              // compared with case
  EXPECT_EQ(TextBefore("\x95\x5Cx\\y", "\\"), "\x95\x5Cx");
}

TEST(ValueAfterColon, TrimmedTextAfterTheFirstColon) {
  EXPECT_EQ(ValueAfterColon("User-Agent:  UA 1 "), "UA 1");
  EXPECT_EQ(ValueAfterColon("a:b:c"), "b:c");
  EXPECT_EQ(ValueAfterColon("a:"), "");
  EXPECT_EQ(ValueAfterColon("no colon"), "");
  EXPECT_EQ(ValueAfterColon("a:\xA1\xA1x\xA1\xA1"), "x");  // full-width blanks count as blanks
}

TEST(FindTextIgnoringCase, FoldsAsciiLettersOnly) {
  EXPECT_EQ(FindTextIgnoringCase("xxACCEPT:", "accept:"), 2u);
  EXPECT_EQ(FindTextIgnoringCase("\xB0\x41" "a", "aa"), std::string_view::npos);  // trail 'A' is no letter
  EXPECT_EQ(FindTextIgnoringCase("\xB0\x41" "a", "\xB0\x61"), std::string_view::npos);
  EXPECT_EQ(FindTextIgnoringCase("ab", ""), 0u);
}

TEST(LowerAscii, LeavesDoubleByteCharactersAlone) {
  EXPECT_EQ(LowerAscii("HTTP://WWW.X.COM/"), "http://www.x.com/");
  EXPECT_EQ(LowerAscii("\xB0\x41Z"), "\xB0\x41z");
}

}  // namespace
}  // namespace uptorra
