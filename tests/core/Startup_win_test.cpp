#include "core/Startup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "core/Config.h"
#include "core/Config_win.h"
#include "core/FileIo.h"
#include "core/HostsFile.h"
#include "notify/PushMessage.h"
#include "core/StartupWindow.h"
#include "support/TempDir_win.h"

namespace uptorra {
namespace {

using test::StartupWindow;
using test::TempDir;

const Text kNotConfigured = "未读取到Wx_Pusher的配置，";
const Text kLoaded = "主机载入完成，当前主机数：";

// A first-run store whose mark may fail to stick, as for a user without write access to HKLM.
class FakeFirstRun : public FirstRunStore {
 public:
  explicit FakeFirstRun(bool marked, bool writable = true) : marked_(marked), writable_(writable) {}
  bool IsMarked() override { return marked_; }
  void Mark() override {
    ++markCalls;
    boxesWhenMarked = window ? static_cast<int>(window->boxes.size()) : -1;
    if (writable_) marked_ = true;
  }
  int markCalls = 0;
  int boxesWhenMarked = -1;
  StartupWindow* window = nullptr;

 private:
  bool marked_;
  bool writable_;
};

Text ReadAll(const Text& path) {
  Bytes bytes;
  ReadWholeFile(path, bytes);
  return bytes;
}

class StartupTest : public ::testing::Test {
 protected:
  // A Chinese folder name: paths must survive a non-Chinese ANSI code page too.
  TempDir dir{"程序目录"};
  StartupWindow window;
  HostTable table;
  AppState state;
};

TEST_F(StartupTest, FirstStartInEmptyFolder) {
  FakeFirstRun firstRun(false);
  firstRun.window = &window;
  RunWindowCreated(window, table, state, firstRun, dir.path());

  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].caption, "Uptorra使用说明");
  EXPECT_EQ(window.boxes[0].text, Text(kUsageText));
  EXPECT_EQ(window.boxes[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(firstRun.boxesWhenMarked, 0) << "the mark is written before the box is shown";

  EXPECT_EQ(state.configPath, dir.path() + "\\MyConfig.ini");
  EXPECT_EQ(state.hostsPath, dir.path() + "\\MyHosts.csv");
  EXPECT_EQ(state.logPath, dir.path() + "\\MyLog.log");
  EXPECT_EQ(ReadAll(state.hostsPath), DefaultHostsFileContent());
  EXPECT_EQ(ReadProfileText(state.configPath, "SMTP邮件", "SMTP端口"), "25(示例)");
  EXPECT_EQ(ReadProfileText(state.configPath, "SMTP邮件", "发信昵称"), "KWO提醒助手(示例)");
  EXPECT_EQ(ReadProfileText(state.configPath, "SMTP邮件", "邮箱授权码"), "MoNpQrS(示例)");

  EXPECT_EQ(window.panes[0], kNotConfigured + kLoaded + "1");
  EXPECT_EQ(window.panes[1], "欢迎超帅的你，快双击作者签名加群！");
  ASSERT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.GetCell(0, kColStatus), "等待测试");
}

TEST_F(StartupTest, DefaultConfigurationHasSectionsAndKeysInOrder) {
  FakeFirstRun firstRun(true);
  RunWindowCreated(window, table, state, firstRun, dir.path());
  const Text config = ReadAll(state.configPath);
  const char* const inOrder[] = {"[Wx_Pusher]", "appToken=", "topicId=", "[SMTP邮件]", "SMTP服务器=",
                                 "SMTP端口=",   "发信邮箱=", "发信昵称=", "邮箱授权码=", "收信邮箱="};
  std::size_t at = 0;
  for (const char* piece : inOrder) {
    const std::size_t found = config.find(piece, at);
    ASSERT_NE(found, Text::npos) << piece << " missing or out of order in:\n" << config;
    at = found;
  }
  EXPECT_EQ(config.find("apiUrl"), Text::npos) << "the optional push address is never written";
  EXPECT_NE(config.find("\r\n"), Text::npos);
}

TEST_F(StartupTest, SecondStartWithBothPushKeys) {
  ASSERT_TRUE(ReplaceFileAtomically(dir.File("MyConfig.ini"),
                                    "[Wx_Pusher]\r\nappToken=AT_x\r\ntopicId=42\r\napiUrl=http://127.0.0.1:9/x\r\n"));
  ASSERT_TRUE(ReplaceFileAtomically(dir.File("MyHosts.csv"),
                                    Text(kHostsHeader) + "\r\na,b,ICMP,2,120,s\r\nbad line\r\nc,d,ICMP,2,120,s"));
  FakeFirstRun firstRun(true);
  RunWindowCreated(window, table, state, firstRun, dir.path());
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_EQ(firstRun.markCalls, 0);
  EXPECT_EQ(window.panes[0], kLoaded + "2");
  EXPECT_EQ(state.pushAppToken, "AT_x");
  EXPECT_EQ(state.pushTopicId, "42");
  EXPECT_EQ(state.pushApiUrl, "http://127.0.0.1:9/x");
  EXPECT_EQ(PushApiUrl(), "http://127.0.0.1:9/x") << "alerts go to the configured address";
  EXPECT_EQ(table.GetCell(1, kColNumber), "3");
}

TEST_F(StartupTest, OnePushKeyMissingCountsAsNotConfigured) {
  const Text config = "[Wx_Pusher]\r\nappToken=AT_x\r\n";
  ASSERT_TRUE(ReplaceFileAtomically(dir.File("MyConfig.ini"), config));
  FakeFirstRun firstRun(true);
  RunWindowCreated(window, table, state, firstRun, dir.path());
  EXPECT_EQ(window.panes[0], kNotConfigured + kLoaded + "1");
  EXPECT_EQ(ReadAll(dir.File("MyConfig.ini")), config) << "an existing configuration is never rewritten";
  EXPECT_EQ(PushApiUrl(), kBuiltInPushApiUrl) << "without apiUrl alerts go to the service's own address";
}

TEST_F(StartupTest, ExistingEmptyHostsFileIsKept) {
  ASSERT_TRUE(ReplaceFileAtomically(dir.File("MyHosts.csv"), ""));
  FakeFirstRun firstRun(true);
  RunWindowCreated(window, table, state, firstRun, dir.path());
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(ReadAll(state.hostsPath), "");
  EXPECT_EQ(window.panes[0], kNotConfigured + kLoaded + "0");
}

TEST_F(StartupTest, UnwritableFolderStartsWithAnEmptyTable) {
  FakeFirstRun firstRun(true);
  const Text missing = dir.path() + "\\不存在\\sub";
  RunWindowCreated(window, table, state, firstRun, missing);
  EXPECT_FALSE(FileExists(state.configPath));
  EXPECT_FALSE(FileExists(state.hostsPath));
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(window.panes[0], kNotConfigured + kLoaded + "0");
  EXPECT_EQ(window.panes[1], "欢迎超帅的你，快双击作者签名加群！");
}

TEST_F(StartupTest, UsageBoxAtEveryStartWhenTheMarkCannotBeWritten) {
  for (int start = 0; start < 2; ++start) {
    FakeFirstRun firstRun(false, /*writable=*/false);
    StartupWindow fresh;
    HostTable freshTable;
    RunWindowCreated(fresh, freshTable, state, firstRun, dir.path());
    EXPECT_EQ(fresh.boxes.size(), 1u);
    EXPECT_EQ(fresh.panes[1], "欢迎超帅的你，快双击作者签名加群！");
  }
}

// The registry mark: a root that refuses the write (as HKLM does for a standard user; Wine
// runs us as an administrator, so a root that is no valid key stands in for it) gives way to
// the next root, and the mark is then found there.
TEST(RegistryFirstRun, FallsBackToTheNextRootWhenTheFirstRefusesTheWrite) {
  const std::string subKey = "Software\\UptorraTest\\FirstRun" + std::to_string(::GetCurrentProcessId());
  const HKEY refusing = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7FFF0010));
  RegistryFirstRun store({refusing, HKEY_CURRENT_USER}, subKey.c_str());
  EXPECT_FALSE(store.IsMarked());
  store.Mark();
  EXPECT_TRUE(store.IsMarked());
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  char data[8] = {};
  DWORD size = sizeof data, type = 0;
  EXPECT_EQ(::RegQueryValueExA(key, "FirstRun", nullptr, &type, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(data, "1");
  ::RegCloseKey(key);
  ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\UptorraTest");
}

}  // namespace
}  // namespace uptorra
