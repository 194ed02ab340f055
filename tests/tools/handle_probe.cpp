// handle_probe: what the thread handles of another process point at, for the fault bench's
// handle figures. For every thread handle of the process (from the system's handle table) it
// prints the thread's owning process and id and whether the thread has ended, as JSON:
//   handle_probe <pid>  ->  {"threads": n, "ended": n, "other_process": n, "items": [...]}
// A growing number of handles to ended threads is a handle leak of whoever opened them.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "support/SystemHandles_win.h"

using namespace uptorra;
using namespace uptorra::test;

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const DWORD pid = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 0));
  const auto handles = HandlesOfProcess(pid);
  const UniqueHandle process(::OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid));
  if (!handles || !process) return 1;
  int threads = 0;
  int ended = 0;
  int otherProcess = 0;
  std::string items;
  for (const SystemHandle& handle : *handles) {
    const UniqueHandle copy = DuplicateFrom(process.get(), handle.handle);
    if (!copy || ObjectTypeName(copy.get()) != L"Thread") continue;
    ++threads;
    DWORD code = 0;
    const bool gone = ::GetExitCodeThread(copy.get(), &code) && code != STILL_ACTIVE;
    const DWORD owner = ::GetProcessIdOfThread(copy.get());
    ended += gone;
    otherProcess += owner != pid;
    char item[96];
    std::snprintf(item, sizeof item, "%s[%lu,%lu,%d]", items.empty() ? "" : ",", static_cast<unsigned long>(owner),
                  static_cast<unsigned long>(::GetThreadId(copy.get())), gone ? 1 : 0);
    items += item;
  }
  std::printf("{\"threads\": %d, \"ended\": %d, \"other_process\": %d, \"items\": [%s]}\n", threads, ended,
              otherProcess, items.c_str());
  return 0;
}
