// handle_probe: what the thread handles of another process point at, for the fault bench's
// handle figures. For every thread handle of the process (from the system's handle table) it
// prints the thread's owning process and id and whether the thread has ended, as JSON:
//   handle_probe <pid>  ->  {"threads": n, "ended": n, "other_process": n, "items": [...]}
// A growing number of handles to ended threads is a handle leak of whoever opened them.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ULONG access;
  USHORT backTrace;
  USHORT type;
  ULONG attributes;
  ULONG reserved;
};
struct Table {  // SYSTEM_HANDLE_INFORMATION_EX
  ULONG_PTR count;
  ULONG_PTR reserved;
  Entry entries[1];
};
struct TypeName {
  USHORT length;
  USHORT maximumLength;
  PWSTR buffer;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const DWORD pid = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 0));
  using QuerySystem = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  using QueryObject = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto querySystem =
      reinterpret_cast<QuerySystem>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQuerySystemInformation")));
  const auto queryObject =
      reinterpret_cast<QueryObject>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtQueryObject")));
  if (!querySystem || !queryObject) return 1;
  std::vector<unsigned char> buffer(1 << 22);
  ULONG needed = 0;
  if (querySystem(64, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) < 0) return 1;
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  HANDLE process = ::OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid);
  if (!process) return 1;
  int threads = 0;
  int ended = 0;
  int otherProcess = 0;
  std::string items;
  for (ULONG_PTR i = 0; i < table->count; ++i) {
    if (table->entries[i].processId != pid) continue;
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(process, reinterpret_cast<HANDLE>(table->entries[i].handle), ::GetCurrentProcess(), &copy,
                           0, FALSE, DUPLICATE_SAME_ACCESS)) {
      continue;
    }
    alignas(8) unsigned char typeInfo[1024] = {};
    bool isThread = false;
    if (queryObject(copy, 2, typeInfo, sizeof typeInfo, nullptr) >= 0) {
      const auto* name = reinterpret_cast<const TypeName*>(typeInfo);
      isThread = name->buffer && std::wstring(name->buffer, name->length / sizeof(wchar_t)) == L"Thread";
    }
    if (isThread) {
      ++threads;
      DWORD code = 0;
      const bool gone = ::GetExitCodeThread(copy, &code) && code != STILL_ACTIVE;
      const DWORD owner = ::GetProcessIdOfThread(copy);
      ended += gone;
      otherProcess += owner != pid;
      char item[96];
      std::snprintf(item, sizeof item, "%s[%lu,%lu,%d]", items.empty() ? "" : ",", static_cast<unsigned long>(owner),
                    static_cast<unsigned long>(::GetThreadId(copy)), gone ? 1 : 0);
      items += item;
    }
    ::CloseHandle(copy);
  }
  ::CloseHandle(process);
  std::printf("{\"threads\": %d, \"ended\": %d, \"other_process\": %d, \"items\": [%s]}\n", threads, ended,
              otherProcess, items.c_str());
  return 0;
}
