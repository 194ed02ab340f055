#include "notify/SmtpText.h"

#include <cstdio>
#include <cstdlib>

namespace uptorra {

namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// RFC 2045: body lines of base64 at most 76 characters. RFC 2047: an encoded word at most 75
// characters, and a header line holding encoded words at most 76.
constexpr std::size_t kBase64LineLength = 76;
constexpr std::size_t kEncodedWordMax = 75;
constexpr std::size_t kHeaderLineMax = 76;
constexpr std::string_view kWordStart = "=?UTF-8?B?";
constexpr std::string_view kWordEnd = "?=";
// A value this long is encoded (and so folded) even when it is plain ASCII: RFC 5322 allows 998
// characters on a line.
constexpr std::size_t kPlainValueMax = 900;

bool IsPrintableAscii(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

// The characters of RFC 5322 "specials" and the double quote: a display name holding one of
// them would have to be quoted. Encoding it is as good and simpler.
bool IsPhraseSpecial(char c) {
  return std::string_view("()<>[]:;@\\,.\"").find(c) != std::string_view::npos;
}

// Number of bytes of the UTF-8 character starting with lead; a stray byte counts alone.
std::size_t Utf8Length(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  return 1;
}

bool StaysPlain(std::string_view text, HeaderPart part) {
  if (text.size() > kPlainValueMax) return false;
  if (text.find("=?") != std::string_view::npos) return false;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r' || c == '\n') continue;
    if (!IsPrintableAscii(u)) return false;
    if (part == HeaderPart::DisplayName && IsPhraseSpecial(c)) return false;
  }
  return true;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kBase64Alphabet[v >> 18 & 63];
    out += kBase64Alphabet[v >> 12 & 63];
    out += kBase64Alphabet[v >> 6 & 63];
    out += kBase64Alphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kBase64Alphabet[v >> 18 & 63];
    out += kBase64Alphabet[v >> 12 & 63];
    out += rest == 2 ? kBase64Alphabet[v >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Base64Lines(std::string_view bytes) {
  const std::string flat = Base64Encode(bytes);
  std::string out;
  out.reserve(flat.size() + flat.size() / kBase64LineLength * 2 + 2);
  for (std::size_t pos = 0; pos < flat.size(); pos += kBase64LineLength) {
    out.append(flat, pos, kBase64LineLength);
    out += "\r\n";
  }
  return out;
}

std::string EncodeHeaderText(std::string_view utf8, HeaderPart part, std::size_t firstLineUsed) {
  if (StaysPlain(utf8, part)) {
    std::string plain(utf8);
    for (char& c : plain) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    return plain;
  }
  const std::size_t overhead = kWordStart.size() + kWordEnd.size();
  std::string out;
  std::size_t used = firstLineUsed;
  bool lineHasWord = false;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    // Room on this line for base64 characters, in whole groups of four (three bytes each).
    std::size_t room = kEncodedWordMax - overhead;
    if (used + overhead + room > kHeaderLineMax) {
      room = kHeaderLineMax > used + overhead ? kHeaderLineMax - used - overhead : 0;
    }
    std::size_t budget = room / 4 * 3;
    if (!lineHasWord && used > 1 && budget < Utf8Length(static_cast<unsigned char>(utf8[pos]))) {
      // Not even one character fits behind what precedes the value: start on a folded line.
      out += "\r\n ";
      used = 1;
      continue;
    }
    std::size_t take = 0;
    while (pos + take < utf8.size()) {
      std::size_t len = Utf8Length(static_cast<unsigned char>(utf8[pos + take]));
      if (pos + take + len > utf8.size()) len = utf8.size() - pos - take;
      // A character never splits over two words; one that alone exceeds a tight first line is
      // taken all the same rather than leaving an empty word.
      if (take + len > budget && take > 0) break;
      take += len;
      if (take >= budget) break;
    }
    if (lineHasWord) out += "\r\n ";
    lineHasWord = true;
    out += kWordStart;
    out += Base64Encode(utf8.substr(pos, take));
    out += kWordEnd;
    pos += take;
    used = 1;  // the folding space of the next line
  }
  return out;
}

std::string CanonicalLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string DataPhaseBytes(std::string_view message) {
  const std::string lines = CanonicalLines(message);
  std::string out;
  out.reserve(lines.size() + lines.size() / 64 + 8);
  bool lineStart = true;
  for (const char c : lines) {
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = c == '\n';
  }
  if (!out.empty() && !lineStart) out += "\r\n";
  out += ".\r\n";
  return out;
}

std::string FormatMailDate(const MailDate& date) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int weekday = ((date.weekday % 7) + 7) % 7;
  const int month = date.month < 1 ? 1 : date.month > 12 ? 12 : date.month;
  const int offset = std::abs(date.utcOffsetMinutes);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", kDays[weekday], date.day,
                kMonths[month - 1], date.year, date.hour, date.minute, date.second,
                date.utcOffsetMinutes < 0 ? '-' : '+', offset / 60 % 100, offset % 60);
  return text;
}

}  // namespace uptorra
