#pragma once
// Between the program's GBK texts and the UTF-8 of the push service (Windows only).
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/Text.h"

namespace uptorra {

inline constexpr std::string_view kDefaultSourceCharset = "UTF-8";
inline constexpr std::string_view kDefaultTargetCharset = "GBK";

// The UTF-8 encoding of a GBK text (always code page 936, whatever the ANSI code page), or,
// when the text is empty, of UTF-16LE code units given as bytes. No byte-order mark, no
// terminating zero; empty bytes when there is nothing to convert.
Bytes TextToUtf8(std::string_view text, std::string_view utf16Bytes = {});

// Re-encodes bytes from one named character set to another. The names are those of the
// system's charset database (MIME names such as "UTF-8", "GBK", "GB2312", "Big5", "Unicode"),
// looked up through MLang (once per name: COM is started only for a name not seen before); an
// empty name takes the default. As the stream object of the
// classic scripting runtime does, a byte-order mark of the source is skipped, and a target of
// UTF-8 or UTF-16 ("Unicode") gets one in front: startPosition, when given, skips that many
// leading output bytes (3 drops a UTF-8 mark). Characters the target cannot represent become
// '?'. Empty bytes when a name is unknown, a step fails or startPosition lies outside the output.
Bytes ConvertCharset(std::string_view bytes, std::string_view sourceCharset = {}, std::string_view targetCharset = {},
                     std::optional<std::int64_t> startPosition = std::nullopt);

}  // namespace uptorra
