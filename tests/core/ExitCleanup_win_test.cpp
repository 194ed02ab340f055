// The exit clean-up after the message loop.
#include "core/ExitCleanup.h"

#include <gtest/gtest.h>

#include "core/FileIo.h"
#include "core/Startup.h"
#include "log/EventLog.h"
#include "support/TempDir_win.h"

namespace uptorra {
namespace {

TEST(ExitCleanup, StopsMonitoringReleasesThePathsThenDestroysThePool) {
  test::TempDir dir;
  AppState state;
  SetFilePaths(state, dir.path());
  state.pushAppToken = "AT_x";
  state.pushTopicId = "42";
  SetEventLogPath(state.logPath);
  EventLog("2024-01-01 00:00:00---程序关闭\r\n");

  int destroyed = 0;
  RunExitCleanup(state, [&] {
    ++destroyed;
    EXPECT_EQ(state.stopFlag.load(), 1) << "tasks are told to end before the pool goes";
    EXPECT_TRUE(state.logPath.empty());
  });
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(state.configPath.empty());
  EXPECT_TRUE(state.hostsPath.empty());
  EXPECT_TRUE(state.programDir.empty());
  // A task the pool no longer waits for may still read these.
  EXPECT_EQ(state.pushAppToken, "AT_x");
  EXPECT_EQ(state.pushTopicId, "42");

  // A late failure entry does not push the close entry down.
  EventLog("2024-01-01 00:00:01 late failure\r\n");
  Bytes log;
  ReadWholeFile(dir.File("MyLog.log"), log);
  EXPECT_EQ(log, "2024-01-01 00:00:00---程序关闭\r\n");

  AppState untouched;
  RunExitCleanup(untouched, nullptr);  // no pool was ever made
  EXPECT_EQ(untouched.stopFlag.load(), 1);
}

}  // namespace
}  // namespace uptorra
