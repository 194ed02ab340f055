#include "core/MonitorControl.h"

#include "core/MonitorTexts.h"

namespace uptorra {
namespace {

// The controls that are locked while monitoring runs and free again after a stop.
constexpr Control kInputControls[] = {
    Control::单选框_端口,     Control::单选框_ICMP,     Control::编辑框_监测间隔, Control::编辑框_重试次数,
    Control::编辑框_监测类型, Control::编辑框_主机名称, Control::编辑框_主机地址,
};

void LogEvent(MonitorContext& monitor, std::string_view what) {
  Text entry = monitor.Services().TimeText();
  entry += what;
  monitor.Services().EventLog(entry);
}

void SwitchSelectedHost(HostTable& table, std::string_view status) {
  const RowId id = table.IdOfRow(table.SelectedRow());
  if (id == kNoRowId) return;
  // One step for image and text, so a probe result cannot land between them.
  table.UpdateById(id, [&](HostRow& row) {
    row.images[kColStatus] = kNoImage;
    row.cells[kColStatus] = Text(status);
    return true;
  });
}

}  // namespace

void StartOrContinueMonitoring(WindowServices& window, MonitorContext& monitor, MonitorPool& pool) {
  AppState& state = monitor.State();
  // The status-mail box is read only here: unticking it later does not stop the mail.
  if (window.IsChecked(Control::选择框1)) window.SetTimerPeriod(kStatusMailPeriodMs);
  if (state.pushAppToken.empty() || state.pushTopicId.empty()) {
    window.ShowMessage(Text(kPushNotConfiguredMessage), kTipCaption, MessageButtons::Ok);
    return;
  }

  window.SetEnabled(Control::停止监测, true);
  window.SetEnabled(Control::启动监测, false);
  for (Control control : kInputControls) window.SetEnabled(control, false);
  window.SetEnabled(Control::添加主机, false);

  if (pool.State() == 1) {
    // Continue: tasks still in their wait go on; hosts whose task has ended get a new one.
    monitor.Continue(pool);
    pool.Resume();
  } else {
    state.stopFlag.store(0);
    HostTable& table = monitor.Table();
    // Creating pumps window messages, so the stop button (enabled above) may be clicked now.
    pool.Create(table.RowCount() + 1);
    const std::vector<RowId> hosts = monitor.Enrol();
    if (state.stopFlag.load() == 1) {
      // The stop came while the pool was still being created and could not pause it then. The
      // hosts stay marked as monitored: continue starts their tasks.
      pool.Pause();
      return;
    }
    for (RowId id : hosts) {
      if (state.stopFlag.load() == 1) break;
      monitor.StartTask(id, pool);
    }
  }

  Text pane(kStartedPane);
  pane += DecimalText(pool.BusyCount());
  window.SetPaneText(1, pane);
  LogEvent(monitor, kStartedLogEntry);
}

void StopMonitoring(WindowServices& window, MonitorContext& monitor, MonitorPool& pool) {
  if (window.ShowMessage(Text(kStopQuestion), kTipCaption, MessageButtons::OkCancel) != MessageAnswer::Ok) return;
  pool.Pause();
  window.SetTimerPeriod(0);
  monitor.RequestStop();
  window.SetEnabled(Control::停止监测, false);
  window.SetEnabled(Control::启动监测, true);
  window.SetControlText(Control::启动监测, Text(kContinueCaption));
  // The port box too, whichever probe type is selected; 添加主机 stays disabled.
  for (Control control : kInputControls) window.SetEnabled(control, true);
  window.SetPaneText(1, Text(kStoppedPane));
  LogEvent(monitor, kStoppedLogEntry);
}

void SwitchSelectedHostOff(HostTable& table) { SwitchSelectedHost(table, kStatusStopped); }
void SwitchSelectedHostOn(HostTable& table) { SwitchSelectedHost(table, kStatusSwitchedOn); }

}  // namespace uptorra
