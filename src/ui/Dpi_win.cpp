#include "ui/Dpi_win.h"

namespace uptorra {

namespace {

// The per-monitor functions are looked up at run time: the program also runs on Windows 7,
// where they do not exist.
template <typename Function>
Function LookUp(const wchar_t* module, const char* name) {
  HMODULE handle = ::GetModuleHandleW(module);
  if (!handle) handle = ::LoadLibraryW(module);
  return handle ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(handle, name))) : nullptr;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
constexpr int kMdtEffectiveDpi = 0;

}  // namespace

UINT SystemDpi() {
  static const UINT dpi = [] {
    HDC screen = ::GetDC(nullptr);
    const int value = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ::ReleaseDC(nullptr, screen);
    return value > 0 ? static_cast<UINT>(value) : kBaseDpi;
  }();
  return dpi;
}

UINT DpiOfWindow(HWND hwnd) {
  static const auto getDpiForWindow = LookUp<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  if (getDpiForWindow && hwnd) {
    const UINT dpi = getDpiForWindow(hwnd);
    if (dpi > 0) return dpi;
  }
  return SystemDpi();
}

UINT DpiOfPoint(POINT point) {
  static const auto getDpiForMonitor = LookUp<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  if (getDpiForMonitor) {
    UINT x = 0, y = 0;
    HMONITOR monitor = ::MonitorFromPoint(point, MONITOR_DEFAULTTOPRIMARY);
    if (SUCCEEDED(getDpiForMonitor(monitor, kMdtEffectiveDpi, &x, &y)) && y > 0) return y;
  }
  return SystemDpi();
}

int SystemMetricForDpi(int index, UINT dpi) {
  static const auto forDpi = LookUp<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
  if (forDpi) return forDpi(index, dpi);
  return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

}  // namespace uptorra
