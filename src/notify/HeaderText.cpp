#include "notify/HeaderText.h"

namespace uptorra {

namespace {

char LowerAsciiChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char UpperAsciiChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares needle with the text at pos, character by character; only single-byte characters
// of the text are folded. A needle that ends inside a double-byte character of the text does
// not match (that would split the character).
bool MatchesIgnoringCase(std::string_view text, std::size_t pos, std::string_view needle) {
  std::size_t i = 0;
  while (i < needle.size()) {
    if (pos + i >= text.size()) return false;
    const std::size_t len = GbkCharLength(text, pos + i);
    if (len == 1) {
      if (LowerAsciiChar(text[pos + i]) != LowerAsciiChar(needle[i])) return false;
    } else {
      if (i + len > needle.size() || text.compare(pos + i, len, needle, i, len) != 0) return false;
    }
    i += len;
  }
  return true;
}

// Splits at every occurrence of a single-byte separator that cannot be a GBK trail byte
// (below 0x40), keeping every piece, the empty last one included.
std::vector<std::string_view> SplitKeepingAll(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t hit = text.find(separator, start);
    if (hit == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, hit - start));
    start = hit + 1;
  }
}

}  // namespace

std::size_t FindTextIgnoringCase(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
  std::size_t pos = 0;
  while (pos < from && pos < text.size()) pos += GbkCharLength(text, pos);
  for (; pos + needle.size() <= text.size(); pos += GbkCharLength(text, pos)) {
    if (MatchesIgnoringCase(text, pos, needle)) return pos;
  }
  return std::string_view::npos;
}

Text LowerAscii(std::string_view text) {
  Text out(text);
  for (std::size_t pos = 0; pos < out.size();) {
    const std::size_t len = GbkCharLength(out, pos);
    if (len == 1) out[pos] = LowerAsciiChar(out[pos]);
    pos += len;
  }
  return out;
}

Text CapitalizeFirst(std::string_view text) {
  Text out(text);
  if (!out.empty() && GbkCharLength(out, 0) == 1) out[0] = UpperAsciiChar(out[0]);
  return out;
}

Text NormalizeHeaderCase(std::string_view headers) {
  Text out;
  for (const std::string_view line : SplitText(headers, kCrLf)) {
    const std::size_t colon = FindText(line, ":");
    if (colon == std::string_view::npos) continue;
    Text name;
    bool first = true;
    // '-' (0x2D) is never a GBK trail byte, so a byte split is safe here.
    for (const std::string_view piece : SplitKeepingAll(line.substr(0, colon), '-')) {
      if (!first) name += '-';
      name += CapitalizeFirst(piece);
      first = false;
    }
    if (!out.empty()) out += kCrLf;
    out += name;
    out += line.substr(colon);
  }
  return out;
}

Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 std::optional<std::size_t> start, bool ignoreCase) {
  const Text leftMarker = ReplaceText(left, kQuotePlaceholder, "\"");
  const Text rightMarker = ReplaceText(right, kQuotePlaceholder, "\"");
  const std::size_t from = (start && *start > 0) ? *start - 1 : 0;
  auto find = [&](std::string_view needle, std::size_t at) {
    return ignoreCase ? FindTextIgnoringCase(text, needle, at) : FindText(text, needle, at);
  };
  const std::size_t leftAt = find(leftMarker, from);
  if (leftAt == std::string_view::npos) return {};
  const std::size_t valueAt = leftAt + leftMarker.size();
  const std::size_t rightAt = find(rightMarker, valueAt);
  if (rightAt == std::string_view::npos) return {};
  return Text(text.substr(valueAt, rightAt - valueAt));
}

Text TextBefore(std::string_view text, std::string_view marker) {
  const std::size_t at = FindText(text, marker);
  if (at == std::string_view::npos) return {};
  return Text(text.substr(0, at));
}

Text ValueAfterColon(std::string_view text) {
  const std::size_t colon = FindText(text, ":");
  if (colon == std::string_view::npos) return {};
  return Text(TrimBlanks(text.substr(colon + 1)));
}

}  // namespace uptorra
