#include "ui/Fonts_win.h"

#include <algorithm>

#include "ui/Dpi_win.h"

namespace uptorra {

namespace {

struct FaceSearch {
  bool found = false;
  std::wstring firstFace;
};

int CALLBACK OnFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM context) {
  auto* search = reinterpret_cast<FaceSearch*>(context);
  if (font->lfFaceName[0] == L'@') return 1;  // vertical writing variant: keep looking
  search->found = true;
  search->firstFace = font->lfFaceName;
  return 0;
}

FaceSearch SearchGb2312Faces(const std::wstring& face) {
  FaceSearch search;
  LOGFONTW wanted{};
  wanted.lfCharSet = GB2312_CHARSET;
  face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
  HDC screen = ::GetDC(nullptr);
  if (screen) {
    ::EnumFontFamiliesExW(screen, &wanted, OnFace, reinterpret_cast<LPARAM>(&search), 0);
    ::ReleaseDC(nullptr, screen);
  }
  return search;
}

LOGFONTW ChineseLogFont(int height) {
  LOGFONTW font{};
  font.lfHeight = height;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = GB2312_CHARSET;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  return font;
}

}  // namespace

bool FaceCoversGb2312(const std::wstring& face) { return SearchGb2312Faces(face).found; }

const std::wstring& ChineseFaceName() {
  static const std::wstring face = [] {
    if (FaceCoversGb2312(kPreferredChineseFace)) return std::wstring(kPreferredChineseFace);
    if (FaceCoversGb2312(kPreferredChineseFaceEnglish)) return std::wstring(kPreferredChineseFaceEnglish);
    FaceSearch any = SearchGb2312Faces(L"");
    return any.found ? any.firstFace : std::wstring(kPreferredChineseFace);
  }();
  return face;
}

HFONT WindowFonts::For(FontRole role) const {
  switch (role) {
    case FontRole::Chinese:
      return chinese.get();
    case FontRole::LinkLabel:
      return link.get();
    case FontRole::GuiDefault:
      break;
  }
  return gui.get();
}

WindowFonts CreateWindowFonts(UINT dpi) {
  WindowFonts fonts;
  const int height = -ScaleForDpi(-kChineseFontHeight, dpi);

  LOGFONTW chinese = ChineseLogFont(height);
  ChineseFaceName().copy(chinese.lfFaceName, LF_FACESIZE - 1);
  fonts.chinese.reset(::CreateFontIndirectW(&chinese));

  // No face name: the font mapper takes the system's default face for GB2312.
  LOGFONTW link = ChineseLogFont(height);
  link.lfUnderline = TRUE;
  fonts.link.reset(::CreateFontIndirectW(&link));

  // The stock GUI font exists at the system's DPI; ours is made for the window's.
  LOGFONTW gui{};
  if (::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui) == 0) gui = ChineseLogFont(-11);
  gui.lfHeight = ::MulDiv(gui.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
  if (!FaceCoversGb2312(gui.lfFaceName)) {
    const std::wstring& face = ChineseFaceName();
    std::fill(std::begin(gui.lfFaceName), std::end(gui.lfFaceName), L'\0');
    face.copy(gui.lfFaceName, LF_FACESIZE - 1);
    gui.lfCharSet = GB2312_CHARSET;
  }
  fonts.gui.reset(::CreateFontIndirectW(&gui));
  return fonts;
}

}  // namespace uptorra
