#pragma once
// Stop and continue clicked at random moments while 200 hosts are probed: afterwards every
// monitored host has exactly one live task, and no host ever had two at once. Run against the
// thread stand-in (everywhere) and against the program's TaskPool (under Windows).
#include <gtest/gtest.h>

#include <memory>
#include <functional>
#include <random>
#include <thread>

#include "core/MonitorControl.h"
#include "core/MonitorFakes.h"

namespace uptorra::test {

// pool: a pool not yet created; queued: its number of queued tasks.
inline void RunRandomStopAndContinue(MonitorPool& pool, const std::function<std::size_t()>& queued) {
  constexpr int kHosts = 200;
  constexpr int kClicks = 300;
  HostTable table;
  AppState state;
  state.pushAppToken = "t";
  state.pushTopicId = "1";
  ScriptedServices services;
  services.keepLog = false;
  for (int i = 0; i < kHosts; ++i) {
    // A few hosts are switched off from the start: they must never get a task.
    AddHost(table, DecimalText(i), "", "ICMP", "1", "1", i % 50 == 7 ? "停止监测" : "等待测试");
  }
  std::unique_ptr<std::atomic<int>[]> inFlight(new std::atomic<int>[kHosts]);
  std::unique_ptr<std::atomic<long>[]> probes(new std::atomic<long>[kHosts]);
  for (int i = 0; i < kHosts; ++i) inFlight[i] = 0, probes[i] = 0;
  std::atomic<bool> twoAtOnce{false};
  services.icmp = [&](const Text& host) {
    const int i = IntValue(host);
    if (++inFlight[i] > 1) twoAtOnce = true;
    ++probes[i];
    thread_local std::mt19937 random(std::hash<std::thread::id>()(std::this_thread::get_id()));
    const bool answers = random() % 10 != 0;
    std::this_thread::yield();
    --inFlight[i];
    return answers ? 1 : -1;
  };
  services.wait = [](std::int32_t) {
    thread_local std::mt19937 random(std::hash<std::thread::id>()(std::this_thread::get_id()) + 1);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
  };

  MonitorContext monitor(table, state, services);
  SetProbeContext(&monitor);
  ControlWindow window;
  {
    std::mt19937 random(20240501);
    bool running = false;
    for (int click = 0; click < kClicks; ++click) {
      if (running) {
        StopMonitoring(window, monitor, pool);
      } else {
        StartOrContinueMonitoring(window, monitor, pool);
      }
      running = !running;
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    }
    if (!running) StartOrContinueMonitoring(window, monitor, pool);

    const std::vector<RowId> monitored = monitor.MonitoredHosts();
    ASSERT_EQ(monitored.size(), static_cast<std::size_t>(kHosts - kHosts / 50));
    std::vector<long> before(kHosts);
    for (int i = 0; i < kHosts; ++i) before[i] = probes[i].load();
    // Settled: every monitored host runs one task and is probed again; the limit only catches
    // a hang.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    auto settled = [&] {
      for (RowId id : monitored) {
        const int i = IntValue(table.GetCellById(id, kColAddress));
        if (monitor.RunningTasks(id) != 1 || !monitor.HasTask(id) || probes[i].load() <= before[i]) return false;
      }
      return true;
    };
    while (!settled()) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "some host has no live task";
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(pool.BusyCount(), static_cast<std::int32_t>(monitored.size()));
    EXPECT_EQ(queued(), 0u);
    for (int row = 0; row < kHosts; ++row) {
      const RowId id = table.IdOfRow(row);
      if (table.GetCell(row, kColStatus) == "停止监测") {
        EXPECT_EQ(monitor.RunningTasks(id), 0);
        EXPECT_EQ(probes[IntValue(table.GetCell(row, kColAddress))].load(), 0);
      }
    }
    // Let every task end before the context goes: the pool may outlive this function.
    monitor.RequestStop();
    pool.Resume();
    for (RowId id : monitored) {
      while (monitor.RunningTasks(id) != 0 || monitor.HasTask(id)) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline + std::chrono::seconds(60));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
  }
  SetProbeContext(nullptr);
  EXPECT_FALSE(twoAtOnce.load());
}

}  // namespace uptorra::test
