#pragma once
// The encodings a mail needs on the wire: base64, RFC 2047 encoded words for non-ASCII header
// text, the transparency (dot-stuffing) of the DATA phase and the date of the Date header.
// Everything here works on UTF-8 or ASCII bytes; the GBK texts are converted before.
#include <string>
#include <string_view>

namespace uptorra {

// Base64 of RFC 4648 with padding, in one line.
std::string Base64Encode(std::string_view bytes);

// Base64 cut into lines of at most 76 characters, each ended by CR LF: a MIME body part.
// Empty input gives an empty text.
std::string Base64Lines(std::string_view bytes);

// A header value as it may stand in a Subject or in the display name of a From field.
// Plain printable ASCII (that cannot be mistaken for an encoded word, and for a display name
// holds none of the characters that would need quoting) stays as it is; anything else becomes
// "=?UTF-8?B?...?=" words of whole UTF-8 characters, each at most 75 characters long, so that no
// line grows past 76 characters. The first word is shorter by firstLineUsed (the header name and
// what precedes the value on its line); the following words start new folded lines (CR LF SP).
// CR and LF in the input never reach the header: they are encoded, or replaced by a space in
// text that stays plain.
enum class HeaderPart { Unstructured, DisplayName };
std::string EncodeHeaderText(std::string_view utf8, HeaderPart part, std::size_t firstLineUsed);

// Text with every line ended by CR LF (a lone CR or LF counts as a line end), ready to be put
// in a message.
std::string CanonicalLines(std::string_view text);

// The message as it goes after DATA: lines canonicalised, every line that starts with "." gets
// one more ".", and the message ends with CR LF followed by the end mark ".\r\n".
std::string DataPhaseBytes(std::string_view message);

// A moment as the Date header writes it: "Tue, 05 Mar 2024 09:07:03 +0800". The weekday is
// 0 for Sunday; the offset is local time minus UTC, in minutes.
struct MailDate {
  int year = 1970, month = 1, day = 1, weekday = 4;
  int hour = 0, minute = 0, second = 0;
  int utcOffsetMinutes = 0;
};
std::string FormatMailDate(const MailDate& date);

}  // namespace uptorra
