#include "core/MonitorControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <thread>

#include "core/MonitorFakes.h"
#include "core/MonitorTexts.h"

namespace uptorra {
namespace {

using test::AddHost;

constexpr const char* kTime = "2024-05-01 08:00:00";
const Text kStartEntry = Text(kTime) + "---监测启动\r\n";
const Text kStopEntry = Text(kTime) + "---监测停止\r\n";

// Polls for a condition; the limit only catches a hang.
template <typename Pred>
bool WaitUntil(Pred pred) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

constexpr Control kInputs[] = {Control::单选框_端口,     Control::单选框_ICMP,     Control::编辑框_监测间隔,
                               Control::编辑框_重试次数, Control::编辑框_监测类型, Control::编辑框_主机名称,
                               Control::编辑框_主机地址};

class MonitorControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state.pushAppToken = "AT_token";
    state.pushTopicId = "123";
    services.icmp = [](const Text&) { return 1; };
    services.wait = [](std::int32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    SetProbeContext(&monitor);
  }
  void TearDown() override {
    monitor.RequestStop();
    pool.Resume();
    {
      std::lock_guard lock(gateMutex);
      held = false;
    }
    gate.notify_all();
    // The pool member ends its workers when the tasks have returned.
  }

  void Start() { StartOrContinueMonitoring(window, monitor, pool); }
  void Stop() { StopMonitoring(window, monitor, pool); }
  std::size_t Probes() {
    std::lock_guard lock(services.mutex);
    return services.icmpHosts.size();
  }
  std::size_t ProbesOf(const Text& host) {
    std::lock_guard lock(services.mutex);
    return static_cast<std::size_t>(std::count(services.icmpHosts.begin(), services.icmpHosts.end(), host));
  }
  std::vector<Text> Log() {
    std::lock_guard lock(services.mutex);
    return services.log;
  }

  HostTable table;
  AppState state;
  test::ScriptedServices services;
  MonitorContext monitor{table, state, services};
  test::ControlWindow window;
  // A wait that the test can hold closed.
  std::mutex gateMutex;
  std::condition_variable gate;
  bool held = false;
  test::ThreadPoolStub pool;  // last: destroyed first, while the context still exists
};

TEST_F(MonitorControlTest, StartWithAnEmptyTableMakesOneWorkerAndLogsTheStart) {
  Start();
  EXPECT_EQ(pool.createdWith, std::vector<std::int32_t>{1});
  EXPECT_TRUE(pool.Submitted().empty());
  EXPECT_EQ(window.panes[1], "已启动监测，当前线程数：0");
  EXPECT_EQ(Log(), std::vector<Text>{kStartEntry});
  EXPECT_TRUE(window.IsEnabled(Control::停止监测));
  EXPECT_FALSE(window.IsEnabled(Control::启动监测));
  EXPECT_FALSE(window.IsEnabled(Control::添加主机));
  for (Control c : kInputs) EXPECT_FALSE(window.IsEnabled(c));
  EXPECT_EQ(state.stopFlag.load(), 0);
}

TEST_F(MonitorControlTest, StartGivesEverySwitchedOnRowOneTask) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "1");
  AddHost(table, "10.0.0.2", "", "ICMP", "0", "1", "停止监测");
  AddHost(table, "10.0.0.3", "", "ICMP", "0", "1", "任何别的文字");
  Start();
  EXPECT_EQ(pool.createdWith, std::vector<std::int32_t>{4});
  const std::vector<std::int32_t> expected{static_cast<std::int32_t>(table.IdOfRow(0)),
                                           static_cast<std::int32_t>(table.IdOfRow(2))};
  EXPECT_EQ(pool.Submitted(), expected);
  ASSERT_TRUE(WaitUntil([&] { return ProbesOf("10.0.0.1") > 0 && ProbesOf("10.0.0.3") > 0; }));
  EXPECT_EQ(ProbesOf("10.0.0.2"), 0u);
  EXPECT_EQ(window.panes[1].rfind("已启动监测，当前线程数：", 0), 0u);
  // Switching the row on later does not give it a task.
  table.SetSelectedRow(1);
  SwitchSelectedHostOn(table);
  const std::size_t seen = Probes();
  ASSERT_TRUE(WaitUntil([&] { return Probes() > seen + 20; }));
  EXPECT_EQ(ProbesOf("10.0.0.2"), 0u);
}

struct MissingPush {
  const char* name;
  const char* token;
  const char* topic;
};
class MissingPushSettings : public MonitorControlTest, public ::testing::WithParamInterface<MissingPush> {};

