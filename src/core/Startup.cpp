#include "core/Startup.h"

#include "core/FileIo.h"
#include "core/HostsFile.h"
#include "notify/PushMessage.h"

namespace uptorra {

void SetFilePaths(AppState& state, const Text& programDir) {
  state.programDir = programDir;
  state.configPath = programDir + "\\MyConfig.ini";
  state.hostsPath = programDir + "\\MyHosts.csv";
  state.logPath = programDir + "\\MyLog.log";
}

void RunWindowCreated(WindowServices& window, HostTable& table, AppState& state, FirstRunStore& firstRun,
                      const Text& programDir) {
  // 1. The mark is written before the box is shown, so a crash while it is open does not
  //    bring the box back.
  if (!firstRun.IsMarked()) {
    firstRun.Mark();
    window.ShowMessage(Text(kUsageText), Text(kUsageCaption), MessageButtons::Ok);
  }
  // 2-3.
  SetFilePaths(state, programDir);
  if (!FileExists(state.configPath)) WriteDefaultConfig(state.configPath);
  // 4-5.
  state.pushAppToken = ReadProfileText(state.configPath, kPushSection, kAppTokenKey);
  state.pushTopicId = ReadProfileText(state.configPath, kPushSection, kTopicIdKey);
  state.pushApiUrl = ReadProfileText(state.configPath, kPushSection, kApiUrlKey);
  SetPushApiUrl(state.pushApiUrl);  // empty: the service's own https address
  if (state.pushAppToken.empty() || state.pushTopicId.empty()) {
    window.SetPaneText(0, Text(kPushNotConfiguredPane));
  }
  // 6-7. An existing file is never replaced, even an empty one.
  if (!FileExists(state.hostsPath)) ReplaceFileAtomically(state.hostsPath, DefaultHostsFileContent());
  Bytes hostsBytes;
  ReadWholeFile(state.hostsPath, hostsBytes);
  LoadHostTable(hostsBytes, table);
  // 8-9.
  window.SetPaneText(0, window.PaneText(0) + Text(kHostsLoadedPane) + DecimalText(table.RowCount()));
  window.SetPaneText(1, Text(kWelcomePane));
}

}  // namespace uptorra
