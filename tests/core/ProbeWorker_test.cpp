#include "core/ProbeWorker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "core/MonitorControl.h"
#include "core/MonitorTexts.h"
#include "core/MonitorFakes.h"

namespace uptorra {
namespace {

using test::AddHost;
using test::ScriptedServices;

constexpr const char* kTime = "2024-05-01 08:00:00";

// One host row and a task run on the test thread for a given number of cycles; every status the
// row shows is recorded in order.
class ProbeWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state.pushAppToken = "AT_token";
    state.pushTopicId = "123";
    table.SetChangeListener([this] {
      HostTable::Changes changes = table.TakeChanges();
      if (changes.bringIntoView >= 0) broughtIntoView.push_back(changes.bringIntoView);
      if (recording && !changes.rows.empty()) statuses.push_back(table.GetCell(watchedRow, kColStatus));
    });
  }

  // Runs the host's task until it has finished `cycles` cycles (each ends with a wait).
  void RunCycles(int row, int cycles, std::function<void(int cycle)> afterCycle = {}) {
    watchedRow = row;
    recording = true;
    int finished = 0;
    services.wait = [&](std::int32_t) {
      ++finished;
      if (afterCycle) afterCycle(finished);
      if (finished >= cycles) state.stopFlag.store(1);
    };
    state.stopFlag.store(0);
    monitor.RunTask(table.IdOfRow(row));
    recording = false;
  }

  HostTable table;
  AppState state;
  ScriptedServices services;
  MonitorContext monitor{table, state, services};
  std::vector<Text> statuses;
  std::vector<int> broughtIntoView;
  int watchedRow = 0;
  bool recording = false;
};

struct CycleCase {
  const char* name;
  const char* probeType;
  const char* retries;
  std::vector<std::int32_t> results;  // per attempt: ICMP round trip or -1; port: 1 accepted, 0 not
  bool pushAccepted;
  std::vector<Text> statuses;  // every status the row shows during the cycle
  int image;
  int probes;
};

class OneCycle : public ProbeWorkerTest, public ::testing::WithParamInterface<CycleCase> {};

TEST_P(OneCycle, ShowsEachStatusInTurnAndEndsWithTheResult) {
  const CycleCase& c = GetParam();
  AddHost(table, "10.0.0.1", "网关", c.probeType, c.retries, "0");
  std::size_t attempt = 0;
  auto next = [&]() { return attempt < c.results.size() ? c.results[attempt++] : -1; };
  services.icmp = [&](const Text&) { return next(); };
  services.tcp = [&](std::int32_t, const Text&) { return next() == 1; };
  if (!c.pushAccepted) services.pushAnswer = [] { return Text("{\"code\":1001,\"success\":false}"); };

  RunCycles(0, 1);

  EXPECT_EQ(statuses, c.statuses);
  const HostRow row = table.Snapshot(0);
  EXPECT_EQ(row.cells[kColStatus], c.statuses.back());
  EXPECT_EQ(row.images[kColStatus], c.image);
  EXPECT_EQ(row.cells[kColTestTime], kTime);
  EXPECT_EQ(static_cast<int>(services.icmpHosts.size() + services.tcpCalls.size()), c.probes);
  for (std::int32_t timeout : services.icmpTimeouts) EXPECT_EQ(timeout, 2000);
  const bool failed = c.image == kImageFailure;
  EXPECT_EQ(services.alerts.size(), failed ? 1u : 0u);
  EXPECT_EQ(services.log.size(), failed ? 1u : 0u);
  EXPECT_EQ(broughtIntoView, failed ? std::vector<int>{0} : std::vector<int>{});
}