TEST_P(MissingPushSettings, ShowTheBoxAndStartNothingButTheTimerStaysArmed) {
  state.pushAppToken = GetParam().token;
  state.pushTopicId = GetParam().topic;
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "1");
  window.checked[Control::选择框1] = true;
  Start();
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].text, "请将Wx_Pusher的配置写入MyConfig.ini文件！");
  EXPECT_EQ(window.boxes[0].caption, "KWO提示");
  EXPECT_EQ(window.boxes[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(window.timerPeriod, 259200000u);
  EXPECT_TRUE(pool.createdWith.empty());
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(window.IsEnabled(Control::启动监测));
  EXPECT_FALSE(window.IsEnabled(Control::停止监测));
  EXPECT_TRUE(window.IsEnabled(Control::添加主机));
  EXPECT_EQ(window.panes[1], "");
}

INSTANTIATE_TEST_SUITE_P(MonitorControl, MissingPushSettings,
                         ::testing::Values(MissingPush{"NoToken", "", "123"}, MissingPush{"NoTopic", "AT_x", ""},
                                           MissingPush{"Neither", "", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MonitorControlTest, StopAnsweredOkPausesAndFreesTheInputsButNotAddHost) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "1");
  window.checked[Control::选择框1] = true;
  Start();
  EXPECT_EQ(window.timerPeriod, 259200000u);
  ASSERT_TRUE(WaitUntil([&] { return Probes() > 0; }));  // the task runs: the pause cannot hold it
  Stop();
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].text, "确认停止对所有主机的监测？");
  EXPECT_EQ(window.boxes[0].caption, "KWO提示");
  EXPECT_EQ(window.boxes[0].buttons, MessageButtons::OkCancel);
  EXPECT_TRUE(pool.Paused());
  EXPECT_EQ(window.timerPeriod, 0u);
  EXPECT_EQ(state.stopFlag.load(), 1);
  EXPECT_FALSE(window.IsEnabled(Control::停止监测));
  EXPECT_TRUE(window.IsEnabled(Control::启动监测));
  EXPECT_EQ(window.ControlText(Control::启动监测), "继续监测");
  for (Control c : kInputs) EXPECT_TRUE(window.IsEnabled(c));  // the port box included
  EXPECT_FALSE(window.IsEnabled(Control::添加主机));
  EXPECT_EQ(window.panes[1], "已停止监测");
  EXPECT_EQ(Log(), (std::vector<Text>{kStopEntry, kStartEntry}));
  // The task ends at the top of its next cycle.
  ASSERT_TRUE(WaitUntil([&] { return !monitor.HasTask(table.IdOfRow(0)); }));
  EXPECT_EQ(monitor.RunningTasks(table.IdOfRow(0)), 0);
}

TEST_F(MonitorControlTest, StopAnsweredCancelChangesNothing) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "1");
  window.checked[Control::选择框1] = true;
  Start();
  const Text pane = window.panes[1];
  const auto enabled = window.enabled;
  window.answers = {MessageAnswer::Cancel};
  Stop();
  EXPECT_EQ(window.boxes.size(), 1u);
  EXPECT_FALSE(pool.Paused());
  EXPECT_EQ(state.stopFlag.load(), 0);
  EXPECT_EQ(window.timerPeriod, 259200000u);
  EXPECT_EQ(window.panes[1], pane);
  EXPECT_EQ(window.enabled, enabled);
  EXPECT_EQ(Log(), std::vector<Text>{kStartEntry});
}

