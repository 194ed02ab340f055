// The host table view 超级列表框1: a virtual list view painted from the HostTable model.
//
// Probe tasks write the model from pool threads and never touch the window. The model tells the
// window through one posted message per burst of changes (HostTable's change notice); the
// window then repaints the changed rows at most every kListRefreshIntervalMs, so a row that is
// written a hundred times a second is still painted only a few times a second.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "core/Gbk_win.h"
#include "ui/ControlIds.h"
#include "ui/MainWindow_win.h"

namespace uptorra {

void MainWindow::SetUpList() {
  const ListView list = List();
  // Grid lines, full-row selection, images in any cell (the status image sits in column 6).
  // No check boxes, no hot tracking, no header drag-and-drop; double buffering keeps a repaint
  // of many rows from flickering.
  list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_DOUBLEBUFFER);
  list.SetColours(RGB(0, 0, 0), RGB(255, 255, 255));
  const auto columns = ListColumns();
  for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
    const int format = columns[i].align == ColumnAlign::Centre ? LVCFMT_CENTER : LVCFMT_LEFT;
    list.InsertColumn(i, columns[i].title, columns[i].width, format);
  }
}

void MainWindow::OnTableChanged() {
  // Repaint now when the last repaint is old enough, otherwise when it will be: a burst of
  // notices costs one repaint per interval.
  if (refreshTimerArmed_) return;
  const ULONGLONG now = ::GetTickCount64();
  const ULONGLONG since = now - lastRefreshTick_;
  if (since >= kListRefreshIntervalMs) {
    RefreshList();
    return;
  }
  refreshTimerArmed_ = ::SetTimer(hwnd_, kListRefreshTimerId, static_cast<UINT>(kListRefreshIntervalMs - since),
                                  nullptr) != 0;
  if (!refreshTimerArmed_) RefreshList();
}

void MainWindow::RefreshList() {
  lastRefreshTick_ = ::GetTickCount64();
  const HostTable::Changes changes = table_.TakeChanges();
  const ListView list = List();
  const int count = table_.RowCount();
  if (changes.structure || count != list.ItemCount()) {
    // Rows were added or moved: every visible row may show another host now.
    list.SetItemCount(count);
    ::InvalidateRect(list.hwnd(), nullptr, FALSE);
  } else if (!changes.rows.empty()) {
    const int top = list.TopIndex();
    const int bottom = top + list.CountPerPage();  // one partly visible row below the page
    for (int row : changes.rows) {
      if (row >= top && row <= bottom) list.RedrawRows(row, row);
    }
  }
  // The model's selection is the one that counts (the column sort moves it).
  const int selected = table_.SelectedRow();
  if (selected != list.SelectedRow()) list.Select(selected);
  if (changes.bringIntoView >= 0 && changes.bringIntoView < count) list.EnsureVisible(changes.bringIntoView);
}

LRESULT MainWindow::OnListNotify(const NMHDR& header) {
  switch (header.code) {
    case LVN_GETDISPINFOW:
      OnListGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
      return 0;
    case LVN_ITEMCHANGED: {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if ((change.uChanged & LVIF_STATE) && ((change.uOldState ^ change.uNewState) & LVIS_SELECTED)) {
        TakeSelectionFromView();
      }
      return 0;
    }
    case LVN_ODSTATECHANGED:
      TakeSelectionFromView();
      return 0;
    case LVN_COLUMNCLICK:
      HandleColumnClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
      return 0;
    case NM_RCLICK:
      // Anywhere in the list, on a row or below the last one.
      HandleListRightClick();
      return 0;
  }
  return 0;
}

void MainWindow::OnListGetDispInfo(NMLVDISPINFOW& info) const {
  LVITEMW& item = info.item;
  if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
    const std::wstring text = WideFromGbk(table_.GetCell(item.iItem, item.iSubItem));
    const std::size_t copied = std::min(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
    text.copy(item.pszText, copied);
    item.pszText[copied] = L'\0';
  }
  if (item.mask & LVIF_IMAGE) {
    const int image = table_.GetCellImage(item.iItem, item.iSubItem);
    item.iImage = image >= 0 ? image : I_IMAGENONE;
  }
  if (item.mask & LVIF_INDENT) item.iIndent = 0;
  // The row's state image is data only (the column sort carries it): no state image list is
  // shown, so nothing is painted for it.
}

void MainWindow::TakeSelectionFromView() { table_.SetSelectedRow(List().SelectedRow()); }

}  // namespace uptorra
