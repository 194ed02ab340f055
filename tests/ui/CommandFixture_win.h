#pragma once
// What the tests of the operator commands share: a file read back whole, and a temporary
// folder whose log already holds one older entry and is the program's log while a test runs.
#include <gtest/gtest.h>

#include "core/FileIo.h"
#include "log/EventLog.h"
#include "support/TempDir_win.h"
#include "ui/ScriptedWindow.h"

namespace uptorra::test {

inline Text ReadText(const Text& path) {
  Bytes bytes;
  ReadWholeFile(path, bytes);
  return bytes;
}

class LoggedCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ReplaceFileAtomically(logPath, "older entry\r\n"));
    SetEventLogPath(logPath);
  }
  void TearDown() override { SetEventLogPath(""); }
  TempDir dir;
  Text logPath = dir.File("MyLog.log");
  ScriptedWindow window;
};

}  // namespace uptorra::test
