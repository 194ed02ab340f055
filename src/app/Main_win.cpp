// The program's entry point: platform set-up, the main window and its message loop, and the
// exit clean-up once the loop has ended.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "core/AppState.h"
#include "core/Config_win.h"
#include "core/ExitCleanup.h"
#include "core/HostTable.h"
#include "pool/TaskPool.h"
#include "ui/MainWindow_win.h"

namespace {

using namespace uptorra;

// Task-modal message boxes, the list view, the status bar and the edit subclasses all come
// from the common controls library (version 6, by the manifest).
void InitControlClasses() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  ::InitCommonControlsEx(&controls);
}

int RunMessageLoop(MainWindow& window) {
  MSG message;
  for (;;) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got < 0) return 1;
    if (window.PreTranslate(message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // 1. Platform: COM for the picture decoder and the push answer's re-encoding, common controls.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  InitControlClasses();

  // The model and the process-wide values outlive everything else: probe tasks that the pool
  // no longer waits for at exit may still touch them while the process winds down, so they are
  // never destroyed.
  HostTable& table = *new HostTable;
  AppState& state = *new AppState;
  RegistryFirstRun firstRun;

  // 2. The one TaskPool object of the process, not yet created: the monitoring handlers of the
  //    window create it at the first start, and the exit clean-up destroys it. Like the model it
  //    is never deleted, so that a task still winding down never finds it gone.
  TaskPool& pool = *new TaskPool;

  // 3-5. The window runs its created event (start-up) before it is shown, then the loop runs
  //      until the close question is answered Yes.
  int exitCode = 1;
  {
    MainWindow window(instance, table, state, firstRun, pool);
    if (window.Create(showCommand)) exitCode = RunMessageLoop(window);
  }

  // Exit clean-up, once, after the loop: the TaskPool is stopped without waiting for its
  // running tasks.
  RunExitCleanup(state, [&pool] { pool.Destroy(); });
  if (SUCCEEDED(com)) ::CoUninitialize();
  return exitCode;
}
