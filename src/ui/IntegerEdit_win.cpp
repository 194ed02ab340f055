#include "ui/IntegerEdit_win.h"

#include <windows.h>

#include <commctrl.h>

#include "ui/Controls_win.h"
#include "ui/IntegerInput.h"

namespace uptorra {

namespace {

constexpr UINT_PTR kIntegerEditSubclass = 1;
constexpr UINT_PTR kRightButtonSubclass = 2;

LRESULT CALLBACK IntegerEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
  switch (message) {
    case WM_CHAR:
      if (!AcceptsIntegerInputChar(static_cast<char32_t>(wParam))) return 0;
      break;
    case WM_KILLFOCUS: {
      const Text text = WindowTextGbk(hwnd);
      const Text normalised = NormalizedIntegerText(text);
      if (normalised != text) SetWindowTextGbk(hwnd, normalised);
      break;
    }
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(hwnd, IntegerEditProc, id);
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK RightButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data) {
  switch (message) {
    case WM_RBUTTONDOWN:
      // Posted: the handler shows a message box, which must not run inside the button's own
      // mouse handling.
      ::PostMessageW(::GetParent(hwnd), static_cast<UINT>(data), ::GetDlgCtrlID(hwnd), 0);
      return 0;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(hwnd, RightButtonProc, id);
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace

bool MakeIntegerEdit(HWND edit) { return ::SetWindowSubclass(edit, IntegerEditProc, kIntegerEditSubclass, 0) != FALSE; }

bool NotifyRightButton(HWND control, UINT message) {
  return ::SetWindowSubclass(control, RightButtonProc, kRightButtonSubclass, message) != FALSE;
}

}  // namespace uptorra
