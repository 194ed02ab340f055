#include "ui/PopupMenu_win.h"

#include "core/Gbk_win.h"
#include "ui/ControlIds.h"
#include "ui/MainWindowLayout.h"

namespace uptorra {

bool PopupMenu::Create() {
  top_.reset(::CreateMenu());
  items_ = ::CreatePopupMenu();
  if (!top_ || !items_) {
    if (items_) ::DestroyMenu(items_);
    items_ = nullptr;
    return false;
  }
  ::AppendMenuW(items_, MF_STRING, kMenuSwitchHostOff, WideFromGbk(kPopupSwitchOffText).c_str());
  ::AppendMenuW(items_, MF_STRING, kMenuSwitchHostOn, WideFromGbk(kPopupSwitchOnText).c_str());
  ::AppendMenuW(top_.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(items_), WideFromGbk(kPopupMenuName).c_str());
  return true;
}

void PopupMenu::Show(HWND owner, POINT screenPoint) const {
  if (!items_) return;
  // Without the foreground the menu would not close when the operator clicks elsewhere, and
  // without the WM_NULL afterwards a second popup would close at once (a long-known quirk of
  // TrackPopupMenu on a window that is not in the foreground).
  ::SetForegroundWindow(owner);
  ::TrackPopupMenuEx(items_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, screenPoint.x, screenPoint.y, owner,
                     nullptr);
  ::PostMessageW(owner, WM_NULL, 0, 0);
}

}  // namespace uptorra
