#pragma once
// One-line RAII owners for Windows handles, in the manner of wil's unique_any: the owner closes
// its handle once, on destruction or reset, and can be moved but not copied.
#include <windows.h>
#include <wininet.h>

#include <utility>

namespace uptorra {

template <typename T, typename Traits>
class UniqueAny {
 public:
  UniqueAny() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueAny(T value) noexcept : value_(value) {}
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }
  T release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void reset(T value = Traits::Invalid()) noexcept {
    const T old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  // For APIs that return the handle through a pointer.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_;
};

struct KernelHandleTraits {
  static HANDLE Invalid() noexcept { return nullptr; }
  static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct RegKeyTraits {
  static HKEY Invalid() noexcept { return nullptr; }
  static void Close(HKEY h) noexcept { ::RegCloseKey(h); }
};

struct InternetHandleTraits {
  static HINTERNET Invalid() noexcept { return nullptr; }
  static void Close(HINTERNET h) noexcept { ::InternetCloseHandle(h); }
};

using UniqueHandle = UniqueAny<HANDLE, KernelHandleTraits>;      // events, threads, timers...
using UniqueFileHandle = UniqueAny<HANDLE, FileHandleTraits>;    // CreateFile results
using UniqueRegKey = UniqueAny<HKEY, RegKeyTraits>;
using UniqueInternetHandle = UniqueAny<HINTERNET, InternetHandleTraits>;  // WinINet sessions, connections, requests

}  // namespace uptorra
