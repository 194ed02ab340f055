#include "notify/SmtpPlatform_win.h"

#include <atomic>
#include <cstdio>

#include "core/Gbk_win.h"
#include "notify/SmtpSocket_win.h"
#include "notify/SmtpTls_win.h"

namespace uptorra {

namespace {

constexpr int kTlsCloseTimeoutMs = 500;

class WinsockChannel : public SmtpChannel {
 public:
  WinsockChannel(std::string host, TlsReport& report) : host_(std::move(host)), report_(report) {}
  ~WinsockChannel() override {
    if (tls_) tls_->Shutdown(tcp_, kTlsCloseTimeoutMs);
  }

  TcpConnection& tcp() { return tcp_; }

  IoResult Write(std::string_view bytes, int timeoutMs) override {
    if (broken_) return IoResult::Failed;
    return tls_ ? tls_->Write(tcp_, bytes, timeoutMs) : tcp_.Send(bytes, timeoutMs);
  }

  IoResult Read(std::string& appendTo, int timeoutMs) override {
    if (broken_) return IoResult::Failed;
    return tls_ ? tls_->Read(tcp_, appendTo, timeoutMs) : tcp_.Receive(appendTo, timeoutMs);
  }

  bool StartTls(int timeoutMs) override {
    if (tls_ || broken_) return false;
    auto session = std::make_unique<TlsSession>();
    const bool ok = session->Handshake(tcp_, host_, timeoutMs);
    report_.attempted = true;
    report_.succeeded = ok;
    report_.protocol = session->protocol();
    report_.certificateError = session->certificateError();
    report_.status = session->lastStatus();
    if (!ok) {
      broken_ = true;  // half a handshake: nothing sensible can follow on this connection
      return false;
    }
    tls_ = std::move(session);
    return true;
  }

  bool IsEncrypted() const override { return tls_ != nullptr; }
  std::string HelloName() const override { return tcp_.LocalAddressLiteral(); }

 private:
  std::string host_;
  TlsReport& report_;
  TcpConnection tcp_;
  std::unique_ptr<TlsSession> tls_;
  bool broken_ = false;
};

}  // namespace

std::unique_ptr<SmtpChannel> WindowsSmtpPlatform::Open(const std::string& host, int port, bool implicitTls,
                                                       int timeoutMs, SmtpFailure& failure) {
  lastTls_ = TlsReport();
  auto channel = std::make_unique<WinsockChannel>(host, lastTls_);
  if (!channel->tcp().Connect(host, port, timeoutMs)) {
    failure = SmtpFailure::ConnectFailed;
    return nullptr;
  }
  if (implicitTls && !channel->StartTls(timeoutMs)) {
    failure = SmtpFailure::TlsFailed;
    return nullptr;
  }
  return channel;
}

std::string WindowsSmtpPlatform::Utf8FromGbk(std::string_view text) {
  const std::wstring wide = WideFromGbk(text);
  if (wide.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
  if (size <= 0) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

MailDate WindowsSmtpPlatform::Now() {
  SYSTEMTIME local;
  ::GetLocalTime(&local);
  TIME_ZONE_INFORMATION zone;
  const DWORD which = ::GetTimeZoneInformation(&zone);
  // Bias is UTC minus local time, in minutes; the daylight or standard part adds to it.
  LONG bias = zone.Bias;
  if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  if (which == TIME_ZONE_ID_INVALID) bias = 0;
  MailDate date;
  date.year = local.wYear;
  date.month = local.wMonth;
  date.day = local.wDay;
  date.weekday = local.wDayOfWeek;
  date.hour = local.wHour;
  date.minute = local.wMinute;
  date.second = local.wSecond;
  date.utcOffsetMinutes = -static_cast<int>(bias);
  return date;
}

std::string WindowsSmtpPlatform::UniqueToken() {
  static std::atomic<unsigned> counter{0};
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER ticks;
  ::QueryPerformanceCounter(&ticks);
  char text[96];
  std::snprintf(text, sizeof text, "%08lx%08lx.%lx.%llx.%x", now.dwHighDateTime, now.dwLowDateTime,
                ::GetCurrentProcessId(), static_cast<unsigned long long>(ticks.QuadPart), counter.fetch_add(1));
  return std::string("uptorra.") + text;
}

}  // namespace uptorra
