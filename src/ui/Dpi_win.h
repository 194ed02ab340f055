#pragma once
// The window's layout is fixed in pixels at 96 dpi and scaled to the monitor's DPI, so that it
// stays sharp on a high-DPI screen instead of being stretched by the system.
#include <windows.h>

namespace uptorra {

inline constexpr UINT kBaseDpi = 96;

inline int ScaleForDpi(int pixels, UINT dpi) { return ::MulDiv(pixels, static_cast<int>(dpi), kBaseDpi); }

// The DPI a window is shown at (Windows 10 1607 and later know it per monitor); the system's
// DPI before that.
UINT DpiOfWindow(HWND hwnd);
// The DPI of the monitor that holds a point (Windows 8.1 and later); the system's DPI before.
UINT DpiOfPoint(POINT point);
UINT SystemDpi();

// GetSystemMetrics for a DPI (Windows 10 1607 and later); scaled from the system's value before.
int SystemMetricForDpi(int index, UINT dpi);

}  // namespace uptorra
