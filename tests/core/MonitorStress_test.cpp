#include "core/MonitorStress.h"

namespace uptorra {
namespace {

TEST(MonitorStress, RandomStopAndContinueLeaveExactlyOneTaskPerHost) {
  test::ThreadPoolStub pool;
  test::RunRandomStopAndContinue(pool, [&] { return pool.Queued(); });
}

}  // namespace
}  // namespace uptorra
