#include "core/FileIo.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/Gbk_win.h"
#include "core/UniqueHandle_win.h"
#include "support/HelperPath_win.h"
#include "support/TempDir_win.h"

namespace uptorra {
namespace {

using test::HelperPath;
using test::TempDir;

TEST(FileIo, ReadMissingFileGivesFalseAndNothing) {
  TempDir dir;
  Bytes bytes = "junk";
  EXPECT_FALSE(ReadWholeFile(dir.File("none"), bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(FileExists(dir.File("none")));
  EXPECT_FALSE(FileExists(dir.path())) << "a folder is no file";
}

TEST(FileIo, ReplaceKeepsZeroBytesAndGbkNamesAndLeavesNoTemporaryFile) {
  TempDir dir("文件");
  const Text path = dir.File("主机.csv");
  const Bytes content("a\0b\xA1\xA1", 5);
  ASSERT_TRUE(ReplaceFileAtomically(path, content));
  ASSERT_TRUE(ReplaceFileAtomically(path, content + content));
  Bytes back;
  ASSERT_TRUE(ReadWholeFile(path, back));
  EXPECT_EQ(back, content + content);
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW(WideFromGbk(dir.path() + "\\*").c_str(), &data);
  int files = 0;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  EXPECT_EQ(files, 1);
}

TEST(FileIo, StaleTemporariesOfEndedProcessesAreRemoved) {
  TempDir dir;
  const Text path = dir.File("MyLog.log");
  const Text own = path + "." + std::to_string(::GetCurrentProcessId()) + ".0.tmp";
  // A process id that no running process has: ids are multiples of 4.
  const Text dead = path + ".4294967293.7.tmp";
  const Text foreign = path + ".backup.tmp";
  for (const Text& file : {path, own, dead, foreign}) ASSERT_TRUE(ReplaceFileAtomically(file, "x"));
  EXPECT_EQ(RemoveStaleTemporaries(path), 1);
  EXPECT_FALSE(FileExists(dead));
  EXPECT_TRUE(FileExists(own)) << "a running process may still rename it";
  EXPECT_TRUE(FileExists(foreign)) << "not a name the replace makes";
  EXPECT_TRUE(FileExists(path));
}

TEST(FileIo, ReplaceIntoMissingFolderFailsAndCreatesNothing) {
  TempDir dir;
  EXPECT_FALSE(ReplaceFileAtomically(dir.File("no\\such\\x.txt"), "x"));
}

Text GenerationLine(const Bytes& bytes) { return bytes.substr(0, bytes.find("\r\n")); }

// Kills a process that rewrites a large file again and again, at random moments, and checks
// after every kill that the file holds one whole generation: never torn, never empty. Each
// round waits until the writer has replaced the file at least once, so every kill lands
// while it is busy, however slowly processes start on a loaded machine.
TEST(FileIo, KilledWriterNeverLeavesATornFile) {
  TempDir dir;
  const Text path = dir.File("MyHosts.csv");
  constexpr std::size_t kLength = 4 * 1024 * 1024;
  std::mt19937 random(20261210);
  for (int round = 0; round < 25; ++round) {
    Bytes before;
    ReadWholeFile(path, before);
    std::wstring line = L"\"" + HelperPath(L"atomic_writer.exe") + L"\" \"" + WideFromGbk(path) + L"\" " +
                        std::to_wstring(kLength) + L" " + std::to_wstring(round * 1000000);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    const ULONGLONG deadline = ::GetTickCount64() + 60000;  // a hang guard, not a speed bound
    Bytes now;
    while (::GetTickCount64() < deadline) {
      if (ReadWholeFile(path, now) && !now.empty() && GenerationLine(now) != GenerationLine(before)) break;
      ::Sleep(5);
    }
    ::Sleep(random() % 60);
    ::TerminateProcess(processHandle.get(), 1);
    ::WaitForSingleObject(processHandle.get(), 10000);

    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes)) << "file gone after round " << round;
    ASSERT_EQ(bytes.size(), kLength) << "torn file after round " << round;
    ASSERT_EQ(bytes.compare(0, 4, "GEN "), 0);
    ASSERT_EQ(bytes.compare(bytes.size() - 3, 3, "END"), 0);
    const char fill = bytes[bytes.find("\r\n") + 2];
    ASSERT_EQ(bytes.find_first_not_of(fill, bytes.find("\r\n") + 2), bytes.size() - 3);
  }
}

}  // namespace
}  // namespace uptorra
