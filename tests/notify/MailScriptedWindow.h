#pragma once
// A stand-in main window for the mail handlers: panes, check boxes and a real window timer.
// The timer 时钟1 runs on a hidden message-only window, with its period shortened so that a
// test sees "every 72 hours" happen in a fraction of a second; the period the logic asked for
// is recorded as it was given.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "support/QuietWindow.h"

namespace uptorra::test {

class MailScriptedWindow : public QuietWindow {
 public:
  explicit MailScriptedWindow(UINT shortenedPeriodMs = 300) : shortenedPeriodMs_(shortenedPeriodMs) {
    static const wchar_t kClass[] = L"UptorraMailScriptedWindow";
    static const ATOM registered = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = Proc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.lpszClassName = kClass;
      return ::RegisterClassW(&wc);
    }();
    (void)registered;
    hwnd_ = ::CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ::GetModuleHandleW(nullptr),
                              nullptr);
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~MailScriptedWindow() override {
    ::KillTimer(hwnd_, kTimerId);
    ::DestroyWindow(hwnd_);
  }
  MailScriptedWindow(const MailScriptedWindow&) = delete;
  MailScriptedWindow& operator=(const MailScriptedWindow&) = delete;

  HWND hwnd() const { return hwnd_; }

  // What the real window binds to the periodic event of 时钟1.
  std::function<void()> onTimer;

  std::vector<std::uint32_t> periodsSet;  // every SetTimerPeriod, in order
  int timerEvents = 0;
  int appMessages = 0;  // WM_APP messages dispatched to the window
  std::map<Control, bool> checked;

  bool IsChecked(Control control) const override {
    const auto it = checked.find(control);
    return it != checked.end() && it->second;
  }
  void SetChecked(Control control, bool value) override { checked[control] = value; }

  void SetTimerPeriod(std::uint32_t ms) override {
    periodsSet.push_back(ms);
    period_ = ms;
    if (ms == 0) {
      ::KillTimer(hwnd_, kTimerId);
    } else {
      ::SetTimer(hwnd_, kTimerId, shortenedPeriodMs_, nullptr);
    }
  }
  std::uint32_t TimerPeriod() const override { return period_; }

 private:
  static constexpr UINT_PTR kTimerId = 1;

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MailScriptedWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == WM_TIMER && wParam == kTimerId) {
      ++self->timerEvents;
      if (self->onTimer) self->onTimer();
      return 0;
    }
    if (self && message == WM_APP) {
      ++self->appMessages;
      return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }

  HWND hwnd_ = nullptr;
  UINT shortenedPeriodMs_;
  std::uint32_t period_ = 0;
};

}  // namespace uptorra::test
