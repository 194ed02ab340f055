#include "log/EventLogWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace uptorra {
namespace {

// Files in memory. A closed gate holds every Replace until it opens, which keeps a rewrite
// "running" for as long as a test needs to queue entries behind it.
class MemoryStorage final : public LogStorage {
 public:
  bool Read(const Text& path, Bytes& out) override {
    std::lock_guard lock(mutex_);
    ++reads_;
    if (failRead_) return false;
    const auto it = files_.find(path);
    out = it == files_.end() ? Bytes() : it->second;
    return true;
  }
  bool Replace(const Text& path, std::string_view content) override {
    std::unique_lock lock(mutex_);
    ++replacesStarted_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return gateOpen_; });
    if (failReplace_) return false;
    files_[path] = Bytes(content);
    replaced_.emplace_back(content);
    return true;
  }

  Bytes File(const Text& path) {
    std::lock_guard lock(mutex_);
    return files_.count(path) ? files_[path] : Bytes("<missing>");
  }
  void Put(const Text& path, const Bytes& content) {
    std::lock_guard lock(mutex_);
    files_[path] = content;
  }
  void SetGate(bool open) {
    std::lock_guard lock(mutex_);
    gateOpen_ = open;
    changed_.notify_all();
  }
  void WaitForReplacesStarted(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return replacesStarted_ >= count; });
  }
  void FailRead(bool fail) {
    std::lock_guard lock(mutex_);
    failRead_ = fail;
  }
  void FailReplace(bool fail) {
    std::lock_guard lock(mutex_);
    failReplace_ = fail;
  }
  int Reads() {
    std::lock_guard lock(mutex_);
    return reads_;
  }
  int ReplacesStarted() {
    std::lock_guard lock(mutex_);
    return replacesStarted_;
  }
  std::vector<Bytes> Replaced() {
    std::lock_guard lock(mutex_);
    return replaced_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<Text, Bytes> files_;
  std::vector<Bytes> replaced_;
  bool gateOpen_ = true;
  bool failRead_ = false;
  bool failReplace_ = false;
  int reads_ = 0;
  int replacesStarted_ = 0;
};

const Text kPath = "C:\\Uptorra\\MyLog.log";

void WaitUntilQueued(const EventLogWriter& writer, std::size_t count) {
  while (writer.QueuedCount() < count) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(EventLogWriter, FirstEntryCreatesTheLogAndLaterEntriesGoInFront) {
  MemoryStorage storage;
  EventLogWriter writer(storage, kPath);
  const Text first = "2024-01-05 08:03:07---\xBC\xE0\xB2\xE2\xC6\xF4\xB6\xAF\r\n";  // ---监测启动
  ASSERT_TRUE(writer.Write(first));
  EXPECT_EQ(storage.File(kPath), first);
  ASSERT_TRUE(writer.Write("second\r\n"));
  EXPECT_EQ(storage.File(kPath), "second\r\n" + first);
}

// While one rewrite runs, three entries arrive one after the other. They must go in with the
// next rewrite, all together and newest first: two rewrites for four entries, and the file
// exactly as four one-at-a-time prepends in the same order would have left it.
TEST(EventLogWriter, EntriesArrivingDuringARewriteGoInTogetherWithTheNext) {
  MemoryStorage storage;
  storage.Put(kPath, "old\r\n");
  EventLogWriter writer(storage, kPath);
  storage.SetGate(false);

  std::vector<std::thread> callers;
  std::vector<int> results(4, -1);
  const char* entries[] = {"A\r\n", "B\r\n", "C\r\n", "D\r\n"};
  callers.emplace_back([&] { results[0] = writer.Write(entries[0]); });
  storage.WaitForReplacesStarted(1);
  for (int i = 1; i < 4; ++i) {
    callers.emplace_back([&, i] { results[i] = writer.Write(entries[i]); });
    WaitUntilQueued(writer, static_cast<std::size_t>(i));
  }
  EXPECT_EQ(storage.ReplacesStarted(), 1) << "nothing may start while a rewrite runs";
  storage.SetGate(true);
  for (auto& caller : callers) caller.join();

  EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 1}));
  EXPECT_EQ(writer.RewriteCount(), 2u);
  EXPECT_EQ(storage.Replaced(), (std::vector<Bytes>{"A\r\nold\r\n", "D\r\nC\r\nB\r\nA\r\nold\r\n"}));
}

TEST(EventLogWriter, FailedReplaceLosesOnlyItsEntriesAndKeepsTheOldContent) {
  MemoryStorage storage;
  storage.Put(kPath, "old\r\n");
  EventLogWriter writer(storage, kPath);
  storage.FailReplace(true);
  EXPECT_FALSE(writer.Write("lost\r\n"));
  EXPECT_EQ(storage.File(kPath), "old\r\n");
  storage.FailReplace(false);
  EXPECT_TRUE(writer.Write("kept\r\n"));
  EXPECT_EQ(storage.File(kPath), "kept\r\nold\r\n");
}