const Text kFailedPushed = "通信失败,微信推送成功";
INSTANTIATE_TEST_SUITE_P(
    ProbeWorker, OneCycle,
    ::testing::Values(
        CycleCase{"RetryCountZeroMakesOneAttemptAndNoRetryNotice", "ICMP", "0", {-1}, true,
                  {"正在测试", kFailedPushed}, kImageFailure, 1},
        CycleCase{"RetryCountTwoOnADeadHost", "ICMP", "2", {-1, -1, -1}, true,
                  {"正在测试", "开始第 1 次重试", "正在测试", "开始第 2 次重试", "正在测试", kFailedPushed},
                  kImageFailure, 3},
        CycleCase{"NegativeRetryCountMakesNoAttemptAndFails", "ICMP", "-1", {}, true, {kFailedPushed}, kImageFailure,
                  0},
        CycleCase{"NonNumericRetryCountCountsAsZero", "ICMP", "abc", {-1, 5}, true, {"正在测试", kFailedPushed},
                  kImageFailure, 1},
        CycleCase{"SuccessAfterOneRetry", "ICMP", "2", {-1, 5}, true,
                  {"正在测试", "开始第 1 次重试", "正在测试", "ICMP通信正常, 5ms"}, kImageSuccess, 2},
        CycleCase{"EchoUnderAMillisecondShowsZero", "ICMP", "2", {0}, true, {"正在测试", "ICMP通信正常, 0ms"},
                  kImageSuccess, 1},
        CycleCase{"PortAccepted", "80端口", "2", {1}, true, {"正在测试", "端口通信正常"}, kImageSuccess, 1},
        CycleCase{"PortRefusedThenAccepted", "443端口", "1", {0, 1}, true,
                  {"正在测试", "开始第 1 次重试", "正在测试", "端口通信正常"}, kImageSuccess, 2},
        CycleCase{"RefusedPushIsShownAsFailedPush", "ICMP", "0", {-1}, false, {"正在测试", "通信失败,微信推送失败"},
                  kImageFailure, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProbeWorkerTest, PortProbeGetsThePortNumberAndTheAddress) {
  AddHost(table, "192.0.2.7", "", "8080端口", "0", "0");
  services.tcp = [](std::int32_t, const Text&) { return true; };
  RunCycles(0, 1);
  ASSERT_EQ(services.tcpCalls.size(), 1u);
  EXPECT_EQ(services.tcpCalls[0], std::make_pair(std::int32_t{8080}, Text("192.0.2.7")));
  EXPECT_TRUE(services.icmpHosts.empty());
}

TEST_F(ProbeWorkerTest, LowerCaseIcmpIsAPortProbeOfPortZero) {
  AddHost(table, "127.0.0.1", "", "icmp", "0", "0");
  services.icmp = [](const Text&) { return 1; };  // would answer, but is never asked
  services.tcp = [](std::int32_t port, const Text&) { return port != 0; };
  RunCycles(0, 1);
  ASSERT_EQ(services.tcpCalls.size(), 1u);
  EXPECT_EQ(services.tcpCalls[0].first, 0);
  EXPECT_TRUE(services.icmpHosts.empty());
  EXPECT_EQ(table.GetCell(0, kColStatus), kFailedPushed);
}

TEST_F(ProbeWorkerTest, FailedCycleSendsTheRowToThePushAndLogsIt) {
  AddHost(table, "10.0.0.1", "网关", "80端口", "0", "0");
  int tick = 0;
  services.clock = [&] { return Text(++tick == 1 ? "2024-05-01 08:00:01" : "2024-05-01 08:00:02"); };
  services.pushAnswer = [] { return Text("answer"); };
  services.accepted = [](const Text& answer) { return answer == "answer"; };
  RunCycles(0, 1);
  ASSERT_EQ(services.alerts.size(), 1u);
  const ScriptedServices::Alert& alert = services.alerts[0];
  EXPECT_EQ(alert.appToken, "AT_token");
  EXPECT_EQ(alert.topicId, "123");
  // The failure gets a time text of its own, taken after the last attempt; it is the one shown.
  EXPECT_EQ(alert.timeText, "2024-05-01 08:00:02");
  EXPECT_EQ(alert.address, "10.0.0.1");
  EXPECT_EQ(alert.displayName, "网关");
  EXPECT_EQ(alert.probeType, "80端口");
  EXPECT_EQ(table.GetCell(0, kColTestTime), "2024-05-01 08:00:02");
  EXPECT_EQ(services.log, std::vector<Text>{"2024-05-01 08:00:02---10.0.0.1网关---80端口---微信推送成功\r\n"});
}

TEST_F(ProbeWorkerTest, EmptyDisplayNameLeavesTheAddressAloneInTheLogEntry) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "0");
  services.pushAnswer = [] { return Text(); };  // no answer at all
  RunCycles(0, 1);
  EXPECT_EQ(services.log, std::vector<Text>{Text(kTime) + "---10.0.0.1---ICMP---微信推送失败\r\n"});
}

TEST_F(ProbeWorkerTest, SuccessTimeIsTakenRightAfterTheProbe) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "0");
  int tick = 0;
  services.clock = [&] { return "2024-05-01 08:00:0" + DecimalText(++tick); };
  bool probed = false;
  services.icmp = [&](const Text&) {
    EXPECT_EQ(tick, 0);  // no time taken before the probe
    probed = true;
    return 3;
  };
  RunCycles(0, 1);
  EXPECT_TRUE(probed);
  EXPECT_EQ(table.GetCell(0, kColTestTime), "2024-05-01 08:00:01");
}

