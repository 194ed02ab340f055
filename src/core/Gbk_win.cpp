#include "core/Gbk_win.h"

#include <windows.h>

namespace uptorra {

std::wstring WideFromGbk(std::string_view text) {
  if (text.empty()) return {};
  const int units = ::MultiByteToWideChar(kGbkCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (units <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(kGbkCodePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return wide;
}

Text GbkFromWide(std::wstring_view text) {
  if (text.empty()) return {};
  const int bytes = ::WideCharToMultiByte(kGbkCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  Text narrow(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(kGbkCodePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

}  // namespace uptorra
