// A stand-in for the program in the restart tests. Usage:
//   restart_probe --restart [delay]   restarts itself through RestartProgram (exit code 3 if
//                                     that returns)
//   restart_probe --sleep             waits to be ended from outside
//   restart_probe                     what the restarted copy does: writes started.txt beside
//                                     the executable with its process id, its working folder
//                                     and how it was asked to show its window, then ends
#include <windows.h>

#include <cstdlib>
#include <string>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "ui/Restart.h"

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && std::wstring(argv[1]) == L"--restart") {
    std::optional<int> delay;
    if (argc >= 3) delay = std::wcstol(argv[2], nullptr, 10);
    uptorra::RestartProgram(delay);
    return 3;
  }
  if (argc >= 2 && std::wstring(argv[1]) == L"--sleep") {
    ::Sleep(INFINITE);
    return 0;
  }
  wchar_t self[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const uptorra::Text folder = uptorra::FolderOf(uptorra::GbkFromWide(std::wstring(self, length)));
  wchar_t cwd[MAX_PATH];
  const DWORD cwdLength = ::GetCurrentDirectoryW(MAX_PATH, cwd);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ::GetStartupInfoW(&startup);
  const bool hidden = (startup.dwFlags & STARTF_USESHOWWINDOW) && startup.wShowWindow == SW_HIDE;
  const uptorra::Text report = "pid=" + std::to_string(::GetCurrentProcessId()) + "\r\ncwd=" +
                               uptorra::GbkFromWide(std::wstring(cwd, cwdLength)) + "\r\nhidden=" +
                               (hidden ? "1" : "0");
  uptorra::ReplaceFileAtomically(folder + "\\started.txt", report);
  return 0;
}
