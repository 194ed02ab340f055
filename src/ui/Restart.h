#pragma once
// Restarting the program: a running process cannot start its successor after it has ended, so
// it writes Restart.bat beside the executable, starts it hidden and terminates itself; the
// script waits a moment, starts the program again and deletes itself.
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "core/Text.h"
#include "ui/WindowServices.h"

namespace uptorra {

inline constexpr std::string_view kRestartScriptName = "Restart.bat";
// "秒数" becomes the delay and "<文件名>" the program's path. ping waits one second between its
// echoes, so the pause is about one second less than the delay. The empty quotes are the window
// title that start expects before a quoted path; the last line has no line end.
inline constexpr std::string_view kRestartScriptTemplate =
    "@echo off \r\n"
    "@ping 127.0.0.1 -n 秒数 >nul\r\n"
    "start \"\" \"<文件名>\"\r\n"
    "del Restart.bat";
inline constexpr std::string_view kRestartDelayPlaceholder = "秒数";
inline constexpr std::string_view kRestartPathPlaceholder = "<文件名>";
inline constexpr int kDefaultRestartDelaySeconds = 2;

inline constexpr std::string_view kConfirmRestartMessage = "确认重启程序？";
inline constexpr std::string_view kRestartLogEntrySuffix = "---程序重启\r\n";

// The delay in seconds: absent, 0 or negative gives kDefaultRestartDelaySeconds.
int RestartDelayOf(std::optional<int> delaySeconds);

// The script for a program path (its short form) and a delay.
Text RestartScriptText(std::string_view programPath, int delaySeconds);

// The short (8.3) form of a path, or the path itself when it has none or does not exist.
Text ShortPathOf(const Text& path);

// Ends a process, by default the own one (then it does not return). True when it was ended.
bool TerminateProcessById(std::optional<std::uint32_t> processId = std::nullopt);

// Writes Restart.bat for programPath into its folder. False when programPath does not exist or
// the script could not be written.
bool WriteRestartScript(const Text& programPath, int delaySeconds);

// Writes Restart.bat into the folder of programPath and starts it hidden, in that folder, so
// that its last line finds the script to delete. False when programPath does not exist or the
// script could not be written or started; nothing was started then.
bool LaunchRestartScript(const Text& programPath, int delaySeconds);

// Starts a new copy of the running program through the script and ends this process with exit
// code 0. Returns only when nothing could be started; the program then simply goes on.
bool RestartProgram(std::optional<int> delaySeconds = std::nullopt);

// Click of 重启程序: asks for confirmation, logs the restart and calls restart (RestartProgram
// without a delay in the program; tests pass their own).
void OnRestartClicked(WindowServices& window, const std::function<void()>& restart);
void OnRestartClicked(WindowServices& window);

}  // namespace uptorra
