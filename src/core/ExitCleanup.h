#pragma once
// What runs once after the main window's message loop has ended for good (the close question
// answered Yes). A restart terminates the process instead and skips it.
#include <functional>

#include "core/AppState.h"

namespace uptorra {

// Stops the monitoring, lets go of the window thread's file paths and ends the log, then calls
// destroyPool, which must stop the task pool without waiting for its running tasks.
//
// The push settings stay: a task that the pool no longer waits for may still be sending an
// alert with them, and the process ends right after this anyway. For the same reason the
// AppState itself must outlive this call until the process ends.
void RunExitCleanup(AppState& state, const std::function<void()>& destroyPool);

}  // namespace uptorra
