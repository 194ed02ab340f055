// The floor under the program's start-up time: a Windows process that does nothing, started the
// same way as the program (tools/wine-run.sh in a running Wine session). bench/run_all.py times
// it from launch to exit and reports the program's time to a ready window beside it.
#include <windows.h>

int main() {
  // One call into user32, so that the floor includes loading the GUI libraries the program
  // also loads before its window can exist.
  return ::GetSystemMetrics(SM_CXSCREEN) > 0 ? 0 : 1;
}
