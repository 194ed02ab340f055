#include "ui/CloseTrayHelp.h"

#include "core/Startup.h"
#include "log/EventLog.h"
#include "log/TimeText.h"
#include "ui/Links.h"

namespace uptorra {

namespace {

void ShowPageWithHint(WindowServices& window, ShellServices& shell, const Text& hint, std::string_view address) {
  // The hint first: it shows even when no browser can be started.
  window.SetPaneText(1, hint);
  shell.OpenAddress(Text(address));
}

}  // namespace

bool OnCloseRequested(WindowServices& window) {
  switch (window.ShowMessage(Text(kCloseQuestion), kTipCaption, MessageButtons::YesNoCancel)) {
    case MessageAnswer::Yes:
      // The program ends now; probe tasks still finishing a cycle log nothing above this.
      EventLogLast(TimeText() + Text(kCloseLogEntrySuffix));
      return true;
    case MessageAnswer::No:
      // Monitoring goes on behind the tray icon; showing it again replaces the same entry.
      window.SetWindowVisible(false);
      window.ShowTrayIcon(Text(kTrayTip));
      return false;
    default:  // Cancel, or the box closed without a choice
      return false;
  }
}

void OnTrayEvent(WindowServices& window, int kind) {
  // A double-click restores through the release of its first click; the right button does
  // nothing.
  if (kind == kTrayLeftButtonReleased) window.SetWindowVisible(true);
}

void OnViewLogRightButton(WindowServices& window) {
  window.ShowMessage(Text(kUsageText), Text(kUsageCaption), MessageButtons::Ok);
}

void OnViewLogClicked(const AppState& state, ShellServices& shell) {
  shell.StartProgram(Text(kTextEditorCommand) + state.logPath);
}

void OnEditConfigClicked(const AppState& state, ShellServices& shell) {
  shell.StartProgram(Text(kTextEditorCommand) + state.configPath);
}

void OnPushGuideDoubleClicked(WindowServices& window, ShellServices& shell) {
  ShowPageWithHint(window, shell, Text(kPushGuidePane), kPushGuideAddress);
}

void OnSignatureDoubleClicked(WindowServices& window, ShellServices& shell) {
  ShowPageWithHint(window, shell, Text(kChatGroupPane) + Text(kChatGroupNumber), kChatGroupAddress);
}

void OnStatusBarDoubleClicked(WindowServices& window, ShellServices& shell) {
  ShowPageWithHint(window, shell, Text(kDownloadPane) + Text(kDownloadAccessCode), kDownloadAddress);
}

}  // namespace uptorra
