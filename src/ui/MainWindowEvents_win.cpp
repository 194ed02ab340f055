// The main window's event table: every event the window raises, and the handler it calls.
// No other event is handled: the check box, the five edit boxes and every label but 标签3
// have none.
//
//   source                event                        handler
//   window                created                      start-up (RunWindowCreated)
//   window                can-be-closed                close question (OnCloseRequested)
//   window                tray event, with its kind    restore from the tray (OnTrayEvent)
//   超级列表框1           column title clicked         column sort (OnColumnClick)
//   超级列表框1           right click, row or not      the popup menu
//   "关闭监测此主机"      selected                     switch the host off   (monitoring control)
//   "开启监测此主机"      selected                     switch the host on    (monitoring control)
//   启动监测              clicked                      start or continue     (monitoring control)
//   停止监测              clicked                      stop                  (monitoring control)
//   添加主机              clicked                      add a host (OnAddHostClicked)
//   单选框_ICMP/_端口     clicked                      probe-type switch (OnProbeTypeRadioClicked)
//   发送邮件              clicked (hidden button)      test mail (OnSendMailClicked)
//   时钟1                 period elapsed               status mail (OnMailTimer)
//   查看日志              clicked                      open the log (OnViewLogClicked)
//   查看日志              right button pressed         usage text (OnViewLogRightButton)
//   编辑配置              clicked                      open the configuration (OnEditConfigClicked)
//   重启程序              clicked                      restart (OnRestartClicked)
//   标签3                 double-clicked               push-service guide (OnPushGuideDoubleClicked)
//   图片框1               double-clicked               chat group (OnSignatureDoubleClicked)
//   状态条1               double-clicked               download page (OnStatusBarDoubleClicked)
#include <windows.h>

#include <commctrl.h>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "core/MonitorControl_win.h"
#include "core/Startup.h"
#include "log/EventLog.h"
#include "notify/MailReport_win.h"
#include "ui/AddHost.h"
#include "ui/CloseTrayHelp.h"
#include "ui/ColumnSort.h"
#include "ui/ControlIds.h"
#include "ui/Dpi_win.h"
#include "ui/MainWindow_win.h"
#include "ui/Restart.h"
#include "ui/Shell.h"

namespace uptorra {

namespace {

// The folder of the running executable, without a trailing backslash.
Text ProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);  // truncated: a long path
  }
  return FolderOf(GbkFromWide(path));
}

}  // namespace

// --- Routing of window messages to events -----------------------------------------------------

void MainWindow::OnCommand(int id, int code) {
  switch (id) {
    case IDCANCEL:
      // Esc, through the dialog manager: a close request like the close button's.
      ::SendMessageW(hwnd_, WM_CLOSE, 0, 0);
      break;
    case kMenuSwitchHostOff:
      HandleSwitchHostOff();
      break;
    case kMenuSwitchHostOn:
      HandleSwitchHostOn();
      break;
    case ControlId(Control::启动监测):
      if (code == BN_CLICKED) HandleStartClicked();
      break;
    case ControlId(Control::停止监测):
      if (code == BN_CLICKED) HandleStopClicked();
      break;
    case ControlId(Control::添加主机):
      if (code == BN_CLICKED) HandleAddHostClicked();
      break;
    case ControlId(Control::单选框_ICMP):
      if (code == BN_CLICKED) HandleIcmpRadioClicked();
      break;
    case ControlId(Control::单选框_端口):
      if (code == BN_CLICKED) HandlePortRadioClicked();
      break;
    case ControlId(Control::发送邮件):
      if (code == BN_CLICKED) HandleSendMailClicked();
      break;
    case ControlId(Control::查看日志):
      if (code == BN_CLICKED) HandleViewLogClicked();
      break;
    case ControlId(Control::编辑配置):
      if (code == BN_CLICKED) HandleEditConfigClicked();
      break;
    case ControlId(Control::重启程序):
      if (code == BN_CLICKED) HandleRestartClicked();
      break;
    case ControlId(Control::标签3):
      if (code == STN_DBLCLK) HandlePushGuideDoubleClicked();
      break;
    case ControlId(Control::图片框1):
      if (code == STN_DBLCLK) HandleSignatureDoubleClicked();
      break;
  }
}

LRESULT MainWindow::OnNotify(const NMHDR& header) {
  if (header.hwndFrom == Item(Control::超级列表框1)) return OnListNotify(header);
  if (header.hwndFrom == Item(Control::状态条1) && header.code == NM_DBLCLK) HandleStatusBarDoubleClicked();
  return 0;
}

void MainWindow::OnRightButton(int controlId) {
  if (controlId == ControlId(Control::查看日志)) HandleViewLogRightButton();
}

// --- The events and their handlers ------------------------------------------------------------

void MainWindow::HandleCreated() {
  RunWindowCreated(*this, table_, state_, firstRun_, programDir_.empty() ? ProgramDirectory() : programDir_);
  SetEventLogPath(state_.logPath);
}

bool MainWindow::HandleCanBeClosed() { return uptorra::OnCloseRequested(*this); }

void MainWindow::HandleTrayEvent(int kind) { uptorra::OnTrayEvent(*this, kind); }

void MainWindow::HandleColumnClick(int column) { uptorra::OnColumnClick(*this, table_, column); }

void MainWindow::HandleListRightClick() {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  const int offset = Scale(kPopupOffset);
  popup_.Show(hwnd_, POINT{cursor.x + offset, cursor.y + offset});
}

void MainWindow::HandleSwitchHostOff() { uptorra::OnSwitchHostOffChosen(table_); }

void MainWindow::HandleSwitchHostOn() { uptorra::OnSwitchHostOnChosen(table_); }

void MainWindow::HandleStartClicked() { uptorra::OnStartClicked(*this, table_, state_, pool_); }

void MainWindow::HandleStopClicked() { uptorra::OnStopClicked(*this, table_, state_, pool_); }

void MainWindow::HandleAddHostClicked() { uptorra::OnAddHostClicked(*this, table_, state_); }

void MainWindow::HandleIcmpRadioClicked() { uptorra::OnProbeTypeRadioClicked(*this, Control::单选框_ICMP); }

void MainWindow::HandlePortRadioClicked() { uptorra::OnProbeTypeRadioClicked(*this, Control::单选框_端口); }

void MainWindow::HandleSendMailClicked() { uptorra::OnSendMailClicked(*this); }

void MainWindow::HandleMailTimer() { uptorra::OnMailTimer(*this, state_); }

void MainWindow::HandleViewLogClicked() { uptorra::OnViewLogClicked(state_, SystemShell()); }

void MainWindow::HandleViewLogRightButton() { uptorra::OnViewLogRightButton(*this); }

void MainWindow::HandleEditConfigClicked() { uptorra::OnEditConfigClicked(state_, SystemShell()); }

void MainWindow::HandleRestartClicked() { uptorra::OnRestartClicked(*this); }

void MainWindow::HandlePushGuideDoubleClicked() { uptorra::OnPushGuideDoubleClicked(*this, SystemShell()); }

void MainWindow::HandleSignatureDoubleClicked() { uptorra::OnSignatureDoubleClicked(*this, SystemShell()); }

void MainWindow::HandleStatusBarDoubleClicked() { uptorra::OnStatusBarDoubleClicked(*this, SystemShell()); }

}  // namespace uptorra
