#include "core/TaskPoolMonitor_win.h"

#include "core/MonitorTexts.h"

namespace uptorra {

namespace {
constexpr std::int32_t kPumpWhileStarting = 1;
}  // namespace

std::int32_t TaskPoolMonitor::Create(std::int32_t workers) {
  return pool_.Create(workers, {}, {}, kPumpWhileStarting, kWorkerStackBytes);
}

}  // namespace uptorra
