#include "log/EventLog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "core/UniqueHandle_win.h"
#include "log/TimeText.h"
#include "support/HelperPath_win.h"
#include "support/TempDir_win.h"

namespace uptorra {
namespace {

using test::HelperPath;
using test::TempDir;

Bytes ReadLog(const Text& path) {
  Bytes bytes;
  EXPECT_TRUE(ReadWholeFile(path, bytes)) << path;
  return bytes;
}

// An old log of at least minSize bytes, made of real failure entries (GBK text).
Bytes OldLog(std::size_t minSize) {
  Bytes log;
  for (int i = 0; log.size() < minSize; ++i) {
    log += "2024-01-05 08:03:07---10.0." + std::to_string(i / 250 % 250) + "." + std::to_string(i % 250) +
           "网关---ICMP---微信推送失败\r\n";
  }
  return log;
}

// The entries "<tag> T<t> E<n>" that log_prepender put in front of the log: whole lines only,
// and per thread n counting down to 0 (a thread logs its next entry only after the last one
// is in). Returns the number of entries, or -1 with a reason.
int CheckPrependerEntries(std::string_view entries, const Text& tag, std::string& why) {
  std::map<int, int> next;  // thread -> the n its next (older) entry must have
  int count = 0;
  std::size_t pos = 0;
  while (pos < entries.size()) {
    const std::size_t end = entries.find("\r\n", pos);
    if (end == std::string_view::npos) {
      why = "torn line at " + std::to_string(pos);
      return -1;
    }
    const std::string line(entries.substr(pos, end - pos));
    pos = end + 2;
    if (line == tag + " LAST") continue;
    int t = -1, n = -1;
    char extra = 0;
    if (line.compare(0, tag.size() + 1, tag + " ") != 0 ||
        std::sscanf(line.c_str() + tag.size() + 1, "T%d E%d%c", &t, &n, &extra) != 2) {
      why = "malformed line '" + line + "'";
      return -1;
    }
    if (next.count(t) && next[t] != n) {
      why = "thread " + std::to_string(t) + ": entry " + std::to_string(n) + " where " + std::to_string(next[t]) +
            " belongs";
      return -1;
    }
    next[t] = n - 1;
    ++count;
  }
  for (const auto& [t, n] : next) {
    if (n != -1) {
      why = "thread " + std::to_string(t) + " lost its entries up to " + std::to_string(n);
      return -1;
    }
  }
  return count;
}

class Prepender {
 public:
  Prepender(const Text& path, const Text& tag, int threads, const wchar_t* ending = L"") {
    std::wstring line = L"\"" + HelperPath(L"log_prepender.exe") + L"\" \"" + WideFromGbk(path) + L"\" " +
                        WideFromGbk(tag) + L" " + std::to_wstring(threads) + L" " + ending;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    started_ = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    process_.reset(info.hProcess);
    UniqueHandle thread(info.hThread);
  }
  ~Prepender() { Kill(); }
  bool started() const { return started_; }
  // Waits for the process to end on its own; false when it is still running after timeoutMs.
  bool WaitForEnd(DWORD timeoutMs, DWORD& exitCode) {
    if (::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return false;
    return ::GetExitCodeProcess(process_.get(), &exitCode) != 0;
  }
  void Kill() {
    if (!process_) return;
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 30000);
    process_.reset();
  }

 private:
  bool started_ = false;
  UniqueHandle process_;
};

std::uint64_t FileSize(const Text& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(WideFromGbk(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

TEST(EventLog, FirstEntryCreatesTheFileAndTheNextGoesInFront) {
  TempDir dir("日志");
  const Text path = dir.File("MyLog.log");
  SetEventLogPath(path);
  const Text started = TimeText() + "---监测启动\r\n";
  EventLog(started);
  EXPECT_EQ(ReadLog(path), started);
  const Text failure = TimeText() + "---10.0.0.1网关---ICMP---微信推送失败\r\n";
  EventLog(failure);
  EXPECT_EQ(ReadLog(path), failure + started);
  SetEventLogPath("");
}

TEST(EventLog, SixteenThreadsLoseAndTearNothing) {
  constexpr int kThreads = 16;
  constexpr int kEntries = 200;
  TempDir dir;
  const Text path = dir.File("MyLog.log");
  const Bytes old = OldLog(64 * 1024);
  ASSERT_TRUE(ReplaceFileAtomically(path, old));
  SetEventLogPath(path);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int n = 0; n < kEntries; ++n) EventLog("S T" + std::to_string(t) + " E" + std::to_string(n) + "\r\n");
    });
  }
  for (auto& thread : threads) thread.join();
  SetEventLogPath("");

