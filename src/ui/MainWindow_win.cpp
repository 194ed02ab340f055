#include "ui/MainWindow_win.h"

#include "core/Gbk_win.h"
#include "ui/ControlIds.h"
#include "ui/Dpi_win.h"
#include "ui/MessageBox_win.h"
#include "ui/ResourceIds.h"

namespace uptorra {

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

bool RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (::GetClassInfoExW(instance, kMainWindowClass, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_UPTORRA));
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainWindowClass;
  return ::RegisterClassExW(&wc) != 0;
}

// The window's outer rectangle for a DPI: the fixed size, centred in the work area of the
// primary monitor.
RECT CentredWindowRect(UINT dpi) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const int width = ScaleForDpi(kMainWindowWidth, dpi);
  const int height = ScaleForDpi(kMainWindowHeight, dpi);
  const int left = work.left + ((work.right - work.left) - width) / 2;
  const int top = work.top + ((work.bottom - work.top) - height) / 2;
  return RECT{left, top, left + width, top + height};
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, HostTable& table, AppState& state, FirstRunStore& firstRun,
                       TaskPool& pool, Text programDir)
    : instance_(instance),
      table_(table),
      state_(state),
      firstRun_(firstRun),
      pool_(pool),
      programDir_(std::move(programDir)) {}

MainWindow::~MainWindow() {
  // The model outlives the window: no notice may be posted to a window that is gone.
  table_.SetChangeListener(nullptr);
}

bool MainWindow::Create(int showCommand) {
  if (!RegisterWindowClass(instance_, &BaseWindow::WindowProc)) return false;
  dpi_ = DpiOfPoint(POINT{0, 0});
  const RECT rect = CentredWindowRect(dpi_);
  const std::wstring title = WideFromGbk(kMainWindowTitle);
  if (!::CreateWindowExW(0, kMainWindowClass, title.c_str(), kWindowStyle, rect.left, rect.top,
                         rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance_, this)) {
    return false;
  }
  // The window may have landed at another DPI than the one guessed from the monitor.
  const UINT actual = DpiOfWindow(hwnd_);
  if (actual != dpi_) {
    const RECT scaled = CentredWindowRect(actual);
    OnDpiChanged(actual, scaled);
  }
  HandleCreated();
  if (!hwnd_) return false;  // destroyed while start-up ran: nothing left to show
  ::ShowWindow(hwnd_, showCommand);
  ::UpdateWindow(hwnd_);
  return true;
}

bool MainWindow::PreTranslate(MSG& message) {
  if (!hwnd_) return false;
  // Messages for other top-level windows (message boxes, menus) are theirs.
  if (message.hwnd != hwnd_ && !::IsChild(hwnd_, message.hwnd)) return false;
  return ::IsDialogMessageW(hwnd_, &message) != FALSE;
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_DRAWITEM:
      OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    case WM_ACTIVATE:
      if (OnActivate(LOWORD(wParam) != WA_INACTIVE, HIWORD(wParam) != 0)) return 0;
      return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case kTableChangedMessage:
      OnTableChanged();
      return 0;
    case kTrayCallbackMessage:
      OnTray(static_cast<UINT>(lParam));
      return 0;
    case kRightButtonMessage:
      OnRightButton(static_cast<int>(wParam));
      return 0;
    default:
      if (message == TrayIcon::TaskbarCreatedMessage()) {
        tray_.Restore();
        return 0;
      }
      return ::DefWindowProcW(hwnd_, message, wParam, lParam);
  }
}

bool MainWindow::OnCreate() {
  tray_.Init(hwnd_, kTrayIconId, kTrayCallbackMessage);
  if (!popup_.Create()) return false;
  const HWND window = hwnd_;
  // Called on whatever thread wrote the model: it only posts, never waits for this thread.
  table_.SetChangeListener([window] { ::PostMessageW(window, kTableChangedMessage, 0, 0); });
  return CreateControls();
}

void MainWindow::OnClose() {
  // The close button, the system menu and Esc all end up here: the can-be-closed event.
  if (HandleCanBeClosed()) ::DestroyWindow(hwnd_);
}

void MainWindow::OnDestroy() {
  table_.SetChangeListener(nullptr);
  ::KillTimer(hwnd_, kMailTimerId);
  ::KillTimer(hwnd_, kListRefreshTimerId);
  tray_.Remove();
  ::PostQuitMessage(0);
}

void MainWindow::OnTimer(UINT_PTR id) {
  switch (id) {
    case kListRefreshTimerId:
      ::KillTimer(hwnd_, kListRefreshTimerId);
      refreshTimerArmed_ = false;
      RefreshList();
      break;
    case kMailTimerId:
      HandleMailTimer();
      break;
  }
}

