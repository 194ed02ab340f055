// Monitoring end to end without the window: the program's host table loaded from a hosts file,
// its handlers, TaskPool, probes, paced wait, push and event log, with a recording stand-in for
// the window. Used by tests/e2e/test_monitor_e2e.py inside a network namespace.
//   monitor_e2e DIR PUSH_URL TOKEN TOPIC SECONDS [mail]
// Loads DIR\MyHosts.csv, logs to DIR\MyLog.log, posts alerts to PUSH_URL. Clicks start, lets
// monitoring run SECONDS, clicks stop (answered OK), waits until every task has ended, clicks
// continue and lets it run SECONDS again. After each step it prints the window's state and the
// table as "key<TAB>value" lines (GBK bytes), rows as "row<TAB>i<TAB>status<TAB>image<TAB>time".
#include <windows.h>

#include <cstdio>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "core/HostsFile.h"
#include "core/MonitorControl_win.h"
#include "core/MonitorFakes.h"
#include "log/EventLog.h"
#include "notify/PushMessage.h"

using namespace uptorra;

namespace {

void Print(const Text& key, const Text& value) {
  std::fwrite(key.data(), 1, key.size(), stdout);
  std::fputc('\t', stdout);
  std::fwrite(value.data(), 1, value.size(), stdout);
  std::fputc('\n', stdout);
}

void Dump(const char* step, test::ControlWindow& window, HostTable& table) {
  Print("step", step);
  Print("pane1", window.panes[1]);
  Print("start_caption", window.ControlText(Control::启动监测));
  Print("start_enabled", window.IsEnabled(Control::启动监测) ? "1" : "0");
  Print("stop_enabled", window.IsEnabled(Control::停止监测) ? "1" : "0");
  Print("add_enabled", window.IsEnabled(Control::添加主机) ? "1" : "0");
  Print("timer", DecimalText(window.timerPeriod));
  for (const auto& box : window.boxes) Print("box", box.text + "|" + box.caption);
  for (int row = 0; row < table.RowCount(); ++row) {
    const HostRow r = table.Snapshot(row);
    Print("row", DecimalText(row) + "\t" + r.cells[kColAddress] + "\t" + r.cells[kColStatus] + "\t" +
                     DecimalText(r.images[kColStatus]) + "\t" + r.cells[kColTestTime]);
  }
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: monitor_e2e DIR PUSH_URL TOKEN TOPIC SECONDS [mail]\n");
    return 2;
  }
  const Text dir = GbkFromWide(argv[1]);
  const int seconds = IntValue(GbkFromWide(argv[5]));
  static HostTable table;  // the program's model lives as long as the process
  static AppState state;
  state.pushAppToken = GbkFromWide(argv[3]);
  state.pushTopicId = GbkFromWide(argv[4]);
  SetEventLogPath(dir + "\\MyLog.log");
  SetPushApiUrl(GbkFromWide(argv[2]));
  Bytes hosts;
  ReadWholeFile(dir + "\\MyHosts.csv", hosts);
  LoadHostTable(hosts, table);

  test::ControlWindow window;
  window.checked[Control::选择框1] = argc > 6;
  static TaskPool pool;
  OnStartClicked(window, table, state, pool);
  if (!window.IsEnabled(Control::停止监测)) {  // refused: nothing was started
    Dump("refused", window, table);
    ExitProcess(0);
  }
  Sleep(static_cast<DWORD>(seconds) * 1000);
  Dump("running", window, table);

  OnStopClicked(window, table, state, pool);
  MonitorContext& monitor = ProgramMonitor(table, state);
  for (RowId id : monitor.MonitoredHosts()) {
    while (monitor.HasTask(id)) Sleep(20);
  }
  Dump("stopped", window, table);

  OnStartClicked(window, table, state, pool);
  Sleep(static_cast<DWORD>(seconds) * 1000);
  Dump("continued", window, table);
  int live = 0;
  for (RowId id : monitor.MonitoredHosts()) live += monitor.RunningTasks(id);
  Print("live_tasks", DecimalText(live));
  std::fflush(stdout);
  ExitProcess(0);  // as the program ends: the pool is let go with its tasks
}
