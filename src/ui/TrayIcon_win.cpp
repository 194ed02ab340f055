#include "ui/TrayIcon_win.h"

#include <shellapi.h>

namespace uptorra {

void TrayIcon::Init(HWND owner, UINT id, UINT callbackMessage) {
  owner_ = owner;
  id_ = id;
  callbackMessage_ = callbackMessage;
}

NOTIFYICONDATAW TrayIcon::Data(UINT flags) const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = owner_;
  data.uID = id_;
  data.uFlags = flags;
  data.uCallbackMessage = callbackMessage_;
  data.hIcon = icon_;
  tip_.copy(data.szTip, std::size(data.szTip) - 1);
  return data;
}

bool TrayIcon::Show(HICON icon, const std::wstring& tip) {
  icon_ = icon;
  tip_ = tip;
  NOTIFYICONDATAW data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  if (added_ && ::Shell_NotifyIconW(NIM_MODIFY, &data)) return true;
  // Not added yet, or the entry was lost (Explorer restarted before we heard of it).
  added_ = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
  return added_;
}

void TrayIcon::ChangeIcon(HICON icon) {
  if (!added_) return;
  icon_ = icon;
  NOTIFYICONDATAW data = Data(NIF_ICON);
  ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::Restore() {
  if (!added_) return;
  added_ = false;
  Show(icon_, tip_);
}

void TrayIcon::Remove() {
  if (!added_) return;
  NOTIFYICONDATAW data = Data(0);
  ::Shell_NotifyIconW(NIM_DELETE, &data);
  added_ = false;
}

UINT TrayIcon::TaskbarCreatedMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

}  // namespace uptorra
