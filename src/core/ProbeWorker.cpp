#include "core/ProbeWorker.h"

#include <atomic>

#include "core/MonitorTexts.h"

namespace uptorra {

Text FailureLogEntry(const Text& timeText, const Text& address, const Text& displayName, const Text& probeType,
                     std::string_view pushResult) {
  Text entry = timeText;
  entry += kLogSeparator;
  entry += address;
  entry += displayName;  // no separator: an empty name leaves the address alone
  entry += kLogSeparator;
  entry += probeType;
  entry += kLogSeparator;
  entry += pushResult;
  entry += kLogLineEnd;
  return entry;
}

MonitorContext::MonitorContext(HostTable& table, AppState& state, MonitorServices& services)
    : table_(table), state_(state), services_(services) {}

MonitorContext::HostTask* MonitorContext::FindLocked(RowId id) {
  if (id == kNoRowId || id > hosts_.size()) return nullptr;
  return &hosts_[id - 1];
}

const MonitorContext::HostTask* MonitorContext::FindLocked(RowId id) const {
  if (id == kNoRowId || id > hosts_.size()) return nullptr;
  return &hosts_[id - 1];
}

std::vector<RowId> MonitorContext::Enrol() {
  std::vector<RowId> enrolled;
  std::lock_guard lock(mutex_);
  const int rows = table_.RowCount();
  for (int row = 0; row < rows; ++row) {
    const RowId id = table_.IdOfRow(row);
    if (id == kNoRowId) continue;
    if (id > hosts_.size()) hosts_.resize(id);
    HostTask& host = hosts_[id - 1];
    // A host that already has a task (an earlier start whose pool failed to come up leaves
    // none) keeps its mark; the set is the rows that are switched on at this start.
    host.monitored = table_.GetCell(row, kColStatus) != kStatusStopped;
    if (host.monitored) enrolled.push_back(id);
  }
  return enrolled;
}

bool MonitorContext::StartTaskLocked(RowId id, MonitorPool& pool) {
  HostTask* host = FindLocked(id);
  if (host == nullptr || !host->monitored || host->hasTask) return false;
  // Marked before it is queued: the task may run and end before Submit returns.
  host->hasTask = true;
  if (pool.Submit(&ProbeWorkerTask, static_cast<std::int32_t>(id)) == 0) {
    host->hasTask = false;  // refused: the next continue tries again
    return false;
  }
  return true;
}

bool MonitorContext::StartTask(RowId id, MonitorPool& pool) {
  std::lock_guard lock(mutex_);
  return StartTaskLocked(id, pool);
}

int MonitorContext::Continue(MonitorPool& pool) {
  std::lock_guard lock(mutex_);
  // Under the lock that MayGoOn takes: no task can decide to end between these two steps.
  state_.stopFlag.store(0);
  int started = 0;
  for (std::size_t i = 0; i < hosts_.size(); ++i) {
    if (StartTaskLocked(static_cast<RowId>(i + 1), pool)) ++started;
  }
  return started;
}

void MonitorContext::RequestStop() { state_.stopFlag.store(1); }

bool MonitorContext::MayGoOn(RowId id) {
  std::lock_guard lock(mutex_);
  if (state_.stopFlag.load() == 0) return true;
  if (HostTask* host = FindLocked(id)) {
    host->hasTask = false;
    --host->running;
  }
  return false;
}

void MonitorContext::TaskGone(RowId id) {
  std::lock_guard lock(mutex_);
  if (HostTask* host = FindLocked(id)) {
    host->hasTask = false;
    --host->running;
  }
}

int MonitorContext::RunningTasks(RowId id) const {
  std::lock_guard lock(mutex_);
  const HostTask* host = FindLocked(id);
  return host ? host->running : 0;
}

bool MonitorContext::HasTask(RowId id) const {
  std::lock_guard lock(mutex_);
  const HostTask* host = FindLocked(id);
  return host && host->hasTask;
}

std::vector<RowId> MonitorContext::MonitoredHosts() const {
  std::lock_guard lock(mutex_);
  std::vector<RowId> ids;
  for (std::size_t i = 0; i < hosts_.size(); ++i) {
    if (hosts_[i].monitored) ids.push_back(static_cast<RowId>(i + 1));
  }
  return ids;
}

bool MonitorContext::WriteStatus(RowId id, const Text& text) {
  bool written = false;
  table_.UpdateById(id, [&](HostRow& row) {
    if (row.cells[kColStatus] == kStatusStopped) return false;
    row.cells[kColStatus] = text;
    written = true;
    return true;
  });
  return written;
}

bool MonitorContext::WriteResult(RowId id, int image, const Text& status, const Text& timeText) {
  // Image, status and test time in one step, and never over a switch-off that came in while the
  // cycle ran: the operator's "停止监测" is the last word on the row.
  bool written = false;
  table_.UpdateById(id, [&](HostRow& row) {
    if (row.cells[kColStatus] == kStatusStopped) return false;
    row.images[kColStatus] = image;
    row.cells[kColStatus] = status;
    row.cells[kColTestTime] = timeText;
    written = true;
    return true;
  });
  return written;
}

MonitorContext::CycleEnd MonitorContext::RunCycle(RowId id, const Settings& settings) {
  const bool icmp = settings.probeType == kProbeTypeIcmp;
  const std::int32_t port = icmp ? 0 : IntValue(settings.probeType);
  // 64-bit: a retry count of 2147483647 must not overflow the attempt number.
  const std::int64_t attempts = static_cast<std::int64_t>(settings.retries) + 1;
  for (std::int64_t attempt = 1; attempt <= attempts; ++attempt) {
    if (!WriteStatus(id, Text(kStatusTesting))) return CycleEnd::SwitchedOff;
    if (icmp) {
      const std::int32_t roundTrip = services_.IcmpEcho(settings.address, kIcmpTimeoutMs);
      const Text timeText = services_.TimeText();
      if (roundTrip >= 0) {
        Text status(kStatusIcmpOk);
        status += DecimalText(roundTrip);
        status += kStatusIcmpOkUnit;
        return WriteResult(id, kImageSuccess, status, timeText) ? CycleEnd::Done : CycleEnd::SwitchedOff;
      }
    } else {
      const bool accepted = services_.TcpConnect(port, settings.address);
      const Text timeText = services_.TimeText();
      if (accepted) {
        return WriteResult(id, kImageSuccess, Text(kStatusPortOk), timeText) ? CycleEnd::Done
                                                                              : CycleEnd::SwitchedOff;
      }
    }
    if (attempt <= settings.retries) {
      Text notice(kStatusRetryBefore);
      notice += DecimalText(attempt);
      notice += kStatusRetryAfter;
      if (!WriteStatus(id, notice)) return CycleEnd::SwitchedOff;
    }
  }

  // Every attempt failed (a negative retry count makes none). No alert for a host the operator
  // switched off while the attempts ran.
  if (table_.GetCellById(id, kColStatus) == kStatusStopped) return CycleEnd::SwitchedOff;
  const Text timeText = services_.TimeText();
  const Text answer = services_.SendAlert(state_.pushAppToken, state_.pushTopicId, timeText, settings.address,
                                          settings.displayName, settings.probeType);
  const std::string_view pushResult = services_.PushAccepted(answer) ? kPushSucceeded : kPushFailed;
  Text status(kStatusFailed);
  status += pushResult;
  if (WriteResult(id, kImageFailure, status, timeText)) table_.BringIntoViewById(id);
  // The alert went out, so the log records it even if a switch-off came in during the push.
  services_.EventLog(
      FailureLogEntry(timeText, settings.address, settings.displayName, settings.probeType, pushResult));
  return CycleEnd::Done;
}

void MonitorContext::RunTask(RowId id) {
  {
    std::lock_guard lock(mutex_);
    if (HostTask* host = FindLocked(id)) ++host->running;
  }
  bool ended = false;
  try {
    Settings settings;
    table_.UpdateById(id, [&](HostRow& row) {  // one consistent read of the four settings
      settings.address = row.cells[kColAddress];
      settings.displayName = row.cells[kColName];
      settings.probeType = row.cells[kColProbeType];
      settings.retries = IntValue(row.cells[kColRetries]);
      return false;
    });
    while (MayGoOn(id)) {
      if (table_.GetCellById(id, kColStatus) != kStatusStopped) RunCycle(id, settings);
      services_.WaitSeconds(IntValue(table_.GetCellById(id, kColInterval)));
    }
    ended = true;  // MayGoOn has counted the task as gone
  } catch (...) {
    // Out of memory in a text operation: the task ends, and a later continue replaces it.
  }
  if (!ended) TaskGone(id);
}

namespace {
std::atomic<MonitorContext*> gProbeContext{nullptr};
}  // namespace

void SetProbeContext(MonitorContext* context) { gProbeContext.store(context); }
MonitorContext* ProbeContext() { return gProbeContext.load(); }

void ProbeWorkerTask(std::int32_t rowId, std::int32_t) {
  if (MonitorContext* context = gProbeContext.load()) context->RunTask(static_cast<RowId>(rowId));
}

}  // namespace uptorra
