#pragma once
// Numbers by which the main window's parts are addressed: control ids, popup-menu commands and
// the window's private messages. The end-to-end driver (a separate program) addresses the real
// window through the same numbers, so they are part of the window's outside face: never
// renumber one without the driver.
#include "ui/WindowServices.h"

namespace uptorra {

inline constexpr const wchar_t* kMainWindowClass = L"UptorraMainWindow";
inline constexpr const char* kMainWindowTitle = "Uptorra -From KWO";

// Ids start well above IDOK (1) and IDCANCEL (2): the dialog manager sends those for Enter and
// Esc, and a control with such an id would be clicked by them.
inline constexpr int kFirstControlId = 1001;
inline constexpr int ControlId(Control control) { return kFirstControlId + static_cast<int>(control); }
inline constexpr int kLastControlId = ControlId(Control::状态条1);

// Items of the popup menu "右键菜单".
inline constexpr int kMenuSwitchHostOff = 2001;  // 关闭监测此主机
inline constexpr int kMenuSwitchHostOn = 2002;   // 开启监测此主机

// Private messages (WM_APP = 0x8000 and up).
inline constexpr unsigned kWmApp = 0x8000;
inline constexpr unsigned kTableChangedMessage = kWmApp + 1;   // the host table has changes to show
inline constexpr unsigned kTrayCallbackMessage = kWmApp + 2;   // wParam icon id, lParam mouse message
inline constexpr unsigned kRightButtonMessage = kWmApp + 3;    // wParam control id: right button pressed

inline constexpr unsigned kTrayIconId = 1;

// Window timers.
inline constexpr unsigned kMailTimerId = 1;        // 时钟1
inline constexpr unsigned kListRefreshTimerId = 2;  // coalesced repaint of the host table

}  // namespace uptorra