// An existing log that cannot be read must not be rewritten from nothing: that would throw
// the whole history away for one entry.
TEST(EventLogWriter, UnreadableLogIsNotRewritten) {
  MemoryStorage storage;
  storage.Put(kPath, "history\r\n");
  EventLogWriter writer(storage, kPath);
  storage.FailRead(true);
  EXPECT_FALSE(writer.Write("entry\r\n"));
  EXPECT_EQ(storage.ReplacesStarted(), 0);
  EXPECT_EQ(storage.File(kPath), "history\r\n");
}

// The close and restart entries end the log: probe tasks still finishing a cycle while the
// program ends must not put entries above them. An entry already queued goes in below the
// last one; a later one is dropped at once, without waiting for the rewrite under way.
TEST(EventLogWriter, LastEntryStaysOnTopUntilTheLogIsReopened) {
  MemoryStorage storage;
  storage.Put(kPath, "old\r\n");
  EventLogWriter writer(storage, kPath);
  storage.SetGate(false);
  std::vector<int> results(3, -1);
  std::thread first([&] { results[0] = writer.Write("A\r\n"); });
  storage.WaitForReplacesStarted(1);
  std::thread queued([&] { results[1] = writer.Write("B\r\n"); });
  WaitUntilQueued(writer, 1);
  std::thread last([&] { results[2] = writer.WriteLast("END\r\n"); });
  WaitUntilQueued(writer, 2);
  EXPECT_FALSE(writer.Write("late\r\n")) << "dropped while the gate is still closed";
  storage.SetGate(true);
  first.join();
  queued.join();
  last.join();
  EXPECT_EQ(results, (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(storage.File(kPath), "END\r\nB\r\nA\r\nold\r\n");
  EXPECT_FALSE(writer.Write("later\r\n"));
  EXPECT_FALSE(writer.WriteLast("second ending\r\n"));
  EXPECT_EQ(storage.File(kPath), "END\r\nB\r\nA\r\nold\r\n");

  writer.Reopen();
  EXPECT_TRUE(writer.Write("goes on\r\n"));
  EXPECT_EQ(storage.File(kPath), "goes on\r\nEND\r\nB\r\nA\r\nold\r\n");

  // A new path is a new log, open again.
  EXPECT_TRUE(writer.WriteLast("END2\r\n"));
  writer.SetPath(kPath + ".new");
  EXPECT_TRUE(writer.Write("fresh\r\n"));
  EXPECT_EQ(storage.File(kPath + ".new"), "fresh\r\n");
}

TEST(EventLogWriter, WithoutPathEntriesAreDroppedUntilOneIsSet) {
  MemoryStorage storage;
  EventLogWriter writer(storage);
  EXPECT_FALSE(writer.Write("early\r\n"));
  EXPECT_EQ(storage.Reads(), 0);
  writer.SetPath(kPath);
  EXPECT_TRUE(writer.Write("late\r\n"));
  EXPECT_EQ(storage.File(kPath), "late\r\n");
}

// Many threads at once: every entry exactly once, each thread's entries newest first, the old
// content untouched at the end.
TEST(EventLogWriter, ConcurrentEntriesAreAllKeptInTheirOrder) {
  constexpr int kThreads = 16;
  constexpr int kEntries = 200;
  MemoryStorage storage;
  storage.Put(kPath, "old\r\n");
  EventLogWriter writer(storage, kPath);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int e = 0; e < kEntries; ++e) writer.Write("T" + std::to_string(t) + " E" + std::to_string(e) + "\r\n");
    });
  }
  for (auto& thread : threads) thread.join();

  const Bytes log = storage.File(kPath);
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log.substr(log.size() - 5), "old\r\n");
  std::vector<int> next(kThreads, kEntries - 1);  // newest first: each thread counts down
  std::size_t pos = 0;
  int lines = 0;
  while (pos < log.size() - 5) {
    const std::size_t end = log.find("\r\n", pos);
    ASSERT_NE(end, Bytes::npos);
    int t = -1, e = -1;
    char extra = 0;
    const std::string line = log.substr(pos, end - pos);
    ASSERT_EQ(std::sscanf(line.c_str(), "T%d E%d%c", &t, &e, &extra), 2) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    ASSERT_EQ(e, next[t]) << "thread " << t;
    --next[t];
    ++lines;
    pos = end + 2;
  }
  EXPECT_EQ(lines, kThreads * kEntries);
}

}  // namespace
}  // namespace uptorra
