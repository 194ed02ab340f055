// The real main window inside the test process: the window services as the logic sees them,
// and the road from writing threads to the list (notices, coalesced repaints, no waiting).
// Needs a display; without one the tests are skipped (the test command provides one).
#include "ui/MainWindow_win.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "core/Gbk_win.h"
#include "core/Startup.h"
#include "log/EventLog.h"
#include "support/TempDir_win.h"
#include "ui/ControlIds.h"

namespace uptorra {
namespace {

class MarkedFirstRun : public FirstRunStore {
 public:
  bool IsMarked() override { return true; }
  void Mark() override {}
};

// Dispatches this thread's messages for a while. WM_QUIT from a window destroyed earlier is
// dropped: the test thread has no loop to end.
void PumpFor(DWORD ms) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    const ULONGLONG now = ::GetTickCount64();
    if (now >= end) return;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() >= end) return false;
    PumpFor(10);
  }
  return true;
}

std::wstring ShownCell(HWND list, int row, int column) {
  wchar_t buffer[256] = {};
  ListView_GetItemText(list, row, column, buffer, 256);
  return buffer;
}

LRESULT CALLBACK CountPaints(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR counter) {
  if (message == WM_PAINT) ++*reinterpret_cast<std::atomic<int>*>(counter);
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<MainWindow>(::GetModuleHandleW(nullptr), table, state, firstRun, pool, dir.path());
    if (!window->Create(SW_SHOWNOACTIVATE)) {
      window.reset();
      GTEST_SKIP() << "no display to create a window on";
    }
    list = ::GetDlgItem(window->hwnd(), ControlId(Control::超级列表框1));
    bar = ::GetDlgItem(window->hwnd(), ControlId(Control::状态条1));
    ASSERT_TRUE(PumpUntil([&] { return ListView_GetItemCount(list) == table.RowCount(); }, 5000));
  }
  void TearDown() override {
    window.reset();
    PumpFor(0);
    SetEventLogPath({});
  }

  std::wstring BarText(int pane) const {
    wchar_t buffer[512] = {};
    ::SendMessageW(bar, SB_GETTEXTW, pane, reinterpret_cast<LPARAM>(buffer));
    return buffer;
  }

  test::TempDir dir{"窗口"};
  HostTable table;
  AppState state;
  MarkedFirstRun firstRun;
  TaskPool pool;
  std::unique_ptr<MainWindow> window;  // last: goes before the model it shows
  HWND list = nullptr;
  HWND bar = nullptr;
};

TEST_F(MainWindowTest, StartUpRunsWhenTheWindowIsCreated) {
  EXPECT_EQ(window->PaneText(0), Text(kPushNotConfiguredPane) + Text(kHostsLoadedPane) + "1");
  EXPECT_EQ(window->PaneText(1), Text(kWelcomePane));
  EXPECT_EQ(BarText(0), WideFromGbk(window->PaneText(0)));
  EXPECT_EQ(state.hostsPath, dir.File("MyHosts.csv"));
  ASSERT_EQ(ListView_GetItemCount(list), 1);
  EXPECT_EQ(ShownCell(list, 0, kColAddress), L"www.baidu.com");
  EXPECT_EQ(ShownCell(list, 0, kColName), L"百度(示例)");
  EXPECT_EQ(ShownCell(list, 0, kColStatus), L"等待测试");
}

