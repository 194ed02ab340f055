#pragma once
// Thin wrappers over the common controls the main window uses, so that the window code reads
// as what it does. Texts cross here as GBK and are shown through UTF-16.
#include <windows.h>

#include <commctrl.h>

#include <span>
#include <string>

#include "core/Text.h"

namespace uptorra {

// The text of a window (edit box, button caption, label) as GBK.
Text WindowTextGbk(HWND hwnd);
void SetWindowTextGbk(HWND hwnd, const Text& text);

class StatusBar {
 public:
  explicit StatusBar(HWND hwnd = nullptr) : hwnd_(hwnd) {}
  HWND hwnd() const { return hwnd_; }
  void SetParts(std::span<const int> rightEdges) const;
  // Panes are drawn without borders.
  void SetText(int pane, const Text& text) const;

 private:
  HWND hwnd_;
};

class ListView {
 public:
  explicit ListView(HWND hwnd = nullptr) : hwnd_(hwnd) {}
  HWND hwnd() const { return hwnd_; }

  void SetExtendedStyle(DWORD style) const { ListView_SetExtendedListViewStyle(hwnd_, style); }
  void SetColours(COLORREF text, COLORREF background) const;
  void SetSmallImages(HIMAGELIST images) const { ListView_SetImageList(hwnd_, images, LVSIL_SMALL); }

  int ColumnCount() const;
  bool InsertColumn(int index, const Text& title, int width, int format) const;
  Text ColumnTitle(int index) const;
  void SetColumnTitle(int index, const Text& title) const;
  void SetColumnWidth(int index, int width) const { ListView_SetColumnWidth(hwnd_, index, width); }

  // Virtual list: the control holds only the count; rows are painted from the model.
  int ItemCount() const { return ListView_GetItemCount(hwnd_); }
  void SetItemCount(int count) const;
  void RedrawRows(int first, int last) const { ListView_RedrawItems(hwnd_, first, last); }
  int TopIndex() const { return ListView_GetTopIndex(hwnd_); }
  int CountPerPage() const { return ListView_GetCountPerPage(hwnd_); }
  void EnsureVisible(int row) const { ListView_EnsureVisible(hwnd_, row, FALSE); }

  int SelectedRow() const { return ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); }
  // Selects row (and gives it the focus mark), or clears the selection for -1.
  void Select(int row) const;

 private:
  HWND hwnd_;
};

}  // namespace uptorra
