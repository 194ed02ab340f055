// The close question, the tray, the usage text, the editor and the link commands.
#include "ui/CloseTrayHelp.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "core/Startup.h"
#include "log/EventLog.h"
#include "support/HelperPath_win.h"
#include "support/TempDir_win.h"
#include "ui/Links.h"
#include "ui/CommandFixture_win.h"
#include "ui/ScriptedWindow.h"

namespace uptorra {
namespace {

using test::ScriptedWindow;
using test::LoggedCommandTest;
using test::ReadText;
using test::HelperPath;
using test::TempDir;

constexpr std::size_t kTimeTextLength = 19;  // YYYY-MM-DD hh:mm:ss

// Records what would be started; starts nothing. The browser may be missing.
class RecordingShell : public ShellServices {
 public:
  bool StartProgram(const Text& commandLine) override {
    programs.push_back(commandLine);
    return true;
  }
  bool OpenAddress(const Text& address) override {
    addresses.push_back(address);
    return browserPresent;
  }
  std::vector<Text> programs;
  std::vector<Text> addresses;
  bool browserPresent = true;
};

class CloseQuestionTest : public LoggedCommandTest {};

TEST_F(CloseQuestionTest, YesLogsTheCloseAndLetsTheWindowGo) {
  window.Answer(MessageAnswer::Yes);
  EXPECT_TRUE(OnCloseRequested(window));
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].text, "是否关闭？点击是关闭程序，点击否最小化到托盘。");
  EXPECT_EQ(window.boxes[0].caption, "KWO提示");
  EXPECT_EQ(window.boxes[0].buttons, MessageButtons::YesNoCancel);
  const Text log = ReadText(logPath);
  ASSERT_GT(log.size(), kTimeTextLength);
  EXPECT_EQ(log.substr(kTimeTextLength), "---程序关闭\r\nolder entry\r\n");
  EXPECT_EQ(window.trayIconUpdates, 0);
  // Probe tasks run on until the process ends; what they log now must not go above the close.
  EventLog("task failure while the program ends\r\n");
  EXPECT_EQ(ReadText(logPath), log);
}

TEST_F(CloseQuestionTest, NoHidesTheWindowInTheTrayEveryTime) {
  for (int round = 1; round <= 2; ++round) {
    window.Answer(MessageAnswer::No);
    EXPECT_FALSE(OnCloseRequested(window));
    EXPECT_FALSE(window.IsWindowVisible());
    EXPECT_EQ(window.trayIconUpdates, round);
    EXPECT_EQ(window.trayTip, "Uptorra");
    OnTrayEvent(window, 1);
    EXPECT_TRUE(window.IsWindowVisible());
  }
  EXPECT_EQ(ReadText(logPath), "older entry\r\n");
}

TEST_F(CloseQuestionTest, CancelOrClosingTheBoxChangesNothing) {
  window.Answer(MessageAnswer::Cancel);
  EXPECT_FALSE(OnCloseRequested(window));
  EXPECT_FALSE(OnCloseRequested(window));  // nothing scripted: the box closed with Esc
  EXPECT_TRUE(window.IsWindowVisible());
  EXPECT_EQ(window.trayIconUpdates, 0);
  EXPECT_EQ(ReadText(logPath), "older entry\r\n");
}

TEST(TrayEvent, OnlyTheLeftButtonReleaseRestores) {
  ScriptedWindow window;
  window.SetWindowVisible(false);
  for (int kind : {2, 3, 0, 99}) {
    OnTrayEvent(window, kind);
    EXPECT_FALSE(window.IsWindowVisible()) << kind;
  }
  OnTrayEvent(window, 1);
  EXPECT_TRUE(window.IsWindowVisible());
}

TEST(HelpCommands, RightButtonOnViewLogShowsTheUsageText) {
  ScriptedWindow window;
  OnViewLogRightButton(window);
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].text, Text(kUsageText));
  EXPECT_EQ(window.boxes[0].caption, "Uptorra使用说明");
  EXPECT_EQ(window.boxes[0].buttons, MessageButtons::Ok);
}

TEST(HelpCommands, LogAndConfigurationOpenInTheTextEditorUnquoted) {
  AppState state;
  SetFilePaths(state, "C:\\监测 工具");
  RecordingShell shell;
  OnViewLogClicked(state, shell);
  OnEditConfigClicked(state, shell);
  EXPECT_EQ(shell.programs,
            (std::vector<Text>{"notepad C:\\监测 工具\\MyLog.log", "notepad C:\\监测 工具\\MyConfig.ini"}));
}

TEST(HelpCommands, LinkCommandsHintInPaneOneAndOpenTheirPage) {
  struct Case {
    void (*command)(WindowServices&, ShellServices&);
    Text pane;
    std::string_view address;
  };
  const Case cases[] = {
      {OnPushGuideDoubleClicked, "创建应用(appToken)-新建主题(topicId)-关注订阅-填写配置", kPushGuideAddress},
      {OnSignatureDoubleClicked, "欢迎超帅的你加群！Q群：" + Text(kChatGroupNumber), kChatGroupAddress},
      {OnStatusBarDoubleClicked, "蓝奏云链接密码：" + Text(kDownloadAccessCode), kDownloadAddress},
  };
  for (const Case& c : cases) {
    ScriptedWindow window;
    window.SetPaneText(0, "pane 0");
    RecordingShell shell;
    shell.browserPresent = false;  // the hint shows all the same
    c.command(window, shell);
    EXPECT_EQ(window.PaneText(1), c.pane);
    EXPECT_EQ(window.PaneText(0), "pane 0");
    EXPECT_EQ(shell.addresses, std::vector<Text>{Text(c.address)});
  }
}

// ---- the system's shell --------------------------------------------------------------------

bool WaitForFile(const Text& path) {
  const ULONGLONG end = ::GetTickCount64() + 30000;  // only against a hang
  while (!FileExists(path)) {
    if (::GetTickCount64() > end) return false;
    ::Sleep(50);
  }
  return true;
}

TEST(SystemShell, StartsAProgramInANormalWindowWithoutWaiting) {
  TempDir dir{"编辑器"};
  const Text program = dir.File("probe.exe");
  ASSERT_TRUE(::CopyFileW(HelperPath(L"restart_probe.exe").c_str(), WideFromGbk(program).c_str(), FALSE));
  ASSERT_TRUE(SystemShell().StartProgram("\"" + program + "\""));
  ASSERT_TRUE(WaitForFile(dir.File("started.txt")));
  EXPECT_NE(ReadText(dir.File("started.txt")).find("hidden=0"), Text::npos);
  EXPECT_FALSE(SystemShell().StartProgram(dir.File("no such program.exe")));
}

TEST(SystemShell, OpensAnAddressWithItsDefaultHandler) {
  // A batch file stands in for a web page: its default handler runs it.
  TempDir dir{"链接 命令"};
  const Text marker = dir.File("opened.txt");
  // %~dp0 is the script's own folder: the script holds no GBK bytes that cmd would have to
  // read in its console code page.
  ASSERT_TRUE(ReplaceFileAtomically(dir.File("page.bat"), "@echo opened> \"%~dp0opened.txt\""));
  EXPECT_TRUE(SystemShell().OpenAddress(dir.File("page.bat")));
  EXPECT_TRUE(WaitForFile(marker));
}

}  // namespace
}  // namespace uptorra
