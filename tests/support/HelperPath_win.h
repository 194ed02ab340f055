#pragma once
// Helper programs (tests/tools) are built next to the test executables.
#include <windows.h>

#include <string>

namespace uptorra::test {

// The full path of the helper program `name` beside the running executable.
inline std::wstring HelperPath(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

}  // namespace uptorra::test
