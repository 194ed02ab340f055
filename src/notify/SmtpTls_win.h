#pragma once
// TLS for the mail client through the system's SChannel, over a TcpConnection. The server's
// certificate is checked by us after the handshake (chain to a trusted root, usable for server
// authentication, issued to the host name we connected to), the same way on every Windows and
// under Wine, whose SChannel does no check of its own.
#define SECURITY_WIN32
// SCH_CREDENTIALS is declared only with SCHANNEL_USE_BLACKLISTS, and needs UNICODE_STRING.
#define SCHANNEL_USE_BLACKLISTS
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <subauth.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>

#include <string>
#include <string_view>

#include "notify/SmtpSocket_win.h"

namespace uptorra {

class TlsSession {
 public:
  TlsSession() = default;
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Client handshake for host within timeoutMs, then the certificate check. False on any
  // failure; the connection is then of no further use.
  bool Handshake(TcpConnection& tcp, const std::string& host, int timeoutMs);

  IoResult Write(TcpConnection& tcp, std::string_view bytes, int timeoutMs);
  // Appends the next decrypted bytes, at least one when Ok; Closed after the server's close_notify.
  IoResult Read(TcpConnection& tcp, std::string& appendTo, int timeoutMs);
  // Sends close_notify, best effort.
  void Shutdown(TcpConnection& tcp, int timeoutMs);

  bool established() const { return established_; }
  // What the last handshake ended with, for tests and diagnostics: the SP_PROT_* protocol, the
  // last SChannel status and the certificate policy's error (0 when the certificate was good).
  DWORD protocol() const { return protocol_; }
  SECURITY_STATUS lastStatus() const { return lastStatus_; }
  DWORD certificateError() const { return certificateError_; }

 private:
  struct Credentials {
    CredHandle handle{};
    bool valid = false;
    ~Credentials();
  };
  struct Context {
    CtxtHandle handle{};
    bool valid = false;
    ~Context();
  };

  bool AcquireCredentials();
  bool HandshakeLoop(TcpConnection& tcp, ULONGLONG deadline, bool readFirst);
  bool VerifyServerCertificate();

  Credentials credentials_;
  Context context_;
  std::wstring target_;
  std::string incoming_;  // received bytes not yet consumed by SChannel
  SecPkgContext_StreamSizes sizes_{};
  bool established_ = false;
  bool closedByPeer_ = false;
  DWORD protocol_ = 0;
  SECURITY_STATUS lastStatus_ = SEC_E_OK;
  DWORD certificateError_ = 0;
};

// "TLS 1.2" and so on, for messages and test output.
const char* TlsProtocolName(DWORD protocol);

}  // namespace uptorra
