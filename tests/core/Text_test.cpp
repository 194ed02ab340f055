#include "core/Text.h"

#include <gtest/gtest.h>

#include <limits>

namespace uptorra {
namespace {

struct IntCase {
  const char* text;
  std::int32_t value;
};

class IntValueTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(IntValueTest, ReadsLeadingInteger) { EXPECT_EQ(IntValue(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Table, IntValueTest,
                         ::testing::Values(IntCase{"80", 80}, IntCase{"80端口", 80}, IntCase{"  -12x", -12},
                                           IntCase{"+7", 7}, IntCase{"\t\r\n 5", 5}, IntCase{"", 0},
                                           IntCase{"端口80", 0}, IntCase{"-", 0}, IntCase{"25(示例)", 25},
                                           IntCase{"2147483647", 2147483647},
                                           IntCase{"2147483648", 2147483647},
                                           IntCase{"99999999999999999999999", 2147483647},
                                           IntCase{"-2147483648", std::numeric_limits<std::int32_t>::min()},
                                           IntCase{"-99999999999", std::numeric_limits<std::int32_t>::min()},
                                           IntCase{"１２", 0}));

TEST(SplitText, KeepsInnerEmptyPiecesAndDropsOneTrailingEmptyPiece) {
  using V = std::vector<std::string_view>;
  EXPECT_EQ(SplitText("a,,b", ","), (V{"a", "", "b"}));
  EXPECT_EQ(SplitText("a,b,", ","), (V{"a", "b"}));
  EXPECT_EQ(SplitText("a,b,,", ","), (V{"a", "b", ""}));
  EXPECT_EQ(SplitText("", ","), V{});
  EXPECT_EQ(SplitText(",", ","), (V{""}));
  EXPECT_EQ(SplitText("h\r\nx\r\n", "\r\n"), (V{"h", "x"}));
  EXPECT_EQ(SplitText("h\r\n\r\nx", "\r\n"), (V{"h", "", "x"}));
}

TEST(SplitText, NeverSplitsInsideADoubleByteCharacter) {
  // 0x5C ("\") is a valid GBK trail byte: "\x95\x5C" is one character, not a backslash.
  const std::string text = "a\x95\x5C" "b\\c";
  const auto pieces = SplitText(text, "\\");
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], "a\x95\x5C" "b");
  EXPECT_EQ(pieces[1], "c");
}

TEST(SplitText, InvalidLeadByteDoesNotSwallowTheSeparator) {
  const std::string text = "x\x81\r\ny";
  const auto pieces = SplitText(text, "\r\n");
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[1], "y");
}

TEST(TrimBlanks, RemovesAsciiAndFullWidthBlanksOnly) {
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("\xA1\xA1 a\xA1\xA1"), "a");
  EXPECT_EQ(TrimBlanks("\xA1\xA1\xA1\xA1"), "");
  EXPECT_EQ(TrimBlanks("\tx\t"), "\tx\t");
  // "\xB0\xA1" is one character whose trail byte is A1; with "\xA1" after it the bytes
  // "\xA1\xA1" straddle two characters and are no blank.
  EXPECT_EQ(TrimBlanks("\xB0\xA1\xA1\xA1"), "\xB0\xA1");
}

TEST(TextOf, StopsAtFirstZeroByte) {
  EXPECT_EQ(TextOf(std::string_view("ab\0cd", 5)), "ab");
  EXPECT_EQ(TextOf("abc"), "abc");
}

TEST(ReplaceText, FirstOrAll) {
  EXPECT_EQ(ReplaceText("a秒数b秒数", "秒数", "2", true), "a2b秒数");
  EXPECT_EQ(ReplaceText("a秒数b秒数", "秒数", "2"), "a2b2");
}

}  // namespace
}  // namespace uptorra
