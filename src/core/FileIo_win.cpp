#include "core/FileIo.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>

#include "core/Gbk_win.h"
#include "core/UniqueHandle_win.h"

namespace uptorra {

bool FileExists(const Text& path) {
  const DWORD attributes = ::GetFileAttributesW(WideFromGbk(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWholeFile(const Text& path, Bytes& out) {
  out.clear();
  UniqueFileHandle file(::CreateFileW(WideFromGbk(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return false;
  out.resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < out.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 30));
    DWORD read = 0;
    if (!::ReadFile(file.get(), out.data() + done, chunk, &read, nullptr)) {
      out.clear();
      return false;
    }
    if (read == 0) break;  // the file shrank under us: keep what is there
    done += read;
  }
  out.resize(done);
  return true;
}

bool ReplaceFileAtomically(const Text& path, std::string_view content) {
  static std::atomic<unsigned> sequence{0};
  const std::wstring target = WideFromGbk(path);
  if (target.empty()) return false;
  // The temporary file lives in the same folder, so the final rename never crosses volumes.
  const std::wstring temp = target + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
                            std::to_wstring(sequence.fetch_add(1)) + L".tmp";
  {
    UniqueFileHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 30));
      DWORD written = 0;
      ok = ::WriteFile(file.get(), content.data() + done, chunk, &written, nullptr) && written > 0;
      done += written;
    }
    // The data must be on disk before the rename makes it the file's content.
    if (!ok || !::FlushFileBuffers(file.get())) {
      file.reset();
      ::DeleteFileW(temp.c_str());
      return false;
    }
  }
  if (!::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temp.c_str());
    return false;
  }
  return true;
}

int RemoveStaleTemporaries(const Text& path) {
  const std::wstring target = WideFromGbk(path);
  if (target.empty()) return 0;
  const std::wstring folder = target.substr(0, target.find_last_of(L"\\/") + 1);
  int removed = 0;
  WIN32_FIND_DATAW data;
  const HANDLE find = ::FindFirstFileW((target + L".*.tmp").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    // The name after "<file>." is "<pid>.<n>.tmp"; only that shape is ours to remove.
    const std::wstring name = data.cFileName;
    const std::wstring rest = name.substr(target.size() - folder.size() + 1);
    const std::size_t dot = rest.find(L'.');
    if (dot == 0 || dot == std::wstring::npos || rest.find_first_not_of(L"0123456789") != dot) continue;
    const DWORD pid = static_cast<DWORD>(std::wcstoul(rest.c_str(), nullptr, 10));
    if (pid == ::GetCurrentProcessId()) continue;
    UniqueHandle owner(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (owner && ::WaitForSingleObject(owner.get(), 0) == WAIT_TIMEOUT) continue;  // still running
    if (::DeleteFileW((folder + name).c_str())) ++removed;
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  return removed;
}

Text FolderOf(const Text& path) {
  std::size_t slash = Text::npos;
  for (std::size_t pos = 0; pos < path.size(); pos += GbkCharLength(path, pos)) {
    if (path[pos] == '\\' || path[pos] == '/') slash = pos;
  }
  return slash == Text::npos ? Text() : path.substr(0, slash);
}

}  // namespace uptorra
