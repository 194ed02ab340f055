#pragma once
// A TCP connection for the mail client: Winsock in non-blocking mode, every wait bounded.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "core/UniqueHandle_win.h"
#include "notify/SmtpClient.h"

namespace uptorra {

struct SocketTraits {
  static SOCKET Invalid() noexcept { return INVALID_SOCKET; }
  static void Close(SOCKET s) noexcept { ::closesocket(s); }
};
using UniqueSocket = UniqueAny<SOCKET, SocketTraits>;

// WSAStartup for the life of the object (Winsock counts the calls).
class WinsockSession {
 public:
  WinsockSession() {
    WSADATA data;
    ok_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockSession() {
    if (ok_) ::WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

class TcpConnection {
 public:
  // Resolves host and tries its addresses in turn until one accepts; all of it within
  // timeoutMs (the name lookup itself cannot be bounded through getaddrinfo and is not).
  bool Connect(const std::string& host, int port, int timeoutMs);

  IoResult Send(std::string_view bytes, int timeoutMs);
  // Appends what arrives next, at least one byte when Ok.
  IoResult Receive(std::string& appendTo, int timeoutMs);

  // "[192.0.2.7]" or "[IPv6:2001:db8::7]" for the local end; "[127.0.0.1]" when unknown.
  std::string LocalAddressLiteral() const;

  DWORD lastError() const { return lastError_; }

 private:
  enum class Wait { Ready, TimedOut, Failed };
  Wait WaitFor(bool forWrite, int timeoutMs);

  WinsockSession winsock_;
  UniqueSocket socket_;
  DWORD lastError_ = 0;
};

}  // namespace uptorra