  const Bytes log = ReadLog(path);
  ASSERT_GE(log.size(), old.size());
  ASSERT_EQ(log.compare(log.size() - old.size(), old.size(), old), 0) << "old content changed";
  std::string why;
  EXPECT_EQ(CheckPrependerEntries(std::string_view(log).substr(0, log.size() - old.size()), "S", why),
            kThreads * kEntries)
      << why;
}

// Another program holds the log open without sharing: the entry is lost, and the log must
// not be rewritten from an empty read.
TEST(EventLog, LockedLogKeepsItsContentAndLaterEntriesGoIn) {
  TempDir dir;
  const Text path = dir.File("MyLog.log");
  ASSERT_TRUE(ReplaceFileAtomically(path, "old\r\n"));
  SetEventLogPath(path);
  {
    UniqueFileHandle lock(::CreateFileW(WideFromGbk(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);
    EventLog("lost\r\n");
  }
  EventLog("kept\r\n");
  SetEventLogPath("");
  EXPECT_EQ(ReadLog(path), "kept\r\nold\r\n");
}

// The program ends itself by TerminateProcess on restart. Kill a process that keeps
// prepending from four threads to a 5 MB log, again and again, while it rewrites: after every
// kill the log must hold everything it held before, unchanged, behind whole new entries.
TEST(EventLog, KilledDuringPrependsNeverTearsOrEmptiesTheLog) {
  TempDir dir;
  const Text path = dir.File("MyLog.log");
  Bytes previous = OldLog(5 * 1024 * 1024);
  ASSERT_TRUE(ReplaceFileAtomically(path, previous));
  std::mt19937 random(20240105);
  int entries = 0;
  for (int round = 0; round < 15; ++round) {
    const Text tag = "R" + std::to_string(round);
    Prepender prepender(path, tag, 4);
    ASSERT_TRUE(prepender.started());
    // Kill only once it is writing, at a random moment of its rewrites.
    const std::uint64_t before = FileSize(path);
    for (int waited = 0; FileSize(path) == before && waited < 30000; waited += 5) ::Sleep(5);
    ::Sleep(random() % 150);
    prepender.Kill();

    Bytes now;
    ASSERT_TRUE(ReadWholeFile(path, now)) << "log gone after round " << round;
    ASSERT_GE(now.size(), previous.size()) << "log shrank in round " << round;
    ASSERT_EQ(now.compare(now.size() - previous.size(), previous.size(), previous), 0)
        << "earlier content changed in round " << round;
    std::string why;
    const int added =
        CheckPrependerEntries(std::string_view(now).substr(0, now.size() - previous.size()), tag, why);
    ASSERT_GE(added, 0) << "round " << round << ": " << why;
    entries += added;
    previous = std::move(now);
  }
  EXPECT_GT(entries, 0);
}

// Ending the process while threads are logging must neither hang nor lose the entry that the
// ending thread logged last, and leaves a whole log.
class EndWhileLogging : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(EndWhileLogging, EndsPromptlyWithTheLastEntryInAWholeLog) {
  TempDir dir;
  const Text path = dir.File("MyLog.log");
  const Bytes old = OldLog(1024 * 1024);
  ASSERT_TRUE(ReplaceFileAtomically(path, old));
  Prepender prepender(path, "X", 4, GetParam());
  ASSERT_TRUE(prepender.started());
  DWORD exitCode = 1;
  ASSERT_TRUE(prepender.WaitForEnd(60000, exitCode)) << "the process hangs at its end";
  EXPECT_EQ(exitCode, 0u);

  const Bytes log = ReadLog(path);
  ASSERT_GE(log.size(), old.size());
  ASSERT_EQ(log.compare(log.size() - old.size(), old.size(), old), 0);
  const std::string_view entries = std::string_view(log).substr(0, log.size() - old.size());
  EXPECT_NE(entries.find("X LAST\r\n"), std::string_view::npos);
  std::string why;
  EXPECT_GE(CheckPrependerEntries(entries, "X", why), 0) << why;
}

INSTANTIATE_TEST_SUITE_P(Endings, EndWhileLogging, ::testing::Values(L"exit", L"return"));

}  // namespace
}  // namespace uptorra
