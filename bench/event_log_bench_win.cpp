// What a burst of failure entries costs the event log: 1000 entries from 100 threads at once
// into a log of 1 MiB and of 50 MiB, through the log's one writer with group commit against
// one locked read-and-rewrite per entry and against appending the entry at the end of the file
// (what a log kept oldest-first would cost: the floor, whatever the log's size), in the same
// run. --threads=1 gives the cost of one entry on its own.
//
//   build/windows/bench_event_log.exe [--dir=<folder>] [--sizes=1,50] [--threads=100] [--entries=10]
//
// --dir is where the logs go (default: the temp folder). Z:\dev\shm\<folder> puts them in
// memory, which takes the disk out of the figures (every rewrite flushes the file to disk).
// Reported per case: total time, rewrites done, and the time one EventLog call took from the
// caller's side (median and worst).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "log/EventLog.h"
#include "log/EventLogWriter.h"
#include "log/TimeText.h"

#include "BenchSupport_win.h"

namespace {

using namespace uptorra;

// One entry at a time: a lock around reading the whole log and replacing it. It keeps its
// buffer between rewrites as the writer does, so that the two differ only in the number of
// rewrites (a fresh buffer per rewrite costs more than the rewrite on a busy machine).
// The floor: the entry written at the end of the file, flushed to disk as the rewrite is.
class AppendPerEntry {
 public:
  explicit AppendPerEntry(Text path) : path_(std::move(path)) {}
  void Write(const Text& entry) {
    std::lock_guard lock(mutex_);
    HANDLE file = ::CreateFileW(WideFromGbk(path_).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
    ::FlushFileBuffers(file);
    ::CloseHandle(file);
    ++writes_;
  }
  std::uint64_t RewriteCount() const { return 0; }

 private:
  std::mutex mutex_;
  Text path_;
  std::uint64_t writes_ = 0;
};

class RewritePerEntry {
 public:
  explicit RewritePerEntry(Text path) : path_(std::move(path)) {}
  void Write(const Text& entry) {
    std::lock_guard lock(mutex_);
    buffer_.reserve(buffer_.size() + 64 * 1024);
    ReadWholeFile(path_, buffer_);
    buffer_.insert(0, entry);
    ReplaceFileAtomically(path_, buffer_);
    ++rewrites_;
  }
  std::uint64_t RewriteCount() const { return rewrites_; }

 private:
  std::mutex mutex_;
  Text path_;
  Bytes buffer_;
  std::uint64_t rewrites_ = 0;
};

Bytes OldLog(std::size_t size) {
  Bytes log;
  log.reserve(size + 128);
  for (int i = 0; log.size() < size; ++i) {
    log += "2024-01-05 08:03:07---10.0." + std::to_string(i / 250 % 250) + "." + std::to_string(i % 250) +
           "网关---ICMP---微信推送失败\r\n";
  }
  return log;
}

template <typename Writer>
void RunCase(const char* method, Writer& writer, const Text& path, std::size_t oldSize, int threadCount,
             int entriesPerThread, bool prepends = true) {
  std::atomic<bool> go{false};
  std::vector<double> callSeconds(static_cast<std::size_t>(threadCount * entriesPerThread));
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([&, t] {
      while (!go) ::Sleep(0);
      for (int n = 0; n < entriesPerThread; ++n) {
        const Text entry = TimeText() + "---10.1." + std::to_string(t) + "." + std::to_string(n) +
                           "网关---ICMP---微信推送失败\r\n";
        const double begin = Seconds();
        writer.Write(entry);
        callSeconds[static_cast<std::size_t>(t * entriesPerThread + n)] = Seconds() - begin;
      }
    });
  }
  ::Sleep(200);
  const double begin = Seconds();
  go = true;
  for (auto& thread : threads) thread.join();
  const double total = Seconds() - begin;

  Bytes log;
  ReadWholeFile(path, log);
  // New entries are at the front of a newest-first log, at the end of an appended one.
  const std::size_t newLines = static_cast<std::size_t>(std::count(
      log.begin() + static_cast<std::ptrdiff_t>(prepends ? 0 : oldSize),
      log.begin() + static_cast<std::ptrdiff_t>(prepends ? log.size() - oldSize : log.size()), '\n'));
  std::sort(callSeconds.begin(), callSeconds.end());
  std::printf("%5zu MiB  %-16s %7zu %9llu %10.2f %12.1f %12.1f\n", oldSize >> 20, method, newLines,
              static_cast<unsigned long long>(writer.RewriteCount()), total,
              callSeconds[callSeconds.size() / 2] * 1000, callSeconds.back() * 1000);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  Text dir = GbkFromWide(temp) + "uptorra-log-bench";
  std::vector<int> sizesMiB = {1, 50};
  int threadCount = 100;
  int entriesPerThread = 10;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--dir=", 0) == 0) dir = arg.substr(6);
    if (arg.rfind("--sizes=", 0) == 0) sizesMiB = NumberList(arg.c_str() + 8);
    if (arg.rfind("--threads=", 0) == 0) threadCount = std::atoi(arg.c_str() + 10);
    if (arg.rfind("--entries=", 0) == 0) entriesPerThread = std::atoi(arg.c_str() + 10);
  }
  ::CreateDirectoryW(WideFromGbk(dir).c_str(), nullptr);
  const Text path = dir + "\\MyLog.log";
  std::printf("%d entries from %d threads into %s\n", threadCount * entriesPerThread, threadCount, path.c_str());
  std::printf("log        method           entries  rewrites    total s  median ms/call  worst ms/call\n");
  for (const int mib : sizesMiB) {
    const Bytes old = OldLog(static_cast<std::size_t>(mib) << 20);
    {
      ReplaceFileAtomically(path, old);
      EventLogWriter writer(LogFileStorage(), path);
      RunCase("group commit", writer, path, old.size(), threadCount, entriesPerThread);
    }
    {
      ReplaceFileAtomically(path, old);
      RewritePerEntry writer(path);
      RunCase("one per entry", writer, path, old.size(), threadCount, entriesPerThread);
    }
    {
      ReplaceFileAtomically(path, old);
      AppendPerEntry writer(path);
      RunCase("append (floor)", writer, path, old.size(), threadCount, entriesPerThread, false);
    }
  }
  ::DeleteFileW(WideFromGbk(path).c_str());
  ::RemoveDirectoryW(WideFromGbk(dir).c_str());
  return 0;
}
