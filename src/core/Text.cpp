#include "core/Text.h"

#include <algorithm>
#include <limits>

namespace uptorra {

Text TextOf(std::string_view bytes) {
  const std::size_t zero = bytes.find('\0');
  return Text(zero == std::string_view::npos ? bytes : bytes.substr(0, zero));
}

namespace {
bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }
}  // namespace

std::size_t GbkCharLength(std::string_view text, std::size_t pos) {
  if (pos + 1 < text.size() && IsLeadByte(static_cast<unsigned char>(text[pos])) &&
      IsTrailByte(static_cast<unsigned char>(text[pos + 1]))) {
    return 2;
  }
  return 1;
}

namespace {
// Like FindText, for a start that is known to be a character boundary.
std::size_t FindFromBoundary(std::string_view text, std::string_view needle, std::size_t pos) {
  for (; pos + needle.size() <= text.size(); pos += GbkCharLength(text, pos)) {
    if (text.compare(pos, needle.size(), needle) == 0) return pos;
  }
  return std::string_view::npos;
}
}  // namespace

std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
  std::size_t pos = 0;
  while (pos < from && pos < text.size()) pos += GbkCharLength(text, pos);
  return FindFromBoundary(text, needle, pos);
}

std::vector<std::string_view> SplitText(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> pieces;
  if (text.empty() || separator.empty()) {
    if (!text.empty()) pieces.push_back(text);
    return pieces;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t hit = FindFromBoundary(text, separator, start);
    if (hit == std::string_view::npos) {
      if (start < text.size()) pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, hit - start));
    start = hit + separator.size();
  }
}

std::string_view TrimBlanks(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    if (text[begin] == ' ') {
      ++begin;
    } else if (text.substr(begin, 2) == kFullWidthBlank) {
      begin += 2;
    } else {
      break;
    }
  }
  // Walk forward so that the end is found on character boundaries: a full-width blank's
  // bytes can also be the trail and lead of two other characters.
  std::size_t end = begin;
  std::size_t pos = begin;
  while (pos < text.size()) {
    const std::size_t len = GbkCharLength(text, pos);
    const std::string_view ch = text.substr(pos, len);
    pos += len;
    if (ch != " " && ch != kFullWidthBlank) end = pos;
  }
  return text.substr(begin, end - begin);
}

std::int32_t IntValue(std::string_view text) {
  std::size_t pos = 0;
  auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (pos < text.size() && isSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMinMagnitude = kMax + 1;
  std::int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    if (magnitude <= kMinMagnitude) magnitude = magnitude * 10 + (text[pos] - '0');
  }
  if (negative) return static_cast<std::int32_t>(-std::min(magnitude, kMinMagnitude));
  return static_cast<std::int32_t>(std::min(magnitude, kMax));
}

Text DecimalText(std::int64_t value) { return std::to_string(value); }

Text ReplaceText(std::string_view text, std::string_view from, std::string_view to, bool firstOnly) {
  if (from.empty()) return Text(text);
  Text out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t hit = FindFromBoundary(text, from, start);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(start, hit - start));
    out.append(to);
    start = hit + from.size();
    if (firstOnly) break;
  }
  out.append(text.substr(start));
  return out;
}

}  // namespace uptorra
