// Restart: the command, the short path, ending a process, and the whole restart of a helper
// program through the script.
#include "ui/Restart.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "core/UniqueHandle_win.h"
#include "log/EventLog.h"
#include "support/HelperPath_win.h"
#include "support/TempDir_win.h"
#include "ui/CommandFixture_win.h"
#include "ui/ScriptedWindow.h"

namespace uptorra {
namespace {

using test::ScriptedWindow;
using test::LoggedCommandTest;
using test::ReadText;
using test::HelperPath;
using test::TempDir;

constexpr DWORD kHangLimitMs = 30000;  // only against a hang: the restart takes about a second

struct Started {
  UniqueHandle process;
  DWORD id = 0;
};

Started Start(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingFolder) {
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  Started started;
  if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &info)) {
    ::CloseHandle(info.hThread);
    started.process.reset(info.hProcess);
    started.id = info.dwProcessId;
  }
  return started;
}

// Polls until done() holds or the limit passes.
template <typename Done>
bool WaitFor(Done done, DWORD limitMs = kHangLimitMs) {
  const ULONGLONG end = ::GetTickCount64() + limitMs;
  while (!done()) {
    if (::GetTickCount64() > end) return false;
    ::Sleep(50);
  }
  return true;
}

// ---- ShortPathOf ---------------------------------------------------------------------------

TEST(ShortPathOf, PathWithBlanksGetsItsShortFormNamingTheSameFile) {
  TempDir dir{"目录 有空格"};
  const Text folder = dir.File("program files");
  ASSERT_TRUE(::CreateDirectoryW(WideFromGbk(folder).c_str(), nullptr));
  const Text program = folder + "\\long program name.exe";
  ASSERT_TRUE(ReplaceFileAtomically(program, "MZ"));

  const Text shortPath = ShortPathOf(program);
  // This volume keeps short names (Wine makes them up for every long name): the short form has
  // no blanks and leads to the same file.
  EXPECT_EQ(shortPath.find(' '), Text::npos) << shortPath;
  EXPECT_NE(shortPath, program);
  EXPECT_TRUE(FileExists(shortPath));
  wchar_t longPath[MAX_PATH];
  const DWORD length = ::GetLongPathNameW(WideFromGbk(shortPath).c_str(), longPath, MAX_PATH);
  EXPECT_EQ(GbkFromWide(std::wstring(longPath, length)), program);

  // A path of 8.3 names only has no other short form: it comes back unchanged.
  EXPECT_EQ(ShortPathOf(shortPath), shortPath);
}

TEST(ShortPathOf, MissingPathComesBackUnchanged) {
  TempDir dir;
  for (const Text& path : {dir.File("no such folder\\x y.exe"), Text(""), Text("relative name.exe")}) {
    EXPECT_EQ(ShortPathOf(path), path);
  }
}

// ---- TerminateProcessById ------------------------------------------------------------------

TEST(TerminateProcessById, EndsAnotherProcessWithExitCodeZero) {
  Started sleeper = Start(HelperPath(L"restart_probe.exe"), L"--sleep", L"");
  ASSERT_TRUE(sleeper.process);
  EXPECT_TRUE(TerminateProcessById(sleeper.id));
  ASSERT_EQ(::WaitForSingleObject(sleeper.process.get(), kHangLimitMs), WAIT_OBJECT_0);
  DWORD code = 99;
  ::GetExitCodeProcess(sleeper.process.get(), &code);
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(TerminateProcessById(0u)) << "no process can be opened with id 0";
}

// ---- the restart ---------------------------------------------------------------------------

TEST(RestartProgram, NothingIsWrittenForAProgramThatIsNotThere) {
  TempDir dir;
  EXPECT_FALSE(WriteRestartScript(dir.File("Uptorra.exe"), 2));
  EXPECT_FALSE(LaunchRestartScript(dir.File("Uptorra.exe"), 2));
  EXPECT_FALSE(FileExists(dir.File("Restart.bat")));
}

