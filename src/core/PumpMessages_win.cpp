#include "core/PumpMessages_win.h"

#include <windows.h>

namespace uptorra {

void PumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (msg.message == WM_QUIT) return;  // leave it for the loop that owns the thread
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace uptorra
