#pragma once
// Starting, stopping and continuing monitoring from the main window, and switching single
// hosts off and on from the list's popup menu. Every handler runs on the window thread.
#include "core/AppState.h"
#include "core/HostTable.h"
#include "core/MonitorPool.h"
#include "core/ProbeWorker.h"
#include "ui/WindowServices.h"

namespace uptorra {

// Click of 启动监测 (start, and continue after a stop). The context must be the one made
// current with SetProbeContext.
void StartOrContinueMonitoring(WindowServices& window, MonitorContext& monitor, MonitorPool& pool);

// Click of 停止监测: asks first; on OK pauses the pool and raises StopFlag.
void StopMonitoring(WindowServices& window, MonitorContext& monitor, MonitorPool& pool);

// Popup items "关闭监测此主机" and "开启监测此主机", on the selected row (none: nothing).
void SwitchSelectedHostOff(HostTable& table);
void SwitchSelectedHostOn(HostTable& table);

}  // namespace uptorra
