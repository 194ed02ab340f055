#pragma once
// The program's one window. It shows the HostTable model in a virtual list view, holds the
// input boxes and buttons, the status bar, the popup menu, the mail timer and the tray icon,
// and serves the logic through WindowServices.
//
// The class is split over files by concern:
//   MainWindow_win.cpp        creation, the window procedure, the WindowServices calls
//   MainWindowLayout_win.cpp  controls made from the layout table, DPI scaling, fonts, pictures
//   MainWindowList_win.cpp    the virtual list: painting from the model, coalesced refresh
//   MainWindowEvents_win.cpp  the event table: which event calls which handler
#include <windows.h>

#include <array>
#include <cstdint>

#include "core/AppState.h"
#include "core/Config.h"
#include "core/HostTable.h"
#include "pool/TaskPool.h"
#include "ui/BaseWindow_win.h"
#include "ui/Controls_win.h"
#include "ui/Fonts_win.h"
#include "ui/MainWindowLayout.h"
#include "ui/PixelScale.h"
#include "ui/PopupMenu_win.h"
#include "ui/TrayIcon_win.h"
#include "ui/UniqueGdi_win.h"
#include "ui/WindowServices.h"

namespace uptorra {

// Rows repaint at most this often, however many probe tasks write into them.
inline constexpr UINT kListRefreshIntervalMs = 200;

class MainWindow : public BaseWindow<MainWindow>, public WindowServices {
 public:
  // table and state must outlive the window (they live as long as the process). The program's
  // folder is the executable's unless programDir names another (tests).
  MainWindow(HINSTANCE instance, HostTable& table, AppState& state, FirstRunStore& firstRun, TaskPool& pool,
             Text programDir = {});
  ~MainWindow() override;

  // Creates the window with every control in its initial state, runs the window-created
  // handler (start-up) and shows the window. False when the window could not be created.
  bool Create(int showCommand);

  // For the message loop: Tab and Esc keys go through the dialog manager. True when the
  // message was handled and must not be dispatched.
  bool PreTranslate(MSG& message);

  // WindowServices
  void SetPaneText(int pane, const Text& text) override;
  Text PaneText(int pane) const override;
  MessageAnswer ShowMessage(const Text& text, const Text& caption, MessageButtons buttons) override;
  Text ControlText(Control control) const override;
  void SetControlText(Control control, const Text& text) override;
  bool IsEnabled(Control control) const override;
  void SetEnabled(Control control, bool enabled) override;
  bool IsChecked(Control control) const override;
  void SetChecked(Control control, bool checked) override;
  void SetTimerPeriod(std::uint32_t ms) override;
  std::uint32_t TimerPeriod() const override;
  Text ColumnTitle(int column) const override;
  void SetColumnTitle(int column, const Text& title) override;
  bool IsWindowVisible() const override;
  void SetWindowVisible(bool visible) override;
  void ShowTrayIcon(const Text& tip) override;

 private:
  friend class BaseWindow<MainWindow>;
  static constexpr std::size_t kControlCount = static_cast<std::size_t>(Control::状态条1) + 1;

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // Window messages (MainWindow_win.cpp, MainWindowEvents_win.cpp).
  bool OnCreate();
  void OnClose();
  void OnDestroy();
  void OnCommand(int id, int code);
  LRESULT OnNotify(const NMHDR& header);
  void OnTimer(UINT_PTR id);
  void OnTray(UINT mouseMessage);
  void OnRightButton(int controlId);
  bool OnActivate(bool active, bool minimized);
  void OnDrawItem(const DRAWITEMSTRUCT& item);
  void OnDpiChanged(UINT dpi, const RECT& suggested);

  // Layout (MainWindowLayout_win.cpp).
  bool CreateControls();
  void ApplyLayout();
  void LoadPictures();
  HWND Item(Control control) const { return controls_[static_cast<std::size_t>(control)]; }
  int Scale(int pixels) const;

  // The list (MainWindowList_win.cpp).
  void SetUpList();
  void OnTableChanged();
  void RefreshList();
  LRESULT OnListNotify(const NMHDR& header);
  void OnListGetDispInfo(NMLVDISPINFOW& info) const;
  void TakeSelectionFromView();
  ListView List() const { return ListView(Item(Control::超级列表框1)); }
  StatusBar Status() const { return StatusBar(Item(Control::状态条1)); }

  // The event table (MainWindowEvents_win.cpp): one member per event, each calling its handler.
  void HandleCreated();
  bool HandleCanBeClosed();
  void HandleTrayEvent(int kind);
  void HandleColumnClick(int column);
  void HandleListRightClick();
  void HandleSwitchHostOff();
  void HandleSwitchHostOn();
  void HandleStartClicked();
  void HandleStopClicked();
  void HandleAddHostClicked();
  void HandleIcmpRadioClicked();
  void HandlePortRadioClicked();
  void HandleSendMailClicked();
  void HandleMailTimer();
  void HandleViewLogClicked();
  void HandleViewLogRightButton();
  void HandleEditConfigClicked();
  void HandleRestartClicked();
  void HandlePushGuideDoubleClicked();
  void HandleSignatureDoubleClicked();
  void HandleStatusBarDoubleClicked();

  HINSTANCE instance_;
  HostTable& table_;
  AppState& state_;
  FirstRunStore& firstRun_;
  TaskPool& pool_;
  Text programDir_;

  std::array<HWND, kControlCount> controls_{};
  UINT dpi_ = 96;
  WindowFonts fonts_;
  UniqueImageList statusImages_;
  UniqueIcon bigIcon_;
  UniqueIcon smallIcon_;
  PixelImage signatureSource_;
  UniqueBitmap signature_;
  PopupMenu popup_;
  TrayIcon tray_;

  HWND lastFocus_ = nullptr;  // the control to give the focus back to when the window is active again
  Text panes_[kStatusPaneCount];
  std::uint32_t timerPeriod_ = 0;

  // Coalesced list refresh.
  ULONGLONG lastRefreshTick_ = 0;
  bool refreshTimerArmed_ = false;
};

}  // namespace uptorra
