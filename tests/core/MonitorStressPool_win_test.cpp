#include "core/MonitorStress.h"
#include "core/TaskPoolMonitor_win.h"

namespace uptorra {
namespace {

TEST(MonitorStress, RandomStopAndContinueOnTheTaskPoolLeaveExactlyOneTaskPerHost) {
  TaskPool pool;
  TaskPoolMonitor monitorPool(pool);
  test::RunRandomStopAndContinue(monitorPool, [&] { return static_cast<std::size_t>(pool.QueuedCount()); });
  // The workers have no task left; the pool is let go without waiting for them.
  pool.Destroy();
}

}  // namespace
}  // namespace uptorra
