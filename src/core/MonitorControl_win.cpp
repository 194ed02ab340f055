#include "core/MonitorControl_win.h"

#include <memory>

#include "core/MonitorControl.h"
#include "core/PacedWait_win.h"
#include "core/ProgramServices_win.h"
#include "core/TaskPoolMonitor_win.h"

namespace uptorra {

MonitorContext& ProgramMonitor(HostTable& table, AppState& state) {
  // Never destroyed: at exit the pool is let go without waiting for its tasks, which may still
  // use the context.
  static ProgramServices* services = new ProgramServices(&PacedWait);
  static MonitorContext* monitor = [&] {
    auto* made = new MonitorContext(table, state, *services);
    SetProbeContext(made);
    return made;
  }();
  return *monitor;
}

void OnStartClicked(WindowServices& window, HostTable& table, AppState& state, TaskPool& pool) {
  TaskPoolMonitor monitorPool(pool);
  StartOrContinueMonitoring(window, ProgramMonitor(table, state), monitorPool);
}

void OnStopClicked(WindowServices& window, HostTable& table, AppState& state, TaskPool& pool) {
  TaskPoolMonitor monitorPool(pool);
  StopMonitoring(window, ProgramMonitor(table, state), monitorPool);
}

void OnSwitchHostOffChosen(HostTable& table) { SwitchSelectedHostOff(table); }
void OnSwitchHostOnChosen(HostTable& table) { SwitchSelectedHostOn(table); }

}  // namespace uptorra
