#include "ui/IntegerInput.h"

#include <gtest/gtest.h>

namespace uptorra {
namespace {

TEST(IntegerInputTest, TextWhenTheFocusLeaves) {
  const struct {
    const char* typed;
    const char* shown;
  } cases[] = {
      {"", ""},
      {"120", "120"},
      {"0", ""},  // 0 empties the box
      {"000", ""},
      {"-0", ""},
      {"007", "7"},
      {"-5", "-5"},
      {"+7", "7"},  // pasted: the sign is read
      {"  42", "42"},
      {"12-3", "12"},  // digits up to the first other character
      {"-", ""},
      {"--5", ""},
      {"abc", ""},
      {"80\xB6\xCB\xBF\xDA", "80"},  // 80端口, pasted
      {"2147483647", "2147483647"},
      {"2147483648", "2147483647"},
      {"99999999999", "2147483647"},
      {"-2147483648", "-2147483648"},
      {"-99999999999", "-2147483648"},
      {"99999999999999999999999999", "2147483647"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizedIntegerText(c.typed), c.shown) << "typed: " << c.typed;
}

TEST(IntegerInputTest, TypedCharacters) {
  for (char32_t ch : {U'0', U'5', U'9', U'-'}) EXPECT_TRUE(AcceptsIntegerInputChar(ch)) << int(ch);
  // Editing keys arrive as control characters: Backspace, Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+A.
  for (char32_t ch : {char32_t(8), char32_t(3), char32_t(0x16), char32_t(0x18), char32_t(1)}) {
    EXPECT_TRUE(AcceptsIntegerInputChar(ch)) << int(ch);
  }
  for (char32_t ch : {U'a', U'Z', U'+', U' ', U'.', U',', U'/', U':', U'\xFF10' /* full-width 0 */, U'\x7AEF'}) {
    EXPECT_FALSE(AcceptsIntegerInputChar(ch)) << int(ch);
  }
}

}  // namespace
}  // namespace uptorra
