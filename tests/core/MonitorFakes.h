#pragma once
// Stand-ins for what monitoring reaches outside the host table: scripted probes, push, clock,
// wait and log; a task pool on plain threads; a window that records control states.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "core/MonitorPool.h"
#include "core/ProbeWorker.h"
#include "ui/WindowServices.h"

namespace uptorra::test {

// Every hook may be replaced; the defaults fail every probe, accept every push, answer with a
// fixed time and return from the wait at once. Calls are recorded (thread-safe).
class ScriptedServices : public MonitorServices {
 public:
  struct Alert {
    Text appToken, topicId, timeText, address, displayName, probeType;
  };

  std::function<std::int32_t(const Text& host)> icmp = [](const Text&) { return -1; };
  std::function<bool(std::int32_t port, const Text& host)> tcp = [](std::int32_t, const Text&) { return false; };
  std::function<Text()> pushAnswer = [] { return Text("{\"code\":1000,\"success\":true}"); };
  std::function<bool(const Text&)> accepted = [](const Text& answer) {
    return answer.find("true") != Text::npos;
  };
  std::function<Text()> clock = [] { return Text("2024-05-01 08:00:00"); };
  std::function<void(std::int32_t seconds)> wait = [](std::int32_t) {};

  std::int32_t IcmpEcho(const Text& host, std::int32_t timeoutMs) override {
    Record([&] {
      icmpHosts.push_back(host);
      icmpTimeouts.push_back(timeoutMs);
    });
    return icmp(host);
  }
  bool TcpConnect(std::int32_t port, const Text& host) override {
    Record([&] { tcpCalls.emplace_back(port, host); });
    return tcp(port, host);
  }
  Text SendAlert(const Text& appToken, const Text& topicId, const Text& timeText, const Text& address,
                 const Text& displayName, const Text& probeType) override {
    Record([&] { alerts.push_back({appToken, topicId, timeText, address, displayName, probeType}); });
    return pushAnswer();
  }
  bool PushAccepted(const Text& answer) override { return accepted(answer); }
  Text TimeText() override { return clock(); }
  void EventLog(const Text& entry) override {
    Record([&] {
      ++logEntries;
      if (keepLog) log.insert(log.begin(), entry);  // newest first, as the file
    });
  }
  void WaitSeconds(std::int32_t seconds) override {
    Record([&] { waits.push_back(seconds); });
    wait(seconds);
  }

  template <typename F>
  void Record(F&& f) {
    std::lock_guard lock(mutex);
    f();
  }

  std::mutex mutex;
  std::vector<Text> icmpHosts;
  std::vector<std::int32_t> icmpTimeouts;
  std::vector<std::pair<std::int32_t, Text>> tcpCalls;
  std::vector<Alert> alerts;
  std::vector<Text> log;
  bool keepLog = true;  // off in long runs: only counted
  std::size_t logEntries = 0;
  std::vector<std::int32_t> waits;
};

// A pool on std::thread with the behaviour monitoring relies on: exactly the workers asked for,
// tasks taken in order, a gate that holds queued tasks while paused, and the busy count.
class ThreadPoolStub : public MonitorPool {
 public:
  // Runs inside Create, as window messages would while the real pool starts its threads.
  std::function<void()> whileCreating;
  bool refuseCreate = false;

  ~ThreadPoolStub() override {
    {
      std::lock_guard lock(mutex_);
      quitting_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  std::int32_t State() override { return state_.load(); }
  std::int32_t Create(std::int32_t workers) override {
    createdWith.push_back(workers);
    if (state_.load() != 0) return 0;
    state_.store(2);
    if (whileCreating) whileCreating();
    if (refuseCreate) {
      state_.store(0);
      return 0;
    }
    for (std::int32_t i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
    state_.store(1);
    return 1;
  }
  std::int32_t Submit(TaskRoutine routine, std::int32_t first) override {
    if (state_.load() != 1 || routine == nullptr) return 0;
    {
      std::lock_guard lock(mutex_);
      queue_.emplace_back(routine, first);
      submitted.push_back(first);
    }
    changed_.notify_all();
    return 1;
  }
  std::int32_t Pause() override {
    if (state_.load() != 1) return 0;
    std::lock_guard lock(mutex_);
    paused_ = true;
    return 1;
  }
  std::int32_t Resume() override {
    if (state_.load() != 1) return 0;
    {
      std::lock_guard lock(mutex_);
      paused_ = false;
    }
    changed_.notify_all();
    return 1;
  }
  std::int32_t BusyCount() override { return busy_.load(); }

  bool Paused() {
    std::lock_guard lock(mutex_);
    return paused_;
  }
  std::size_t Queued() {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }
  std::vector<std::int32_t> Submitted() {
    std::lock_guard lock(mutex_);
    return submitted;
  }

  std::vector<std::int32_t> createdWith;  // window thread only

 private:
  void WorkerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return quitting_ || (!paused_ && !queue_.empty()); });
      if (quitting_) return;
      auto [routine, first] = queue_.front();
      queue_.pop_front();
      ++busy_;
      lock.unlock();
      routine(first, 0);
      lock.lock();
      --busy_;
    }
  }

