#pragma once
// Texts of the program: GBK (code page 936) byte strings without zero bytes, and byte strings
// that may hold zeros. The helpers here know the double-byte structure of GBK, so a separator
// or a blank is never found inside a double-byte character.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace uptorra {

using Text = std::string;   // GBK bytes, no zero byte
using Bytes = std::string;  // any bytes, zeros allowed

inline constexpr unsigned kGbkCodePage = 936;
inline constexpr std::string_view kFullWidthBlank = "\xA1\xA1";  // U+3000 in GBK

// The bytes up to the first zero byte: how bytes are taken as a text.
Text TextOf(std::string_view bytes);

// Number of bytes of the character that starts at pos: 2 for a GBK lead byte followed by a
// valid trail byte, otherwise 1. An invalid pair counts as two single bytes, so a corrupt
// byte never swallows a following separator.
std::size_t GbkCharLength(std::string_view text, std::size_t pos);

// The first occurrence of needle at a character boundary at or after from, or npos.
std::size_t FindText(std::string_view text, std::string_view needle, std::size_t from = 0);

// Pieces between separators. Empty pieces count, except one trailing empty piece after a final
// separator; an empty text gives no pieces.
std::vector<std::string_view> SplitText(std::string_view text, std::string_view separator);

// Leading and trailing blanks removed: the ASCII space and the full-width space (A1 A1).
std::string_view TrimBlanks(std::string_view text);

// The integer value of a text: leading white space skipped, an optional sign, decimal digits
// up to the first other character ("80端口" gives 80); no digits give 0. Values beyond the
// 32-bit range are clamped.
std::int32_t IntValue(std::string_view text);

// Decimal text of a number.
Text DecimalText(std::int64_t value);

// Every occurrence (at character boundaries) of from replaced by to; with firstOnly just one.
Text ReplaceText(std::string_view text, std::string_view from, std::string_view to, bool firstOnly = false);

}  // namespace uptorra
