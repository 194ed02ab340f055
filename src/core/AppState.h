#pragma once
// The process-wide values that start-up sets and the other commands read: the three file
// paths and the two push settings, plus StopFlag.
#include <atomic>

#include "core/Text.h"

namespace uptorra {

struct AppState {
  Text programDir;  // folder of the executable, no trailing backslash
  Text configPath;  // programDir + "\MyConfig.ini"
  Text hostsPath;   // programDir + "\MyHosts.csv"
  Text logPath;     // programDir + "\MyLog.log"
  Text pushAppToken;
  Text pushTopicId;
  Text pushApiUrl;  // optional apiUrl of section Wx_Pusher; empty = the service's own address

  // 0 while monitoring may run, 1 after stop. Written only by the window thread.
  std::atomic<int> stopFlag{0};
};

}  // namespace uptorra