void MainWindow::OnTray(UINT mouseMessage) {
  // The kinds of action the tray event reports.
  constexpr int kLeftButtonReleased = 1;
  constexpr int kLeftButtonDoubleClicked = 2;
  constexpr int kRightButtonOrMenuKey = 3;
  switch (mouseMessage) {
    case WM_LBUTTONUP:
      HandleTrayEvent(kLeftButtonReleased);
      break;
    case WM_LBUTTONDBLCLK:
      HandleTrayEvent(kLeftButtonDoubleClicked);
      break;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
      HandleTrayEvent(kRightButtonOrMenuKey);
      break;
  }
}

bool MainWindow::OnActivate(bool active, bool minimized) {
  // As a dialog box does: the focus goes back to the control that had it when the window was
  // left, and at first to the first control of the Tab order, so Tab works from the start.
  if (!active) {
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(hwnd_, focus)) lastFocus_ = focus;
    return false;
  }
  if (minimized) return false;
  HWND target = lastFocus_;
  if (!target || !::IsWindow(target) || !::IsWindowEnabled(target) || !::IsWindowVisible(target)) {
    target = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  }
  if (!target) return false;
  ::SetFocus(target);
  return true;
}

void MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlID != static_cast<UINT>(ControlId(Control::图片框1))) return;
  const RECT& box = item.rcItem;
  HDC memory = ::CreateCompatibleDC(item.hDC);
  if (memory && signature_) {
    HGDIOBJ old = ::SelectObject(memory, signature_.get());
    ::BitBlt(item.hDC, box.left, box.top, box.right - box.left, box.bottom - box.top, memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
  } else {
    ::FillRect(item.hDC, &box, ::GetSysColorBrush(COLOR_BTNFACE));
  }
  if (memory) ::DeleteDC(memory);
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  ::SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyLayout();
}

int MainWindow::Scale(int pixels) const { return ScaleForDpi(pixels, dpi_); }

// --- WindowServices ---------------------------------------------------------------------------

void MainWindow::SetPaneText(int pane, const Text& text) {
  if (pane < 0 || pane >= kStatusPaneCount) return;
  panes_[pane] = text;
  Status().SetText(pane, text);
}

Text MainWindow::PaneText(int pane) const {
  // The texts as they were given, byte for byte (the bar itself holds UTF-16).
  return pane >= 0 && pane < kStatusPaneCount ? panes_[pane] : Text();
}

MessageAnswer MainWindow::ShowMessage(const Text& text, const Text& caption, MessageButtons buttons) {
  return ShowMessageBox(text, caption, buttons);
}

Text MainWindow::ControlText(Control control) const {
  switch (control) {
    case Control::超级列表框1:
    case Control::图片框1:
      return {};
    case Control::状态条1:
      return panes_[0];
    default:
      return WindowTextGbk(Item(control));
  }
}

void MainWindow::SetControlText(Control control, const Text& text) {
  switch (control) {
    case Control::超级列表框1:
    case Control::图片框1:
      return;
    case Control::状态条1:
      SetPaneText(0, text);
      return;
    default:
      SetWindowTextGbk(Item(control), text);
  }
}

bool MainWindow::IsEnabled(Control control) const { return ::IsWindowEnabled(Item(control)) != FALSE; }

void MainWindow::SetEnabled(Control control, bool enabled) { ::EnableWindow(Item(control), enabled ? TRUE : FALSE); }

bool MainWindow::IsChecked(Control control) const {
  const ControlKind kind = LayoutOf(control).kind;
  if (kind != ControlKind::RadioButton && kind != ControlKind::CheckBox) return false;
  return ::SendMessageW(Item(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::SetChecked(Control control, bool checked) {
  const ControlKind kind = LayoutOf(control).kind;
  if (kind == ControlKind::RadioButton && checked) {
    // The two radio buttons are one group: selecting one clears the other.
    ::CheckRadioButton(hwnd_, ControlId(Control::单选框_ICMP), ControlId(Control::单选框_端口), ControlId(control));
  } else if (kind == ControlKind::RadioButton || kind == ControlKind::CheckBox) {
    ::SendMessageW(Item(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

void MainWindow::SetTimerPeriod(std::uint32_t ms) {
  timerPeriod_ = ms;
  if (ms == 0) {
    ::KillTimer(hwnd_, kMailTimerId);
  } else {
    ::SetTimer(hwnd_, kMailTimerId, ms, nullptr);  // replaces a running period
  }
}

std::uint32_t MainWindow::TimerPeriod() const { return timerPeriod_; }

Text MainWindow::ColumnTitle(int column) const { return List().ColumnTitle(column); }

void MainWindow::SetColumnTitle(int column, const Text& title) { List().SetColumnTitle(column, title); }

bool MainWindow::IsWindowVisible() const { return ::IsWindowVisible(hwnd_) != FALSE; }

void MainWindow::SetWindowVisible(bool visible) {
  if (!visible) {
    ::ShowWindow(hwnd_, SW_HIDE);
    return;
  }
  ::ShowWindow(hwnd_, ::IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  ::SetForegroundWindow(hwnd_);
}

void MainWindow::ShowTrayIcon(const Text& tip) { tray_.Show(smallIcon_.get(), WideFromGbk(tip)); }

}  // namespace uptorra
