// The restart script's text. Only ASCII paths here: this file also runs natively.
#include <gtest/gtest.h>

#include "ui/Restart.h"

namespace uptorra {
namespace {

TEST(RestartScript, TemplateFilledWithShortPathAndDelay) {
  EXPECT_EQ(RestartScriptText("C:\\PROGRA~1\\UPTORRA\\UPTORRA.EXE", 2),
            "@echo off \r\n"
            "@ping 127.0.0.1 -n 2 >nul\r\n"
            "start \"\" \"C:\\PROGRA~1\\UPTORRA\\UPTORRA.EXE\"\r\n"
            "del Restart.bat");
  EXPECT_EQ(RestartScriptText("D:\\A\\B.EXE", 15),
            "@echo off \r\n@ping 127.0.0.1 -n 15 >nul\r\nstart \"\" \"D:\\A\\B.EXE\"\r\ndel Restart.bat");
}

TEST(RestartScript, PathHoldingTheDelayPlaceholderKeepsIt) {
  const Text path = "C:\\" + Text(kRestartDelayPlaceholder) + "\\P.EXE";
  EXPECT_EQ(RestartScriptText(path, 3),
            "@echo off \r\n@ping 127.0.0.1 -n 3 >nul\r\nstart \"\" \"" + path + "\"\r\ndel Restart.bat");
}

TEST(RestartScript, DelayBelowOneOrAbsentIsTwo) {
  const std::pair<std::optional<int>, int> cases[] = {
      {std::nullopt, 2}, {0, 2}, {-5, 2}, {1, 1}, {2, 2}, {10, 10},
  };
  for (const auto& [given, expected] : cases) {
    EXPECT_EQ(RestartDelayOf(given), expected) << (given ? *given : -999);
  }
}

}  // namespace
}  // namespace uptorra
