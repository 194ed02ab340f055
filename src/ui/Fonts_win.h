#pragma once
// The window's fonts. The list and the edit boxes ask for "微软雅黑" (Microsoft YaHei); a system
// without it gets the first installed face that covers the GB2312 character set instead, so
// Chinese never shows as boxes. The other controls use the platform's default GUI font, or,
// where that face cannot show Chinese, the same size in the Chinese face.
#include <windows.h>

#include <string>

#include "ui/MainWindowLayout.h"
#include "ui/UniqueGdi_win.h"

namespace uptorra {

inline constexpr const wchar_t* kPreferredChineseFace = L"微软雅黑";
inline constexpr const wchar_t* kPreferredChineseFaceEnglish = L"Microsoft YaHei";
inline constexpr int kChineseFontHeight = -12;  // 9 point at 96 dpi

// True when an installed face of that name has glyphs for GB2312.
bool FaceCoversGb2312(const std::wstring& face);

// The face for Chinese texts: "微软雅黑" when installed, otherwise the first face that covers
// GB2312 (vertical "@" faces excluded), otherwise "微软雅黑" anyway and the font mapper decides.
const std::wstring& ChineseFaceName();

struct WindowFonts {
  UniqueFont chinese;  // 超级列表框1 and the edit boxes
  UniqueFont link;     // 标签3
  UniqueFont gui;      // every other control

  HFONT For(FontRole role) const;
};

WindowFonts CreateWindowFonts(UINT dpi);

}  // namespace uptorra