TEST_F(MonitorControlTest, ContinueReplacesEndedTasksAndLetsWaitingOnesGoOn) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "1");  // its wait returns at once
  AddHost(table, "10.0.0.2", "", "ICMP", "0", "2");  // its wait can be held
  services.wait = [this](std::int32_t seconds) {
    if (seconds == 2) {
      std::unique_lock lock(gateMutex);
      gate.wait(lock, [&] { return !held; });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  const RowId a = table.IdOfRow(0), b = table.IdOfRow(1);
  Start();
  ASSERT_TRUE(WaitUntil([&] { return ProbesOf("10.0.0.1") > 0 && ProbesOf("10.0.0.2") > 0; }));
  auto waitsOfB = [&] {
    std::lock_guard lock(services.mutex);
    return std::count(services.waits.begin(), services.waits.end(), 2);
  };
  std::ptrdiff_t before;
  {
    std::lock_guard lock(gateMutex);
    held = true;
    before = waitsOfB();
  }
  // B may be anywhere in its cycle; its next wait is held. Stop once it is in there.
  ASSERT_TRUE(WaitUntil([&] { return waitsOfB() > before; }));
  Stop();
  ASSERT_TRUE(WaitUntil([&] { return !monitor.HasTask(a); }));
  EXPECT_TRUE(monitor.HasTask(b));
  EXPECT_EQ(monitor.RunningTasks(b), 1);

  window.checked[Control::选择框1] = false;
  Start();  // continue
  EXPECT_EQ(window.timerPeriod, 0u);  // box unticked: the mail stays off
  EXPECT_FALSE(pool.Paused());
  EXPECT_EQ(pool.createdWith.size(), 1u);
  {
    std::lock_guard lock(gateMutex);
    held = false;
  }
  gate.notify_all();
  const std::size_t probesA = ProbesOf("10.0.0.1"), probesB = ProbesOf("10.0.0.2");
  ASSERT_TRUE(WaitUntil([&] { return ProbesOf("10.0.0.1") > probesA && ProbesOf("10.0.0.2") > probesB; }));
  const std::vector<std::int32_t> submitted = pool.Submitted();
  EXPECT_EQ(std::count(submitted.begin(), submitted.end(), static_cast<std::int32_t>(a)), 2);
  EXPECT_EQ(std::count(submitted.begin(), submitted.end(), static_cast<std::int32_t>(b)), 1);
  EXPECT_EQ(monitor.RunningTasks(a), 1);
  EXPECT_EQ(monitor.RunningTasks(b), 1);
  EXPECT_EQ(Log(), (std::vector<Text>{kStartEntry, kStopEntry, kStartEntry}));
  EXPECT_EQ(window.panes[1].rfind("已启动监测，当前线程数：", 0), 0u);
}

TEST_F(MonitorControlTest, StopClickedWhileThePoolStartsSubmitsNothingAndContinueStartsAll) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "1");
  AddHost(table, "10.0.0.2", "", "ICMP", "0", "1", "停止监测");
  AddHost(table, "10.0.0.3", "", "ICMP", "0", "1");
  pool.whileCreating = [this] { Stop(); };
  Start();
  EXPECT_TRUE(pool.Submitted().empty());
  EXPECT_TRUE(pool.Paused());
  EXPECT_EQ(window.panes[1], "已停止监测");
  EXPECT_EQ(window.ControlText(Control::启动监测), "继续监测");
  EXPECT_TRUE(window.IsEnabled(Control::启动监测));
  EXPECT_EQ(Log(), std::vector<Text>{kStopEntry});

  Start();  // continue
  const std::vector<std::int32_t> expected{static_cast<std::int32_t>(table.IdOfRow(0)),
                                           static_cast<std::int32_t>(table.IdOfRow(2))};
  EXPECT_EQ(pool.Submitted(), expected);
  ASSERT_TRUE(WaitUntil([&] { return ProbesOf("10.0.0.1") > 0 && ProbesOf("10.0.0.3") > 0; }));
  EXPECT_EQ(ProbesOf("10.0.0.2"), 0u);
}

TEST_F(MonitorControlTest, PoolThatCannotStartShowsZeroThreads) {
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "1");
  pool.refuseCreate = true;
  Start();
  EXPECT_TRUE(pool.Submitted().empty());
  EXPECT_FALSE(monitor.HasTask(table.IdOfRow(0)));
  EXPECT_EQ(window.panes[1], "已启动监测，当前线程数：0");
  EXPECT_EQ(Log(), std::vector<Text>{kStartEntry});
}

TEST(MonitorPopup, SwitchesTheSelectedHostAndClearsItsImage) {
  HostTable table;
  AddHost(table, "10.0.0.1", "", "ICMP", "0", "1", "通信失败,微信推送成功");
  AddHost(table, "10.0.0.2", "", "ICMP", "0", "1", "端口通信正常");
  table.SetCellImage(0, kColStatus, kImageFailure);
  table.SetCellImage(1, kColStatus, kImageSuccess);

  SwitchSelectedHostOff(table);  // nothing selected: nothing changes
  SwitchSelectedHostOn(table);
  EXPECT_EQ(table.GetCell(0, kColStatus), "通信失败,微信推送成功");
  EXPECT_EQ(table.GetCellImage(0, kColStatus), kImageFailure);

  table.SetSelectedRow(0);
  SwitchSelectedHostOff(table);
  EXPECT_EQ(table.GetCell(0, kColStatus), "停止监测");
  EXPECT_EQ(table.GetCellImage(0, kColStatus), kNoImage);
  table.SetSelectedRow(1);
  SwitchSelectedHostOn(table);
  EXPECT_EQ(table.GetCell(1, kColStatus), "等待监测");
  EXPECT_EQ(table.GetCellImage(1, kColStatus), kNoImage);
  EXPECT_EQ(table.GetCell(0, kColStatus), "停止监测");
}

}  // namespace
}  // namespace uptorra
