#pragma once
// Reading the controls of a window that belongs to another process, the way test tools and
// accessibility tools do: messages whose answers are plain numbers go straight to the window;
// messages that fill a structure get a buffer allocated inside the other process
// (VirtualAllocEx), and the answer is read back with ReadProcessMemory.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace uptorra::test {

// UTF-16 and UTF-8, for tools that print JSON.
inline std::string Utf8FromWide(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), bytes, nullptr, nullptr);
  return out;
}

inline std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
  if (units > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), units);
  return out;
}

// Up to this long a message may take before the other window counts as hung.
inline constexpr UINT kRemoteMessageTimeoutMs = 5000;

// SendMessage with a deadline: a tool must never hang on a program that stopped answering.
inline LRESULT SendWithTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool* ok = nullptr) {
  DWORD_PTR result = 0;
  const bool done = ::SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                          kRemoteMessageTimeoutMs, &result) != 0;
  if (ok) *ok = done;
  return done ? static_cast<LRESULT>(result) : 0;
}

// Text of a window in any process (WM_GETTEXT is carried across processes by the system).
inline std::wstring RemoteWindowText(HWND hwnd) {
  const LRESULT length = SendWithTimeout(hwnd, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = SendWithTimeout(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

inline std::wstring ClassNameOf(HWND hwnd) {
  wchar_t name[256] = {};
  const int length = ::GetClassNameW(hwnd, name, 256);
  return std::wstring(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

// Memory inside another process, freed with the object.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, std::size_t size) : size_(size) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                             FALSE, pid);
    if (process_) address_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) ::CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool valid() const { return address_ != nullptr; }
  // The address inside the other process, plus an offset.
  template <typename T = void>
  T* At(std::size_t offset = 0) const {
    return reinterpret_cast<T*>(static_cast<char*>(address_) + offset);
  }
  LPARAM Param(std::size_t offset = 0) const { return reinterpret_cast<LPARAM>(At(offset)); }

  bool Write(const void* data, std::size_t size, std::size_t offset = 0) const {
    SIZE_T written = 0;
    return offset + size <= size_ && ::WriteProcessMemory(process_, At(offset), data, size, &written) && written == size;
  }
  bool Read(void* data, std::size_t size, std::size_t offset = 0) const {
    SIZE_T read = 0;
    return offset + size <= size_ && ::ReadProcessMemory(process_, At(offset), data, size, &read) && read == size;
  }
  std::wstring ReadText(std::size_t offset, std::size_t maxUnits) const {
    std::wstring text(maxUnits, L'\0');
    if (!Read(text.data(), maxUnits * sizeof(wchar_t), offset)) return {};
    text.resize(wcsnlen(text.c_str(), maxUnits));
    return text;
  }

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
  std::size_t size_;
};

inline constexpr std::size_t kRemoteTextUnits = 1024;

// A list-view cell's text.
inline std::wstring ListViewCellText(HWND list, int row, int column) {
  RemoteBuffer buffer(list, sizeof(LVITEMW) + kRemoteTextUnits * sizeof(wchar_t));
  if (!buffer.valid()) return {};
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = buffer.At<wchar_t>(sizeof(LVITEMW));
  item.cchTextMax = static_cast<int>(kRemoteTextUnits);
  buffer.Write(&item, sizeof item);
  const LRESULT length = SendWithTimeout(list, LVM_GETITEMTEXTW, row, buffer.Param());
  return length > 0 ? buffer.ReadText(sizeof(LVITEMW), kRemoteTextUnits) : std::wstring();
}

// A list-view cell's image index (-1 none; I_IMAGENONE counts as none).
inline int ListViewCellImage(HWND list, int row, int column) {
  RemoteBuffer buffer(list, sizeof(LVITEMW));
  if (!buffer.valid()) return -1;
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  item.iSubItem = column;
  item.iImage = -1;
  buffer.Write(&item, sizeof item);
  if (!SendWithTimeout(list, LVM_GETITEMW, 0, buffer.Param())) return -1;
  buffer.Read(&item, sizeof item);
  return item.iImage >= 0 ? item.iImage : -1;
}

struct RemoteColumn {
  std::wstring title;
  int width = 0;
  int format = 0;
};

inline std::vector<RemoteColumn> ListViewColumns(HWND list) {
  std::vector<RemoteColumn> columns;
  HWND header = reinterpret_cast<HWND>(SendWithTimeout(list, LVM_GETHEADER, 0, 0));
  const int count = header ? static_cast<int>(SendWithTimeout(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
  RemoteBuffer buffer(list, sizeof(LVCOLUMNW) + kRemoteTextUnits * sizeof(wchar_t));
  if (!buffer.valid()) return columns;
  for (int i = 0; i < count; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.pszText = buffer.At<wchar_t>(sizeof(LVCOLUMNW));
    column.cchTextMax = static_cast<int>(kRemoteTextUnits);
    buffer.Write(&column, sizeof column);
    RemoteColumn out;
    if (SendWithTimeout(list, LVM_GETCOLUMNW, i, buffer.Param())) {
      buffer.Read(&column, sizeof column);
      out.title = buffer.ReadText(sizeof(LVCOLUMNW), kRemoteTextUnits);
      out.width = column.cx;
      out.format = column.fmt;
    }
    columns.push_back(out);
  }
  return columns;
}

// A rectangle that a message writes (LVM_GETITEMRECT, HDM_GETITEMRECT...): in is what the
// message expects in the rectangle beforehand.
inline bool RemoteRect(HWND window, UINT message, WPARAM wParam, RECT in, RECT& out) {
  RemoteBuffer buffer(window, sizeof(RECT));
  if (!buffer.valid() || !buffer.Write(&in, sizeof in)) return false;
  if (!SendWithTimeout(window, message, wParam, buffer.Param())) return false;
  return buffer.Read(&out, sizeof out);
}

inline std::wstring StatusBarText(HWND bar, int pane) {
  const LRESULT length = LOWORD(SendWithTimeout(bar, SB_GETTEXTLENGTHW, pane, 0));
  RemoteBuffer buffer(bar, (static_cast<std::size_t>(length) + 1) * sizeof(wchar_t));
  if (!buffer.valid()) return {};
  SendWithTimeout(bar, SB_GETTEXTW, pane, buffer.Param());
  return buffer.ReadText(0, static_cast<std::size_t>(length) + 1);
}

inline std::vector<int> StatusBarParts(HWND bar) {
  constexpr int kMaxParts = 256;
  RemoteBuffer buffer(bar, kMaxParts * sizeof(int));
  if (!buffer.valid()) return {};
  const int count = static_cast<int>(SendWithTimeout(bar, SB_GETPARTS, kMaxParts, buffer.Param()));
  std::vector<int> parts(static_cast<std::size_t>(count > 0 ? count : 0));
  if (!parts.empty()) buffer.Read(parts.data(), parts.size() * sizeof(int));
  return parts;
}

// The text of the first tool of a tooltip window.
inline std::wstring TooltipText(HWND tooltip) {
  RemoteBuffer buffer(tooltip, sizeof(TTTOOLINFOW) + kRemoteTextUnits * sizeof(wchar_t));
  if (!buffer.valid()) return {};
  TTTOOLINFOW info{};
  info.cbSize = sizeof info;
  info.lpszText = buffer.At<wchar_t>(sizeof(TTTOOLINFOW));
  buffer.Write(&info, sizeof info);
  if (!SendWithTimeout(tooltip, TTM_ENUMTOOLSW, 0, buffer.Param())) return {};
  return buffer.ReadText(sizeof(TTTOOLINFOW), kRemoteTextUnits);
}

}  // namespace uptorra::test
