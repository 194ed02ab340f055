#pragma once
// The monitoring handlers as the main window binds them: start/continue, stop and the two popup
// items, on the program's one TaskPool. All run on the window thread.
#include "core/AppState.h"
#include "core/HostTable.h"
#include "core/ProbeWorker.h"
#include "pool/TaskPool.h"
#include "ui/WindowServices.h"

namespace uptorra {

// The process-wide monitoring context with the program's probes, push, log and paced wait; made
// at the first call and current for the pool's task routine from then on. Table and state are
// the program's own, which live as long as the process.
MonitorContext& ProgramMonitor(HostTable& table, AppState& state);

void OnStartClicked(WindowServices& window, HostTable& table, AppState& state, TaskPool& pool);  // 启动监测
void OnStopClicked(WindowServices& window, HostTable& table, AppState& state, TaskPool& pool);   // 停止监测
void OnSwitchHostOffChosen(HostTable& table);  // "关闭监测此主机"
void OnSwitchHostOnChosen(HostTable& table);   // "开启监测此主机"

}  // namespace uptorra
