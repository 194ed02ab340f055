// Puts entries in front of an event log from several threads, without end, through the
// program's EventLog; a test kills this process at random moments, or lets it end itself
// while its threads are still logging, and then checks the log.
// Usage: log_prepender <log path> <tag> <threads> [exit|return]
// Every entry is "<tag> T<thread> E<n>\r\n", n counting up from 0 per thread. With "exit" or
// "return" the main thread logs "<tag> LAST\r\n" after a moment and then ends the process
// while the other threads are still logging: by ExitProcess, or by returning from wmain (the C
// runtime's exit, which runs the static destructors first).
#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "core/Gbk_win.h"
#include "log/EventLog.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  const uptorra::Text tag = uptorra::GbkFromWide(argv[2]);
  const int threads = static_cast<int>(std::wcstol(argv[3], nullptr, 10));
  const std::wstring ending = argc > 4 ? argv[4] : L"";
  uptorra::SetEventLogPath(uptorra::GbkFromWide(argv[1]));
  for (int t = 0; t < threads; ++t) {
    std::thread([tag, t] {
      for (unsigned n = 0;; ++n) {
        uptorra::EventLog(tag + " T" + std::to_string(t) + " E" + std::to_string(n) + "\r\n");
      }
    }).detach();
  }
  if (ending != L"exit" && ending != L"return") {
    ::Sleep(INFINITE);
    return 0;
  }
  ::Sleep(200);
  uptorra::EventLog(tag + " LAST\r\n");
  if (ending == L"exit") ::ExitProcess(0);
  return 0;
}