TEST_F(ProbeWorkerTest, EveryFailedCycleAlertsAgainAndIntervalZeroDoesNotWait) {
  AddHost(table, "10.0.0.1", "", "ICMP", "1", "0");
  RunCycles(0, 3);
  EXPECT_EQ(services.icmpHosts.size(), 6u);
  EXPECT_EQ(services.alerts.size(), 3u);
  EXPECT_EQ(services.log.size(), 3u);
  EXPECT_EQ(services.waits, (std::vector<std::int32_t>{0, 0, 0}));
}

TEST_F(ProbeWorkerTest, IntervalIsReadEachCycleButTheOtherSettingsOnlyAtTaskStart) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "7");
  services.icmp = [](const Text&) { return 1; };
  RunCycles(0, 3, [&](int cycle) {
    if (cycle == 1) {
      table.SetCell(0, kColInterval, "30");
      table.SetCell(0, kColAddress, "10.9.9.9");
      table.SetCell(0, kColProbeType, "80端口");
      table.SetCell(0, kColRetries, "5");
    }
  });
  EXPECT_EQ(services.waits, (std::vector<std::int32_t>{7, 30, 30}));
  EXPECT_EQ(services.icmpHosts, (std::vector<Text>{"10.0.0.1", "10.0.0.1", "10.0.0.1"}));
  EXPECT_TRUE(services.tcpCalls.empty());
}

TEST_F(ProbeWorkerTest, TaskEndsOnlyAtTheTopOfACycle) {
  AddHost(table, "10.0.0.1", "", "ICMP", "2", "5");
  // Stop arrives during the first attempt: the cycle runs to its end, waits, then the task ends.
  services.icmp = [&](const Text&) {
    state.stopFlag.store(1);
    return -1;
  };
  services.wait = [](std::int32_t) {};
  monitor.RunTask(table.IdOfRow(0));
  EXPECT_EQ(services.icmpHosts.size(), 3u);
  EXPECT_EQ(services.alerts.size(), 1u);
  EXPECT_EQ(services.waits, std::vector<std::int32_t>{5});
}

TEST_F(ProbeWorkerTest, SwitchedOffWhileTheTaskSleepsIsSkippedUntilSwitchedOn) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "1");
  services.icmp = [](const Text&) { return 2; };
  table.SetSelectedRow(0);
  RunCycles(0, 4, [&](int cycle) {
    if (cycle == 1) SwitchSelectedHostOff(table);
    if (cycle == 3) SwitchSelectedHostOn(table);
  });
  // Cycles 1 and 4 probe; 2 and 3 only wait.
  EXPECT_EQ(services.icmpHosts.size(), 2u);
  EXPECT_EQ(services.waits.size(), 4u);
  EXPECT_EQ(statuses, (std::vector<Text>{"正在测试", "ICMP通信正常, 2ms", "停止监测", "等待监测", "正在测试",
                                         "ICMP通信正常, 2ms"}));
}

struct SwitchDuringCycle {
  const char* name;
  std::int32_t result;  // of the attempt during which the operator acts
  bool switchOnAgain;   // off and on again before the attempt ends
  const char* status;   // what the row shows after the cycle
  int image;
  std::size_t alerts;
};

class SwitchWhileACycleRuns : public ProbeWorkerTest, public ::testing::WithParamInterface<SwitchDuringCycle> {};