TEST_F(MainWindowTest, ServicesActOnTheControls) {
  // Panes: only 0 and 1; texts come back byte for byte and show through UTF-16.
  const Text arrows = "序号↓ 主机↑";
  window->SetPaneText(1, arrows);
  window->SetPaneText(2, "ignored");
  window->SetPaneText(-1, "ignored");
  EXPECT_EQ(window->PaneText(1), arrows);
  EXPECT_EQ(window->PaneText(2), "");
  EXPECT_EQ(BarText(1), L"序号↓ 主机↑");
  EXPECT_EQ(::SendMessageW(bar, SB_GETPARTS, 0, 0), 2);

  // The radio buttons are one group.
  EXPECT_TRUE(window->IsChecked(Control::单选框_ICMP));
  window->SetChecked(Control::单选框_端口, true);
  EXPECT_TRUE(window->IsChecked(Control::单选框_端口));
  EXPECT_FALSE(window->IsChecked(Control::单选框_ICMP));
  window->SetChecked(Control::选择框1, true);
  EXPECT_TRUE(window->IsChecked(Control::选择框1));

  window->SetControlText(Control::启动监测, "继续监测");
  EXPECT_EQ(window->ControlText(Control::启动监测), "继续监测");
  EXPECT_EQ(window->ControlText(Control::编辑框_监测间隔), "120");
  EXPECT_FALSE(window->IsEnabled(Control::停止监测));
  window->SetEnabled(Control::停止监测, true);
  EXPECT_TRUE(window->IsEnabled(Control::停止监测));

  window->SetColumnTitle(0, "序号↓");
  window->SetColumnTitle(8, "no such column");
  EXPECT_EQ(window->ColumnTitle(0), "序号↓");
  EXPECT_EQ(window->ColumnTitle(8), "");

  window->SetTimerPeriod(259200000);
  EXPECT_EQ(window->TimerPeriod(), 259200000u);
  window->SetTimerPeriod(0);
  EXPECT_EQ(window->TimerPeriod(), 0u);

  window->SetWindowVisible(false);
  EXPECT_FALSE(window->IsWindowVisible());
  window->SetWindowVisible(true);
  EXPECT_TRUE(window->IsWindowVisible());
}

TEST_F(MainWindowTest, RowsAddedOnAnotherThreadAppear) {
  std::thread writer([&] {
    for (int i = 0; i < 10000; ++i) {
      const int row = table.AppendRow(DecimalText(i + 2));
      table.SetCell(row, kColAddress, "10.0." + DecimalText(i / 256) + "." + DecimalText(i % 256));
    }
  });
  writer.join();
  ASSERT_TRUE(PumpUntil([&] { return ListView_GetItemCount(list) == 10001; }, 10000));
  EXPECT_EQ(ShownCell(list, 5001, kColAddress), L"10.0.19.136");
  ListView_EnsureVisible(list, 10000, FALSE);
  EXPECT_EQ(ShownCell(list, 10000, kColNumber), L"10001");
}

TEST_F(MainWindowTest, RepaintsAreCoalescedWhateverTheWriteRate) {
  for (int i = 0; i < 19; ++i) table.AppendRow(DecimalText(i + 2));
  PumpFor(500);
  std::atomic<int> paints{0};
  ASSERT_TRUE(::SetWindowSubclass(list, CountPaints, 1, reinterpret_cast<DWORD_PTR>(&paints)));

  // Four writers as fast as they can, on every visible row, for a second and a half.
  constexpr DWORD kWriteMs = 1500;
  std::atomic<bool> stop{false};
  std::atomic<long long> writes{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w) {
    writers.emplace_back([&, w] {
      for (int n = 0; !stop; ++n) {
        table.SetCell((n + w) % 20, kColStatus, "第" + DecimalText(n) + "次");
        table.SetCellImage((n + w) % 20, kColStatus, n % 2);
        ++writes;
      }
    });
  }
  PumpFor(kWriteMs);
  stop = true;
  for (auto& writer : writers) writer.join();
  const int paintsWhileWriting = paints;
  PumpFor(3 * kListRefreshIntervalMs);
  ::RemoveWindowSubclass(list, CountPaints, 1);

  // One repaint per refresh interval at most (plus slack for a slow machine); painting every
  // notice would be thousands.
  EXPECT_GT(writes.load(), 10000);
  EXPECT_LE(paintsWhileWriting, static_cast<int>(kWriteMs / kListRefreshIntervalMs) + 8);
  // And the last write is what the list shows in the end.
  EXPECT_EQ(ShownCell(list, 0, kColStatus), WideFromGbk(table.GetCell(0, kColStatus)));
}

TEST_F(MainWindowTest, WritersNeverWaitForTheWindowThread) {
  // The window thread is busy (it dispatches nothing for two seconds); writers on other threads
  // must get through regardless.
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 100000; ++i) table.SetCell(0, kColTestTime, DecimalText(i));
    table.AppendRow("2");
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_TRUE(done.load()) << "a writer waited for the window thread";
  writer.join();
  ASSERT_TRUE(PumpUntil([&] { return ListView_GetItemCount(list) == 2; }, 5000));
  EXPECT_EQ(ShownCell(list, 0, kColTestTime), L"99999");
}

}  // namespace
}  // namespace uptorra
