// The integer value of a text against a reference reading with wide arithmetic and clamping,
// and the integer boxes' normalised text of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "core/Text.h"
#include "ui/IntegerInput.h"

namespace {
std::int32_t Reference(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  long double value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) value = value * 10 + (text[pos] - '0');
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::int32_t value = uptorra::IntValue(text);
  if (value != Reference(text)) std::abort();
  // An integer box keeps the canonical text of that value, which reads back the same.
  const uptorra::Text boxText = uptorra::NormalizedIntegerText(uptorra::Text(text));
  if (value == 0 ? !boxText.empty() : uptorra::IntValue(boxText) != value || boxText != uptorra::DecimalText(value)) {
    std::abort();
  }
  return 0;
}