TEST(RestartProgram, NewCopyStartsAndTheScriptDeletesItself) {
  TempDir dir{"重启 测试"};
  const Text programFolder = dir.File("program folder");
  ASSERT_TRUE(::CreateDirectoryW(WideFromGbk(programFolder).c_str(), nullptr));
  const Text program = programFolder + "\\restart probe.exe";
  ASSERT_TRUE(::CopyFileW(HelperPath(L"restart_probe.exe").c_str(), WideFromGbk(program).c_str(), FALSE));
  const Text report = programFolder + "\\started.txt";
  const Text script = programFolder + "\\Restart.bat";

  // Started from another folder: the script must still find itself to delete.
  Started first = Start(WideFromGbk(program), L"--restart", WideFromGbk(dir.path()));
  ASSERT_TRUE(first.process);
  ASSERT_EQ(::WaitForSingleObject(first.process.get(), kHangLimitMs), WAIT_OBJECT_0);
  DWORD code = 99;
  ::GetExitCodeProcess(first.process.get(), &code);
  EXPECT_EQ(code, 0u) << "3 means RestartProgram returned instead of ending the process";

  ASSERT_TRUE(WaitFor([&] { return FileExists(report); })) << "no new copy started";
  EXPECT_TRUE(WaitFor([&] { return !FileExists(script); })) << "Restart.bat was not deleted";
  const Text started = ReadText(report);
  EXPECT_EQ(started.find("pid=" + std::to_string(first.id) + "\r\n"), Text::npos) << "a new process, not the old one";
  EXPECT_NE(started.find("\r\nhidden=0"), Text::npos) << "the new copy must not be told to hide its window\n" << started;
}

TEST(RestartProgram, ScriptIsWrittenWithTheShortPathAndTheDelay) {
  TempDir dir{"脚本 内容"};
  const Text program = dir.File("restart probe.exe");
  ASSERT_TRUE(::CopyFileW(HelperPath(L"restart_probe.exe").c_str(), WideFromGbk(program).c_str(), FALSE));
  ASSERT_TRUE(ReplaceFileAtomically(dir.File("Restart.bat"), "an older script, much longer than the new one"));
  ASSERT_TRUE(WriteRestartScript(program, 7));
  const Text script = ReadText(dir.File("Restart.bat"));
  EXPECT_EQ(script, RestartScriptText(ShortPathOf(program), 7));
  EXPECT_EQ(script.find("restart probe"), Text::npos) << "the long name has blanks; the script holds its short form";
  EXPECT_NE(script.find("-n 7 >nul"), Text::npos) << script;
}

// ---- the command ---------------------------------------------------------------------------

class RestartCommandTest : public LoggedCommandTest {
 protected:
  int restarts = 0;
};

TEST_F(RestartCommandTest, CancelDoesNothing) {
  window.Answer(MessageAnswer::Cancel);
  OnRestartClicked(window, [this] { ++restarts; });
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].text, "确认重启程序？");
  EXPECT_EQ(window.boxes[0].caption, "KWO提示");
  EXPECT_EQ(window.boxes[0].buttons, MessageButtons::OkCancel);
  EXPECT_EQ(restarts, 0);
  EXPECT_EQ(ReadText(logPath), "older entry\r\n");
}

TEST_F(RestartCommandTest, OkLogsTheRestartFirstAndRestarts) {
  window.Answer(MessageAnswer::Ok);
  OnRestartClicked(window, [this] {
    ++restarts;
    EXPECT_NE(ReadText(logPath).find("---程序重启"), Text::npos) << "logged before the restart";
  });
  EXPECT_EQ(restarts, 1);
  const Text log = ReadText(logPath);
  constexpr std::size_t kTimeTextLength = 19;  // YYYY-MM-DD hh:mm:ss
  ASSERT_GE(log.size(), kTimeTextLength);
  EXPECT_EQ(log.substr(kTimeTextLength), "---程序重启\r\nolder entry\r\n");
  EXPECT_EQ(log[4], '-');
  EXPECT_EQ(log[10], ' ');
}

// Probe tasks go on until the process is terminated: a failure they log after the restart
// entry would stand above it. While the restart is under way nothing more gets in; when the
// restart could not start the new copy (the callback returns), the program and its log go on.
TEST_F(RestartCommandTest, NothingIsLoggedAboveTheRestartEntryAndTheLogReopensWhenTheRestartFails) {
  window.Answer(MessageAnswer::Ok);
  OnRestartClicked(window, [this] {
    ++restarts;
    EventLog("task failure during the restart\r\n");
    EXPECT_EQ(ReadText(logPath).substr(19).rfind("---程序重启", 0), 0u) << ReadText(logPath);
  });
  ASSERT_EQ(restarts, 1);
  EXPECT_EQ(ReadText(logPath).find("task failure during the restart"), Text::npos);
  EventLog("after a failed restart\r\n");
  EXPECT_EQ(ReadText(logPath).rfind("after a failed restart\r\n", 0), 0u) << ReadText(logPath);
}

}  // namespace
}  // namespace uptorra
