#pragma once
// A small base for a top-level window class: the object is handed to CreateWindowExW, stored
// with the window at WM_NCCREATE, and every later message goes to Derived::HandleMessage. The
// object owns its window: destroying the object destroys a window that still exists.
#include <windows.h>

namespace uptorra {

template <typename Derived>
class BaseWindow {
 public:
  BaseWindow() = default;
  BaseWindow(const BaseWindow&) = delete;
  BaseWindow& operator=(const BaseWindow&) = delete;
  ~BaseWindow() {
    if (hwnd_) ::DestroyWindow(hwnd_);
  }

  HWND hwnd() const { return hwnd_; }

 protected:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Derived* self = nullptr;
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      self = static_cast<Derived*>(create->lpCreateParams);
      self->hwnd_ = hwnd;
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    // No exception may unwind through user32. The handlers report by their results; what
    // could still throw here is an allocation failure, and the message then goes the default
    // way instead of taking the process down from inside the system's code.
    try {
      result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
      result = ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
    return result;
  }

  HWND hwnd_ = nullptr;
};

}  // namespace uptorra
