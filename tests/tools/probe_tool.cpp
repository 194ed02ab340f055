// Runs the program's probes from the command line, for tests that need hosts the unit tests
// cannot reach (a network namespace with a silent host and a router that answers with errors).
//   probe_tool icmp HOST [PAYLOAD]          -> round trip in ms, or -1; and the time taken
//   probe_tool tcp PORT HOST                -> 1 accepted, 0 not
//   probe_tool flood DEAD N LIVE M          -> N echoes to DEAD at once, then M to LIVE
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "core/Gbk_win.h"
#include "core/IcmpProbe_win.h"
#include "core/MonitorTexts.h"
#include "core/TcpProbe_win.h"

using namespace uptorra;

int wmain(int argc, wchar_t** argv) {
  std::vector<Text> args;
  for (int i = 1; i < argc; ++i) args.push_back(GbkFromWide(argv[i]));
  if ((args.size() == 2 || args.size() == 3) && args[0] == "icmp") {
    const DWORD start = GetTickCount();
    const std::int32_t ms = args.size() == 2 ? IcmpEchoProbe(args[1], kIcmpTimeoutMs)
                                             : IcmpEchoProbeWithPayload(args[1], kIcmpTimeoutMs, IntValue(args[2]));
    std::printf("%d %lu\n", static_cast<int>(ms), static_cast<unsigned long>(GetTickCount() - start));
    return 0;
  }
  if (args.size() == 3 && args[0] == "tcp") {
    const DWORD start = GetTickCount();
    const bool accepted = TcpPortProbe(IntValue(args[1]), args[2]);
    std::printf("%d %lu\n", accepted ? 1 : 0, static_cast<unsigned long>(GetTickCount() - start));
    return 0;
  }
  if (args.size() == 5 && args[0] == "flood") {
    // More echoes than Wine's ICMP service holds at once go to a host that never answers; the
    // echoes to the answering host that follow must wait for a slot, not fail.
    const int dead = IntValue(args[2]), live = IntValue(args[4]);
    std::atomic<int> deadAnswered{0}, liveAnswered{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < dead; ++i) {
      threads.emplace_back([&] {
        if (IcmpEchoProbe(args[1], kIcmpTimeoutMs) >= 0) ++deadAnswered;
      });
    }
    Sleep(300);
    for (int i = 0; i < live; ++i) {
      threads.emplace_back([&] {
        if (IcmpEchoProbe(args[3], kIcmpTimeoutMs) >= 0) ++liveAnswered;
      });
    }
    for (std::thread& t : threads) t.join();
    std::printf("%d %d\n", deadAnswered.load(), liveAnswered.load());
    return 0;
  }
  std::fprintf(stderr, "usage: probe_tool icmp HOST | tcp PORT HOST | flood DEAD N LIVE M\n");
  return 2;
}
