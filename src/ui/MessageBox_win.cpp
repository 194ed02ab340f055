#include "ui/MessageBox_win.h"

#include <windows.h>

#include "core/Gbk_win.h"

namespace uptorra {

MessageAnswer ShowMessageBox(const Text& text, const Text& caption, MessageButtons buttons) {
  UINT style = MB_TASKMODAL | MB_SETFOREGROUND;
  switch (buttons) {
    case MessageButtons::Ok:
      style |= MB_OK;
      break;
    case MessageButtons::OkCancel:
      style |= MB_OKCANCEL;
      break;
    case MessageButtons::YesNoCancel:
      style |= MB_YESNOCANCEL;
      break;
  }
  // No owner: a task-modal box disables every top-level window of this thread instead, which
  // also covers the time before the main window is shown (the usage text at first start).
  const int pressed = ::MessageBoxW(nullptr, WideFromGbk(text).c_str(), WideFromGbk(caption).c_str(), style);
  switch (pressed) {
    case IDOK:
      return MessageAnswer::Ok;
    case IDYES:
      return MessageAnswer::Yes;
    case IDNO:
      return MessageAnswer::No;
    default:  // IDCANCEL, and 0 when the box could not be shown
      return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
  }
}

}  // namespace uptorra
