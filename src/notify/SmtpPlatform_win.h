#pragma once
// The mail client on Windows: connections over Winsock with SChannel TLS, GBK to UTF-8 through
// code page 936, the local time with its offset for the Date header.
#include <windows.h>

#include <memory>
#include <string>

#include "notify/SmtpClient.h"

namespace uptorra {

// What the last TLS handshake of a platform ended with; tests read it to tell a refused
// certificate from other failures.
struct TlsReport {
  bool attempted = false;
  bool succeeded = false;
  DWORD protocol = 0;          // SP_PROT_*
  DWORD certificateError = 0;  // 0, or CERT_E_* of the certificate policy
  LONG status = 0;             // the last SECURITY_STATUS
};

class WindowsSmtpPlatform : public SmtpPlatform {
 public:
  std::unique_ptr<SmtpChannel> Open(const std::string& host, int port, bool implicitTls, int timeoutMs,
                                    SmtpFailure& failure) override;
  std::string Utf8FromGbk(std::string_view text) override;
  MailDate Now() override;
  std::string UniqueToken() override;
  std::uint64_t MonotonicMs() override { return ::GetTickCount64(); }

  const TlsReport& lastTls() const { return lastTls_; }

 private:
  TlsReport lastTls_;
};

}  // namespace uptorra
