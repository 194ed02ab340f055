#pragma once
// Edit boxes in integer input mode, and the right-button notice of a push button: both are
// subclasses of the standard controls.
#include <windows.h>

namespace uptorra {

// Typing takes only digits and "-"; when the box loses the focus its text becomes the decimal
// text of its leading integer (empty for 0 and for no digits).
bool MakeIntegerEdit(HWND edit);

// Pressing the right mouse button on the control posts `message` (wParam = the control's id)
// to its parent; the button itself reacts to the right button in no other way.
bool NotifyRightButton(HWND control, UINT message);

}  // namespace uptorra
