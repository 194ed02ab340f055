#include "ui/Restart.h"

#include <windows.h>

#include <string>
#include <vector>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "core/UniqueHandle_win.h"

namespace uptorra {

namespace {

// The running executable's full path, however long.
std::wstring OwnExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);  // cut off: try again with room
  }
}

std::wstring CommandInterpreterPath() {
  wchar_t system[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return L"cmd.exe";
  return std::wstring(system, length) + L"\\cmd.exe";
}

}  // namespace

Text ShortPathOf(const Text& path) {
  // The wide function: the path is GBK, and the ANSI function would read it in whatever code
  // page the system happens to use.
  const std::wstring wide = WideFromGbk(path);
  const DWORD needed = ::GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (needed == 0) return path;  // no such file, or no short form
  std::wstring shortPath(needed, L'\0');
  const DWORD length = ::GetShortPathNameW(wide.c_str(), shortPath.data(), needed);
  if (length == 0 || length >= needed) return path;
  shortPath.resize(length);
  const Text result = GbkFromWide(shortPath);
  return TrimBlanks(result).empty() ? path : result;
}

bool TerminateProcessById(std::optional<std::uint32_t> processId) {
  const DWORD id = processId ? static_cast<DWORD>(*processId) : ::GetCurrentProcessId();
  UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
  if (!process) return false;
  return ::TerminateProcess(process.get(), 0) != FALSE;
}

bool WriteRestartScript(const Text& programPath, int delaySeconds) {
  if (!FileExists(programPath)) return false;
  // Through the atomic replace, as every file of the program: an earlier script is replaced
  // whole or not at all, and no half-written script can run.
  return ReplaceFileAtomically(FolderOf(programPath) + "\\" + Text(kRestartScriptName),
                               RestartScriptText(ShortPathOf(programPath), delaySeconds));
}

bool LaunchRestartScript(const Text& programPath, int delaySeconds) {
  if (!WriteRestartScript(programPath, delaySeconds)) return false;
  const Text folder = FolderOf(programPath);
  const Text scriptPath = folder + "\\" + Text(kRestartScriptName);

  // A batch file runs in the command interpreter. /s /c with the whole path in quotes keeps
  // blanks in the folder's name intact; /d skips AutoRun commands from the registry, which
  // could change the folder that the script's last line relies on.
  const std::wstring interpreter = CommandInterpreterPath();
  std::wstring commandLine = L"cmd.exe /d /s /c \"\"" + WideFromGbk(scriptPath) + L"\"\"";
  // Run in the program's folder: the script deletes itself by its bare name.
  const std::wstring workingFolder = WideFromGbk(folder);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, nullptr, workingFolder.c_str(), &startup,
                        &started)) {
    return false;
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  return true;
}

bool RestartProgram(std::optional<int> delaySeconds) {
  const Text programPath = GbkFromWide(OwnExecutablePath());
  // Ending the process when no new copy was started would leave the hosts unwatched without
  // a word; the program goes on instead.
  if (!LaunchRestartScript(programPath, RestartDelayOf(delaySeconds))) return false;
  TerminateProcessById();
  return false;  // reached only if the process could not end itself
}

void OnRestartClicked(WindowServices& window) {
  OnRestartClicked(window, [] { RestartProgram(); });
}

}  // namespace uptorra
