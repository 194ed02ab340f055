#pragma once
// RAII owners for the window's user-interface handles: fonts, bitmaps, icons, menus and image
// lists, on the pattern of core/UniqueHandle_win.h.
#include <windows.h>

#include <commctrl.h>

#include "core/UniqueHandle_win.h"

namespace uptorra {

template <typename T>
struct GdiObjectTraits {
  static T Invalid() noexcept { return nullptr; }
  static void Close(T h) noexcept { ::DeleteObject(h); }
};
struct IconTraits {
  static HICON Invalid() noexcept { return nullptr; }
  static void Close(HICON h) noexcept { ::DestroyIcon(h); }
};
struct MenuTraits {
  static HMENU Invalid() noexcept { return nullptr; }
  static void Close(HMENU h) noexcept { ::DestroyMenu(h); }
};
struct ImageListTraits {
  static HIMAGELIST Invalid() noexcept { return nullptr; }
  static void Close(HIMAGELIST h) noexcept { ::ImageList_Destroy(h); }
};

using UniqueFont = UniqueAny<HFONT, GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueAny<HBITMAP, GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueAny<HBRUSH, GdiObjectTraits<HBRUSH>>;
using UniqueIcon = UniqueAny<HICON, IconTraits>;
using UniqueMenu = UniqueAny<HMENU, MenuTraits>;
using UniqueImageList = UniqueAny<HIMAGELIST, ImageListTraits>;

}  // namespace uptorra
