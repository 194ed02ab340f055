#pragma once
// A fresh folder under the system temp folder, removed with its files at the end of the test.
#include <windows.h>

#include <atomic>
#include <string>

#include "core/Gbk_win.h"
#include "core/Text.h"

namespace uptorra::test {

class TempDir {
 public:
  // suffix may hold GBK text, so paths with Chinese names get exercised.
  explicit TempDir(const Text& suffix = "uptorra") {
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    path_ = GbkFromWide(base) + "ut-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(counter.fetch_add(1)) + "-" + suffix;
    ::CreateDirectoryW(WideFromGbk(path_).c_str(), nullptr);
  }
  ~TempDir() { RemoveTree(WideFromGbk(path_)); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const Text& path() const { return path_; }
  Text File(const Text& name) const { return path_ + "\\" + name; }

 private:
  static void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = dir + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(full);
        } else {
          ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
          ::DeleteFileW(full.c_str());
        }
      } while (::FindNextFileW(find, &data));
      ::FindClose(find);
    }
    ::RemoveDirectoryW(dir.c_str());
  }
  Text path_;
};

}  // namespace uptorra::test
