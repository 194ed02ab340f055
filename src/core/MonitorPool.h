#pragma once
// What monitoring asks of the task pool. The program's TaskPool stands behind it
// (MonitorControl_win); tests put a scripted pool in its place.
#include <cstdint>

namespace uptorra {

class MonitorPool {
 public:
  using TaskRoutine = void (*)(std::int32_t first, std::int32_t second);
  virtual ~MonitorPool() = default;
  // 0 not created, 1 running (possibly paused), 2 being created, 3 stopping.
  virtual std::int32_t State() = 0;
  // Starts exactly that many workers (no growth), pumping window messages while they start.
  virtual std::int32_t Create(std::int32_t workers) = 0;
  // Non-zero when queued; a worker later calls routine(first, 0).
  virtual std::int32_t Submit(TaskRoutine routine, std::int32_t first) = 0;
  virtual std::int32_t Pause() = 0;
  virtual std::int32_t Resume() = 0;
  // Workers running a task at this instant.
  virtual std::int32_t BusyCount() = 0;
};

}  // namespace uptorra
