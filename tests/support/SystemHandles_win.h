#pragma once
// The handles another process holds, read from the system's handle table, for the test tools
// that count them: under Wine, GetProcessHandleCount gives nothing for another process.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/UniqueHandle_win.h"

namespace uptorra::test {

struct SystemHandle {
  ULONG_PTR handle;  // its value in the owning process
  USHORT type;       // the object type's index (same index, same type)
};

namespace system_handles_detail {

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
struct TypeName {  // the start of OBJECT_TYPE_INFORMATION
  USHORT length;
  USHORT maximumLength;
  PWSTR buffer;
};

template <typename Function>
Function NtdllFunction(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

}  // namespace system_handles_detail

// Every handle of process pid; nothing when the table cannot be read.
inline std::optional<std::vector<SystemHandle>> HandlesOfProcess(DWORD pid) {
  using namespace system_handles_detail;
  constexpr ULONG kSystemExtendedHandleInformation = 64;
  constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
  using QuerySystem = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  const auto querySystem = NtdllFunction<QuerySystem>("NtQuerySystemInformation");
  if (!querySystem) return std::nullopt;
  std::vector<unsigned char> buffer(1 << 20);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status =
        querySystem(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) {
      buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 65536));
      continue;
    }
    if (status < 0) return std::nullopt;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    std::vector<SystemHandle> handles;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
      if (table->entries[i].processId == pid) handles.push_back({table->entries[i].handle, table->entries[i].type});
    }
    return handles;
  }
  return std::nullopt;
}

// A copy of another process's handle (the process opened with PROCESS_DUP_HANDLE).
inline UniqueHandle DuplicateFrom(HANDLE process, ULONG_PTR handle) {
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(process, reinterpret_cast<HANDLE>(handle), ::GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    return UniqueHandle();
  }
  return UniqueHandle(copy);
}

// The type name of the object behind a handle ("Thread", "Event", ...); empty when unknown.
inline std::wstring ObjectTypeName(HANDLE object) {
  using namespace system_handles_detail;
  constexpr ULONG kObjectTypeInformation = 2;
  using QueryObject = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  const auto queryObject = NtdllFunction<QueryObject>("NtQueryObject");
  alignas(8) unsigned char typeInfo[1024] = {};
  if (!queryObject || queryObject(object, kObjectTypeInformation, typeInfo, sizeof typeInfo, nullptr) < 0) return {};
  const auto* name = reinterpret_cast<const TypeName*>(typeInfo);
  return name->buffer ? std::wstring(name->buffer, name->length / sizeof(wchar_t)) : std::wstring();
}

}  // namespace uptorra::test
