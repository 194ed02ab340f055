#include "core/Config_win.h"

#include <windows.h>

#include "core/FileIo.h"
#include "core/Gbk_win.h"
#include "core/UniqueHandle_win.h"

namespace uptorra {

namespace {

// The A profile functions take the path in the ANSI code page, which is 936 only on a Chinese
// Windows. A GBK path that the ANSI code page cannot carry is handed over in its short (8.3)
// form, whose names are ASCII; the file name itself is always ASCII here.
std::string AnsiPathOf(const Text& path) {
  const std::wstring wide = WideFromGbk(path);
  BOOL lossy = FALSE;
  const int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()),
                                          nullptr, 0, nullptr, &lossy);
  if (bytes > 0 && !lossy) {
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()), ansi.data(),
                          bytes, nullptr, nullptr);
    return ansi;
  }
  const std::size_t slash = wide.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? std::wstring(L".") : wide.substr(0, slash);
  const std::wstring file = slash == std::wstring::npos ? wide : wide.substr(slash + 1);
  wchar_t shortFolder[MAX_PATH];
  const DWORD len = ::GetShortPathNameW(folder.c_str(), shortFolder, MAX_PATH);
  if (len == 0 || len >= MAX_PATH) return path;  // best effort: the bytes as they are
  return GbkFromWide(std::wstring(shortFolder, len) + L"\\" + file);
}

}  // namespace

Text ReadProfileText(const Text& path, std::string_view section, std::string_view key) {
  std::string buffer(kProfileBufferSize, '\0');
  const std::string ansiPath = AnsiPathOf(path);
  const DWORD len = ::GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(), "",
                                               buffer.data(), static_cast<DWORD>(buffer.size()), ansiPath.c_str());
  buffer.resize(len);
  return buffer;
}

bool WriteProfileText(const Text& path, std::string_view section, std::string_view key, std::string_view value) {
  const std::string ansiPath = AnsiPathOf(path);
  return ::WritePrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                      std::string(value).c_str(), ansiPath.c_str()) != FALSE;
}

void WriteDefaultConfig(const Text& path) {
  WriteProfileText(path, kPushSection, kAppTokenKey, "");
  WriteProfileText(path, kPushSection, kTopicIdKey, "");
  WriteProfileText(path, kMailSection, kMailServerKey, "smtp.example.com(示例)");
  WriteProfileText(path, kMailSection, kMailPortKey, "25(示例)");
  WriteProfileText(path, kMailSection, kMailSenderKey, "monitor@example.com(示例)");
  WriteProfileText(path, kMailSection, kMailNicknameKey, "KWO提醒助手(示例)");
  WriteProfileText(path, kMailSection, kMailPasswordKey, "MoNpQrS(示例)");
  WriteProfileText(path, kMailSection, kMailRecipientKey, "operator@example.com(示例)");
}

bool RegistryFirstRun::IsMarked() {
  for (HKEY root : roots_) {
    UniqueRegKey key;
    if (::RegOpenKeyExA(root, subKey_, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) continue;
    if (::RegQueryValueExA(key.get(), kFirstRunValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) return true;
  }
  return false;
}

void RegistryFirstRun::Mark() {
  static const char kOne[] = "1";
  for (HKEY root : roots_) {
    UniqueRegKey key;
    if (::RegCreateKeyExA(root, subKey_, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS) {
      continue;
    }
    if (::RegSetValueExA(key.get(), kFirstRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(kOne), sizeof(kOne)) ==
        ERROR_SUCCESS) {
      return;
    }
  }
}

}  // namespace uptorra
