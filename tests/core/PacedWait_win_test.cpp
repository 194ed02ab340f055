#include "core/PacedWait_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace uptorra {
namespace {

constexpr UINT kPostedMessage = WM_APP + 1;
constexpr UINT kSentMessage = WM_APP + 2;
constexpr UINT kThreadMessage = WM_APP + 3;
constexpr double kHangSeconds = 30;

double SecondsNow() {
  LARGE_INTEGER counter{}, frequency{};
  ::QueryPerformanceCounter(&counter);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double ThreadCpuSeconds() {
  FILETIME created, ended, kernel, user;
  ::GetThreadTimes(::GetCurrentThread(), &created, &ended, &kernel, &user);
  const auto seconds = [](const FILETIME& t) {
    return static_cast<double>((ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// A message-only window owned by the waiting thread, noting when its messages come.
struct Receiver {
  std::atomic<int> posted{0};
  std::atomic<int> sent{0};
  std::atomic<double> postedAt{0};

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Receiver*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == kPostedMessage) {
      self->postedAt = SecondsNow();
      ++self->posted;
      return 0;
    }
    if (self && message == kSentMessage) {
      ++self->sent;
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
};

class MessageWindow {
 public:
  explicit MessageWindow(Receiver& receiver) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &Receiver::Procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"UptorraPacedWaitTest";
    ::RegisterClassW(&windowClass);
    window_ = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
    if (window_) ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&receiver));
  }
  ~MessageWindow() {
    if (window_) ::DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// Another thread posts to the waiting thread's window, sends to it (which blocks until the
// waiting thread handles it) and posts a thread message: all of it is handled during the
// wait, and the wait still lasts its full time.
TEST(PacedWaitOnWindows, MessagesAreHandledDuringTheWaitWhichLastsItsFullTime) {
  Receiver receiver;
  MessageWindow window(receiver);
  ASSERT_TRUE(window.get());
  const DWORD waitingThread = ::GetCurrentThreadId();
  std::atomic<double> sendReturnedAt{0};
  std::atomic<bool> waiting{false};
  std::thread other([&] {
    while (!waiting) ::Sleep(1);
    ::Sleep(100);
    ::PostMessageW(window.get(), kPostedMessage, 0, 0);
    ::SendMessageW(window.get(), kSentMessage, 0, 0);
    sendReturnedAt = SecondsNow();
    ::PostThreadMessageW(waitingThread, kThreadMessage, 0, 0);
  });

  constexpr std::int32_t kWaitSeconds = 3;
  const double start = SecondsNow();
  waiting = true;
  PacedWait(kWaitSeconds, kPacedSeconds);
  const double end = SecondsNow();
  other.join();

  EXPECT_EQ(receiver.posted, 1);
  EXPECT_EQ(receiver.sent, 1);
  EXPECT_LT(receiver.postedAt, end);
  EXPECT_LT(sendReturnedAt, end) << "the sent message waited for the end of the wait";
  MSG left;
  EXPECT_FALSE(::PeekMessageW(&left, nullptr, kThreadMessage, kThreadMessage, PM_REMOVE))
      << "the thread message was not taken during the wait";
  EXPECT_GE(end - start, kWaitSeconds);
  EXPECT_LT(end - start, kHangSeconds);
}

// A quit message is left for the thread's message loop; the wait must neither end early for
// it nor spin on it (the queue keeps showing a message that the pump will not take).
TEST(PacedWaitOnWindows, QuitMessageStaysQueuedWithoutCuttingTheWaitOrSpinning) {
  ::PostQuitMessage(7);
  const double cpuBefore = ThreadCpuSeconds();
  const double start = SecondsNow();
  PacedWait(1000, kPacedMilliseconds);
  const double end = SecondsNow();
  const double cpu = ThreadCpuSeconds() - cpuBefore;

  EXPECT_GE(end - start, 1.0);
  EXPECT_LT(cpu, 0.5) << "the wait kept the core busy";
  MSG quit;
  ASSERT_TRUE(::PeekMessageW(&quit, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(quit.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(quit.wParam, 7u);
}

}  // namespace
}  // namespace uptorra
