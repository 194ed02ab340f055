#pragma once
// Conversions between the program's GBK texts and UTF-16, always through code page 936 by
// number: never the ANSI code page, so the window reads right on a Windows of any language.
#include <string>
#include <string_view>

#include "core/Text.h"

namespace uptorra {

std::wstring WideFromGbk(std::string_view text);
Text GbkFromWide(std::wstring_view text);

}  // namespace uptorra
