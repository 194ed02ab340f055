#include "ui/IntegerInput.h"

namespace uptorra {

bool AcceptsIntegerInputChar(char32_t ch) {
  if (ch < 0x20 || ch == 0x7F) return true;
  return (ch >= U'0' && ch <= U'9') || ch == U'-';
}

Text NormalizedIntegerText(const Text& text) {
  const std::int32_t value = IntValue(text);
  return value == 0 ? Text() : DecimalText(value);
}

}  // namespace uptorra