TEST_P(SwitchWhileACycleRuns, TheOperatorsSwitchSurvivesTheCycle) {
  const SwitchDuringCycle& c = GetParam();
  AddHost(table, "10.0.0.1", "", "ICMP", "2", "0");
  table.SetCellImage(0, kColStatus, kImageSuccess);
  table.SetSelectedRow(0);
  services.icmp = [&](const Text&) {
    SwitchSelectedHostOff(table);
    if (c.switchOnAgain) SwitchSelectedHostOn(table);
    return c.result;
  };
  RunCycles(0, 1);
  EXPECT_EQ(table.GetCell(0, kColStatus), c.status);
  EXPECT_EQ(table.GetCellImage(0, kColStatus), c.image);
  EXPECT_EQ(services.alerts.size(), c.alerts);
  EXPECT_EQ(services.log.size(), c.alerts);
  // Switched off for good: no further attempt is made in that cycle.
  if (!c.switchOnAgain) {
    EXPECT_EQ(services.icmpHosts.size(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    ProbeWorker, SwitchWhileACycleRuns,
    ::testing::Values(SwitchDuringCycle{"OffDuringASuccess", 4, false, "停止监测", kNoImage, 0},
                      SwitchDuringCycle{"OffDuringAFailure", -1, false, "停止监测", kNoImage, 0},
                      SwitchDuringCycle{"OffAndOnDuringASuccess", 4, true, "ICMP通信正常, 4ms", kImageSuccess, 0},
                      SwitchDuringCycle{"OffAndOnDuringFailures", -1, true, "通信失败,微信推送成功", kImageFailure,
                                        1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProbeWorkerTest, SwitchOffDuringThePushKeepsTheSwitchButLogsTheSentAlert) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "0");
  table.SetSelectedRow(0);
  services.pushAnswer = [&] {
    SwitchSelectedHostOff(table);
    return Text("{\"success\":true}");
  };
  RunCycles(0, 1);
  EXPECT_EQ(table.GetCell(0, kColStatus), "停止监测");
  EXPECT_EQ(table.GetCellImage(0, kColStatus), kNoImage);
  EXPECT_EQ(services.log.size(), 1u);
  EXPECT_TRUE(broughtIntoView.empty());
}

TEST(FailureLogEntry, JoinsAddressAndNameAndSeparatesTheRest) {
  EXPECT_EQ(FailureLogEntry("2024-05-01 08:00:00", "10.0.0.1", "网关", "ICMP", kPushSucceeded),
            "2024-05-01 08:00:00---10.0.0.1网关---ICMP---微信推送成功\r\n");
}

// Tasks on real threads address their host by identity: reordering the rows while they run
// (a column sort) never puts one host's result into another host's row.
TEST(ProbeWorkerTasks, ResultsStayWithTheirHostsWhileTheRowsAreSorted) {
  HostTable table;
  AppState state;
  state.pushAppToken = "t";
  state.pushTopicId = "1";
  ScriptedServices services;
  constexpr int kHosts = 12;
  for (int i = 0; i < kHosts; ++i) {
    // Host i answers in i ms when odd; even hosts are port probes that always fail.
    AddHost(table, "10.0.0." + DecimalText(i), "h" + DecimalText(i), i % 2 ? "ICMP" : "80端口", "0", "0");
  }
  services.icmp = [](const Text& host) { return IntValue(host.substr(host.rfind('.') + 1)); };
  services.clock = [] { return Text("T"); };
  services.wait = [](std::int32_t) { std::this_thread::sleep_for(std::chrono::microseconds(200)); };
  MonitorContext monitor(table, state, services);
  SetProbeContext(&monitor);
  {
    test::ThreadPoolStub pool;
    pool.Create(kHosts + 1);
    for (RowId id : monitor.Enrol()) ASSERT_TRUE(monitor.StartTask(id, pool));
    std::mt19937 random(7);
    std::vector<int> order(kHosts);
    // Sort on until every host has been probed a few times, at least 300 times over; the
    // deadline only catches a hang.
    auto probedEnough = [&] {
      std::lock_guard lock(services.mutex);
      std::vector<int> seen(kHosts, 0);
      for (const Text& host : services.icmpHosts) ++seen[IntValue(host.substr(host.rfind('.') + 1))];
      for (const auto& call : services.tcpCalls) ++seen[IntValue(call.second.substr(call.second.rfind('.') + 1))];
      return std::all_of(seen.begin(), seen.end(), [](int n) { return n >= 3; });
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int round = 0; round < 300 || !probedEnough(); ++round) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline);
      for (int i = 0; i < kHosts; ++i) order[i] = i;
      std::shuffle(order.begin(), order.end(), random);
      ASSERT_TRUE(table.Reorder(order));
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    monitor.RequestStop();
  }
  SetProbeContext(nullptr);
  for (int row = 0; row < kHosts; ++row) {
    const HostRow r = table.Snapshot(row);
    const int host = IntValue(r.cells[kColName].substr(1));
    ASSERT_EQ(r.cells[kColAddress], "10.0.0." + DecimalText(host));
    if (host % 2) {
      EXPECT_EQ(r.cells[kColStatus], "ICMP通信正常, " + DecimalText(host) + "ms") << "row " << row;
      EXPECT_EQ(r.images[kColStatus], kImageSuccess);
    } else {
      EXPECT_EQ(r.cells[kColStatus], kFailedPushed) << "row " << row;
      EXPECT_EQ(r.images[kColStatus], kImageFailure);
    }
  }
  // Every log entry names the host its row belongs to.
  for (const Text& entry : services.log) {
    const std::size_t at = entry.find("---10.0.0.");
    ASSERT_NE(at, Text::npos);
    const int host = IntValue(entry.substr(at + 10));
    EXPECT_EQ(host % 2, 0) << entry;
    EXPECT_NE(entry.find("---10.0.0." + DecimalText(host) + "h" + DecimalText(host) + "---80端口---"), Text::npos)
        << entry;
  }
}

}  // namespace
}  // namespace uptorra
