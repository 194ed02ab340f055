#include "ui/Controls_win.h"

#include <vector>

#include "core/Gbk_win.h"

namespace uptorra {

Text WindowTextGbk(HWND hwnd) {
  const int length = ::GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return GbkFromWide(text);
}

void SetWindowTextGbk(HWND hwnd, const Text& text) { ::SetWindowTextW(hwnd, WideFromGbk(text).c_str()); }

void StatusBar::SetParts(std::span<const int> rightEdges) const {
  std::vector<int> edges(rightEdges.begin(), rightEdges.end());
  ::SendMessageW(hwnd_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void StatusBar::SetText(int pane, const Text& text) const {
  const std::wstring wide = WideFromGbk(text);
  ::SendMessageW(hwnd_, SB_SETTEXTW, MAKEWPARAM(pane | SBT_NOBORDERS, 0), reinterpret_cast<LPARAM>(wide.c_str()));
}

void ListView::SetColours(COLORREF text, COLORREF background) const {
  ListView_SetTextColor(hwnd_, text);
  ListView_SetBkColor(hwnd_, background);
  ListView_SetTextBkColor(hwnd_, background);
}

int ListView::ColumnCount() const {
  HWND header = ListView_GetHeader(hwnd_);
  return header ? Header_GetItemCount(header) : 0;
}

bool ListView::InsertColumn(int index, const Text& title, int width, int format) const {
  std::wstring wide = WideFromGbk(title);
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = format;
  column.cx = width;
  column.pszText = wide.data();
  column.iSubItem = index;
  return ::SendMessageW(hwnd_, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) == index;
}

Text ListView::ColumnTitle(int index) const {
  if (index < 0 || index >= ColumnCount()) return {};
  wchar_t buffer[260] = {};
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = buffer;
  column.cchTextMax = static_cast<int>(std::size(buffer));
  if (!::SendMessageW(hwnd_, LVM_GETCOLUMNW, index, reinterpret_cast<LPARAM>(&column))) return {};
  return GbkFromWide(column.pszText);
}

void ListView::SetColumnTitle(int index, const Text& title) const {
  if (index < 0 || index >= ColumnCount()) return;
  std::wstring wide = WideFromGbk(title);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = wide.data();
  ::SendMessageW(hwnd_, LVM_SETCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void ListView::SetItemCount(int count) const {
  // Keep the scroll position and repaint only what changed; the caller invalidates rows.
  ListView_SetItemCountEx(hwnd_, count, LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
}

void ListView::Select(int row) const {
  if (row < 0) {
    ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED);
    return;
  }
  ListView_SetItemState(hwnd_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

}  // namespace uptorra
