#include "notify/Charset.h"

#include <windows.h>
#include <mlang.h>
#include <oleauto.h>

#include <cstring>
#include <map>
#include <mutex>

#include "core/Gbk_win.h"

namespace uptorra {

namespace {

// Not in MinGW's libuuid; the values are those of mlang.idl.
constexpr GUID kClsidMultiLanguage = {0x275c23e2, 0x3747, 0x11d0, {0x9f, 0xea, 0x00, 0xaa, 0x00, 0x3f, 0x86, 0x46}};
constexpr GUID kIidMultiLanguage2 = {0xdccfc164, 0x2b38, 0x11d2, {0xb7, 0xec, 0x00, 0xc0, 0x4f, 0x8f, 0x5d, 0x9a}};

constexpr UINT kUtf16LeCodePage = 1200;
constexpr UINT kUtf16BeCodePage = 1201;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

// COM for the duration of one call. A thread already in the multithreaded apartment answers
// RPC_E_CHANGED_MODE: MLang works there as well, and that initialisation is not ours to undo.
class ComScope {
 public:
  ComScope() : hr_(::CoInitialize(nullptr)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (ptr_) ptr_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* get() const { return ptr_; }
  void** put() { return reinterpret_cast<void**>(&ptr_); }

 private:
  T* ptr_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(const std::wstring& text) : value_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { ::SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

// The code page of a charset name, as the system's MIME database knows it.
bool LookUpCodePage(IMultiLanguage2* mlang, std::string_view name, UINT& codePage) {
  const Bstr bstr(WideFromGbk(name));
  if (!bstr.get()) return false;
  MIMECSETINFO info{};
  if (FAILED(mlang->GetCharsetInfo(bstr.get(), &info)) || info.uiInternetEncoding == 0) return false;
  codePage = info.uiInternetEncoding;
  return true;
}

// Names already looked up. Starting COM and the MLang object costs about 10 ms a call under
// Wine, a third of a whole alert; the database does not change while we run.
class CodePageCache {
 public:
  bool Find(std::string_view name, UINT& codePage) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = codePages_.find(Text(name));
    if (it == codePages_.end()) return false;
    codePage = it->second;
    return true;
  }
  void Add(std::string_view name, UINT codePage) {
    std::lock_guard<std::mutex> lock(mutex_);
    codePages_[Text(name)] = codePage;
  }

 private:
  std::mutex mutex_;
  std::map<Text, UINT> codePages_;
};

CodePageCache& KnownCodePages() {
  static CodePageCache cache;
  return cache;
}

// Both code pages, through the cache or else through MLang (COM for the duration of the look-up).
bool CodePagesOf(std::string_view source, std::string_view target, UINT& sourceCodePage, UINT& targetCodePage) {
  CodePageCache& cache = KnownCodePages();
  if (cache.Find(source, sourceCodePage) && cache.Find(target, targetCodePage)) return true;

  const ComScope com;
  if (!com.usable()) return false;
  ComRef<IMultiLanguage2> mlang;
  if (FAILED(::CoCreateInstance(kClsidMultiLanguage, nullptr, CLSCTX_INPROC_SERVER, kIidMultiLanguage2, mlang.put())) ||
      !mlang.get()) {
    return false;
  }
  if (!LookUpCodePage(mlang.get(), source, sourceCodePage) || !LookUpCodePage(mlang.get(), target, targetCodePage)) {
    return false;  // unknown names are not remembered: they stay a failure anyway
  }
  cache.Add(source, sourceCodePage);
  cache.Add(target, targetCodePage);
  return true;
}

bool StartsWith(std::string_view bytes, std::string_view mark) { return bytes.substr(0, mark.size()) == mark; }

bool Decode(std::string_view bytes, UINT codePage, std::wstring& wide) {
  if (codePage == CP_UTF8 && StartsWith(bytes, kUtf8Mark)) bytes.remove_prefix(kUtf8Mark.size());
  if (codePage == kUtf16LeCodePage || codePage == kUtf16BeCodePage) {
    const std::string_view mark = codePage == kUtf16LeCodePage ? kUtf16LeMark : kUtf16BeMark;
    if (StartsWith(bytes, mark)) bytes.remove_prefix(mark.size());
    const bool bigEndian = codePage == kUtf16BeCodePage;
    wide.resize(bytes.size() / 2);  // an odd last byte is no code unit
    for (std::size_t i = 0; i < wide.size(); ++i) {
      const auto hi = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 0 : 1)]);
      const auto lo = static_cast<unsigned char>(bytes[2 * i + (bigEndian ? 1 : 0)]);
      wide[i] = static_cast<wchar_t>((hi << 8) | lo);
    }
    return true;
  }
  wide.clear();
  if (bytes.empty()) return true;
  const int units = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (units <= 0) return false;
  wide.resize(static_cast<std::size_t>(units));
  return ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), units) == units;
}

bool Encode(const std::wstring& wide, UINT codePage, Bytes& out) {
  out.clear();
  if (codePage == kUtf16LeCodePage || codePage == kUtf16BeCodePage) {
    const bool bigEndian = codePage == kUtf16BeCodePage;
    out = bigEndian ? kUtf16BeMark : kUtf16LeMark;
    for (const wchar_t unit : wide) {
      const char hi = static_cast<char>((unit >> 8) & 0xFF);
      const char lo = static_cast<char>(unit & 0xFF);
      out += bigEndian ? hi : lo;
      out += bigEndian ? lo : hi;
    }
    return true;
  }
  if (codePage == CP_UTF8) out = kUtf8Mark;
  if (wide.empty()) return true;
  const int units = static_cast<int>(wide.size());
  const int size = ::WideCharToMultiByte(codePage, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(size));
  return ::WideCharToMultiByte(codePage, 0, wide.data(), units, out.data() + at, size, nullptr, nullptr) == size;
}

}  // namespace

Bytes TextToUtf8(std::string_view text, std::string_view utf16Bytes) {
  std::wstring wide;
  if (!text.empty()) {
    wide = WideFromGbk(text);
  } else {
    wide.resize(utf16Bytes.size() / sizeof(wchar_t));
    if (!wide.empty()) std::memcpy(wide.data(), utf16Bytes.data(), wide.size() * sizeof(wchar_t));
  }
  if (wide.empty()) return {};
  const int units = static_cast<int>(wide.size());
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  Bytes out(static_cast<std::size_t>(size), '\0');
  if (::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, out.data(), size, nullptr, nullptr) != size) return {};
  return out;
}

Bytes ConvertCharset(std::string_view bytes, std::string_view sourceCharset, std::string_view targetCharset,
                     std::optional<std::int64_t> startPosition) {
  const std::string_view source = sourceCharset.empty() ? kDefaultSourceCharset : sourceCharset;
  const std::string_view target = targetCharset.empty() ? kDefaultTargetCharset : targetCharset;

  UINT sourceCodePage = 0;
  UINT targetCodePage = 0;
  if (!CodePagesOf(source, target, sourceCodePage, targetCodePage)) return {};

  std::wstring wide;
  Bytes out;
  if (!Decode(bytes, sourceCodePage, wide) || !Encode(wide, targetCodePage, out)) return {};
  if (startPosition) {
    if (*startPosition < 0 || static_cast<std::uint64_t>(*startPosition) > out.size()) return {};
    out.erase(0, static_cast<std::size_t>(*startPosition));
  }
  return out;
}

}  // namespace uptorra
