#pragma once
// The integer input mode of the port, retry and interval boxes.
#include "core/Text.h"

namespace uptorra {

// Typing accepts the digits and "-" only. Control characters (Backspace, Ctrl+C, Ctrl+V...)
// pass, so editing and pasting work; what is pasted is not filtered.
bool AcceptsIntegerInputChar(char32_t ch);

// The box's text once it loses the focus: the decimal text of its leading integer (leading
// blanks skipped, optional sign, digits up to the first other character), clamped to the
// 32-bit range. A value of 0, and a text without digits, give an empty box.
Text NormalizedIntegerText(const Text& text);

}  // namespace uptorra
