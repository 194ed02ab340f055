#pragma once
// The probe worker: one task per monitored host, probing it cycle after cycle on a pool thread,
// writing status, image and test time into its row, pushing an alert and logging every cycle in
// which all attempts failed, and waiting the row's interval between cycles.
//
// The worker reaches everything outside the host table through MonitorServices, so it runs the
// same against the real probes and push as against scripted ones in tests.
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/AppState.h"
#include "core/HostTable.h"
#include "core/MonitorPool.h"
#include "core/Text.h"

namespace uptorra {

class MonitorServices {
 public:
  virtual ~MonitorServices() = default;
  // Round-trip time in ms of an echo answered by the host, or -1.
  virtual std::int32_t IcmpEcho(const Text& host, std::int32_t timeoutMs) = 0;
  // True when the host accepted a TCP connection on the port (closed again at once).
  virtual bool TcpConnect(std::int32_t port, const Text& host) = 0;
  // The push service's answer, empty when there was none; and whether that answer accepts.
  virtual Text SendAlert(const Text& appToken, const Text& topicId, const Text& timeText, const Text& address,
                         const Text& displayName, const Text& probeType) = 0;
  virtual bool PushAccepted(const Text& answer) = 0;
  virtual Text TimeText() = 0;
  virtual void EventLog(const Text& entry) = 0;
  // The wait between two cycles; keeps the thread's window messages flowing.
  virtual void WaitSeconds(std::int32_t seconds) = 0;
};

// The failure entry of the event log: time, address and name run together, probe type, push.
Text FailureLogEntry(const Text& timeText, const Text& address, const Text& displayName, const Text& probeType,
                     std::string_view pushResult);

// The process-wide monitoring context: which hosts are monitored and which of them have a live
// task. It is the one place that decides whether a task ends or a new one is needed, so that
// stop and continue, clicked at any moment, never leave a monitored host with no task or two.
//
// The rule: a host's task ends only at the top of a cycle that finds StopFlag at 1, and it
// marks itself gone in the same locked step; continue clears StopFlag and starts a task for
// every monitored host without one in a single locked step as well. Whichever comes first, the
// other sees its result: either the task saw 0 and goes on, or it has marked itself gone and
// continue replaces it.
class MonitorContext {
 public:
  MonitorContext(HostTable& table, AppState& state, MonitorServices& services);
  MonitorContext(const MonitorContext&) = delete;
  MonitorContext& operator=(const MonitorContext&) = delete;

  HostTable& Table() { return table_; }
  AppState& State() { return state_; }
  MonitorServices& Services() { return services_; }

  // First start: the hosts to monitor are the rows whose status is not "停止监测" now. Returns
  // their identities in row order.
  std::vector<RowId> Enrol();
  // Starts a task for a monitored host that has none. False when the host is not monitored,
  // already has a task, or the pool refused the task.
  bool StartTask(RowId id, MonitorPool& pool);
  // Continue: StopFlag to 0 and a new task for every monitored host whose task has ended.
  // Returns the number of tasks started.
  int Continue(MonitorPool& pool);
  // Stop: StopFlag to 1; every task ends when it next reaches the top of its cycle.
  void RequestStop();

  // The body of one task, from reading its row to its end.
  void RunTask(RowId id);

  // For tests and diagnostics: tasks of the host running right now (started, not returned),
  // and whether the context counts it as having a task (queued or running).
  int RunningTasks(RowId id) const;
  bool HasTask(RowId id) const;
  std::vector<RowId> MonitoredHosts() const;

 private:
  struct HostTask {
    bool monitored = false;
    bool hasTask = false;  // submitted and not yet ended
    int running = 0;
  };
  struct Settings {
    Text address, displayName, probeType;
    std::int32_t retries = 0;
  };
  enum class CycleEnd { Done, SwitchedOff };

  bool StartTaskLocked(RowId id, MonitorPool& pool);
  HostTask* FindLocked(RowId id);
  const HostTask* FindLocked(RowId id) const;
  // The top of a cycle: false (and the task counted as gone) when StopFlag is 1.
  bool MayGoOn(RowId id);
  void TaskGone(RowId id);
  CycleEnd RunCycle(RowId id, const Settings& settings);
  // Writes the status text unless the operator has switched the host off; false then.
  bool WriteStatus(RowId id, const Text& text);
  bool WriteResult(RowId id, int image, const Text& status, const Text& timeText);

  HostTable& table_;
  AppState& state_;
  MonitorServices& services_;

  mutable std::mutex mutex_;
  std::vector<HostTask> hosts_;  // by RowId - 1
};

// The pool's task routine: first = the host's RowId, second unused. It runs the task on the
// context made current by SetProbeContext, which must be set before the first task is queued
// and stay alive while any task runs.
void SetProbeContext(MonitorContext* context);
MonitorContext* ProbeContext();
void ProbeWorkerTask(std::int32_t rowId, std::int32_t unused);

}  // namespace uptorra
