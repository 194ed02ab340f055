#pragma once
// The list's popup menu "右键菜单": a top item that stands on no menu bar, with the two items
// that switch a host off and on. Choosing an item sends its command to the owner window.
#include <windows.h>

#include "ui/UniqueGdi_win.h"

namespace uptorra {

class PopupMenu {
 public:
  bool Create();
  // Shows the items with their top-left corner at screenPoint; returns once the menu closed.
  void Show(HWND owner, POINT screenPoint) const;

 private:
  UniqueMenu top_;  // owns the popup below it
  HMENU items_ = nullptr;
};

}  // namespace uptorra
