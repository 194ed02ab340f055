#include "ui/Shell.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "core/Gbk_win.h"
#include "core/UniqueHandle_win.h"

namespace uptorra {

namespace {

class WindowsShell : public ShellServices {
 public:
  bool StartProgram(const Text& commandLine) override {
    std::wstring line = WideFromGbk(commandLine);
    if (line.empty()) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
      return false;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    return true;
  }

  bool OpenAddress(const Text& address) override {
    const std::wstring wide = WideFromGbk(address);
    // Values above 32 mean success; the result is an HINSTANCE only for old programs' sake.
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
  }
};

}  // namespace

ShellServices& SystemShell() {
  static WindowsShell shell;
  return shell;
}

}  // namespace uptorra
