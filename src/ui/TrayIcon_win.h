#pragma once
// The window's one entry in the notification area. It is added the first time it is shown and
// modified after that, so there is never more than one; it is put back when Explorer restarts
// (the TaskbarCreated message) and removed with the window.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace uptorra {

class TrayIcon {
 public:
  TrayIcon() = default;
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;
  ~TrayIcon() { Remove(); }

  // Mouse actions on the icon arrive at owner as callbackMessage(id, mouse message).
  void Init(HWND owner, UINT id, UINT callbackMessage);
  // Adds the entry, or updates the one already there.
  bool Show(HICON icon, const std::wstring& tip);
  // A new picture for an entry already there (the DPI changed); nothing when there is none.
  void ChangeIcon(HICON icon);
  // After Explorer restarted: the entry it lost is added again.
  void Restore();
  void Remove();

  bool added() const { return added_; }
  // The message Explorer broadcasts when the taskbar is created anew.
  static UINT TaskbarCreatedMessage();

 private:
  NOTIFYICONDATAW Data(UINT flags) const;

  HWND owner_ = nullptr;
  UINT id_ = 0;
  UINT callbackMessage_ = 0;
  HICON icon_ = nullptr;  // the window's; not ours to destroy
  std::wstring tip_;
  bool added_ = false;
};

}  // namespace uptorra
