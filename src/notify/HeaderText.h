#pragma once
// Text routines for HTTP header texts: GBK texts whose lines are separated by CR LF. Every
// search walks whole GBK characters, so a marker is never found across the two bytes of a
// double-byte character, and letter case is folded on ASCII letters only: the trail byte of a
// GBK character may lie in 'A'..'Z' or 'a'..'z' and must never be changed.
#include <cstddef>
#include <optional>
#include <string_view>

#include "core/Text.h"

namespace uptorra {

inline constexpr std::string_view kCrLf = "\r\n";

// The placeholder that TextBetween turns into a double quote in its markers ("#引号" in GBK).
inline constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";

// FindText with ASCII letters compared regardless of case.
std::size_t FindTextIgnoringCase(std::string_view text, std::string_view needle, std::size_t from = 0);

// The text with its single-byte ASCII letters lowered; double-byte characters stay as they are.
Text LowerAscii(std::string_view text);

// The text with its first character in upper case (a double-byte character has no case).
Text CapitalizeFirst(std::string_view text);

// Every header name capitalised piece by piece at its dashes ("content-TYPE" gives
// "Content-TYPE"); lines without a colon are dropped; the kept lines joined by CR LF without a
// final CR LF.
Text NormalizeHeaderCase(std::string_view headers);

// The text between the first left marker at or after start (a byte position counted from 1)
// and the next right marker after it; empty when either is missing. "#引号" in a marker stands
// for a double quote. With ignoreCase both markers are matched regardless of ASCII case.
Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 std::optional<std::size_t> start = std::nullopt, bool ignoreCase = false);

// The text in front of the first occurrence of marker; empty when the marker is absent.
Text TextBefore(std::string_view text, std::string_view marker);

// The text after the first ':', without surrounding blanks; empty when there is no colon.
Text ValueAfterColon(std::string_view text);

}  // namespace uptorra