  std::atomic<std::int32_t> state_{0};
  std::atomic<std::int32_t> busy_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<TaskRoutine, std::int32_t>> queue_;
  std::vector<std::int32_t> submitted;
  std::vector<std::thread> workers_;
  bool paused_ = false;
  bool quitting_ = false;
};

// A window that keeps the state of the controls monitoring touches and answers message boxes
// from a script (OK when the script is empty).
class ControlWindow : public WindowServices {
 public:
  struct Box {
    Text text, caption;
    MessageButtons buttons;
  };
  std::vector<Box> boxes;
  std::deque<MessageAnswer> answers;
  std::function<void()> whileBoxShown;
  Text panes[2];
  std::map<Control, bool> enabled;
  std::map<Control, bool> checked;
  std::map<Control, Text> texts;
  std::uint32_t timerPeriod = 0;

  ControlWindow() {
    // The form's state before the first start, ICMP selected.
    for (Control c : {Control::单选框_ICMP, Control::单选框_端口, Control::编辑框_重试次数, Control::编辑框_监测间隔,
                      Control::编辑框_主机地址, Control::编辑框_主机名称, Control::添加主机, Control::启动监测}) {
      enabled[c] = true;
    }
    enabled[Control::编辑框_监测类型] = false;
    enabled[Control::停止监测] = false;
    texts[Control::启动监测] = "启动监测";
  }

  void SetPaneText(int pane, const Text& text) override {
    if (pane == 0 || pane == 1) panes[pane] = text;
  }
  Text PaneText(int pane) const override { return pane == 0 || pane == 1 ? panes[pane] : Text(); }
  MessageAnswer ShowMessage(const Text& text, const Text& caption, MessageButtons buttons) override {
    boxes.push_back({text, caption, buttons});
    if (whileBoxShown) whileBoxShown();
    if (answers.empty()) return MessageAnswer::Ok;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  Text ControlText(Control c) const override {
    auto it = texts.find(c);
    return it == texts.end() ? Text() : it->second;
  }
  void SetControlText(Control c, const Text& text) override { texts[c] = text; }
  bool IsEnabled(Control c) const override {
    auto it = enabled.find(c);
    return it != enabled.end() && it->second;
  }
  void SetEnabled(Control c, bool on) override { enabled[c] = on; }
  bool IsChecked(Control c) const override {
    auto it = checked.find(c);
    return it != checked.end() && it->second;
  }
  void SetChecked(Control c, bool on) override { checked[c] = on; }
  void SetTimerPeriod(std::uint32_t ms) override { timerPeriod = ms; }
  std::uint32_t TimerPeriod() const override { return timerPeriod; }
  Text ColumnTitle(int) const override { return {}; }
  void SetColumnTitle(int, const Text&) override {}
  bool IsWindowVisible() const override { return true; }
  void SetWindowVisible(bool) override {}
  void ShowTrayIcon(const Text&) override {}
};

// Appends a host row as start-up would load it.
inline int AddHost(HostTable& table, const Text& address, const Text& name, const Text& type, const Text& retries,
                   const Text& interval, const Text& status = "等待测试") {
  const int row = table.AppendRow(DecimalText(table.RowCount() + 1));
  table.SetCell(row, kColAddress, address);
  table.SetCell(row, kColName, name);
  table.SetCell(row, kColProbeType, type);
  table.SetCell(row, kColRetries, retries);
  table.SetCell(row, kColInterval, interval);
  table.SetCell(row, kColStatus, status);
  return row;
}

}  // namespace uptorra::test
