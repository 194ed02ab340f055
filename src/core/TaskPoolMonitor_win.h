#pragma once
// The program's TaskPool as monitoring uses it.
#include "core/MonitorPool.h"
#include "pool/TaskPool.h"

namespace uptorra {

class TaskPoolMonitor : public MonitorPool {
 public:
  explicit TaskPoolMonitor(TaskPool& pool) : pool_(pool) {}

  std::int32_t State() override { return pool_.State(); }
  // Exactly `workers` threads with a 1 MiB stack reservation each, window messages pumped
  // while they start. No maximum and no idle time-out: the pool never grows or shrinks. That
  // is enough for continue too: a host gets a new task only once its old one has ended, so
  // there are never more tasks than monitored rows, one worker fewer than the pool has.
  std::int32_t Create(std::int32_t workers) override;
  std::int32_t Submit(TaskRoutine routine, std::int32_t first) override { return pool_.Submit(routine, first); }
  std::int32_t Pause() override { return pool_.Pause(); }
  std::int32_t Resume() override { return pool_.Resume(); }
  std::int32_t BusyCount() override { return pool_.BusyCount(); }

 private:
  TaskPool& pool_;
};

}  // namespace uptorra
