#include "core/HostAddress_win.h"

#include <ws2tcpip.h>

#include <mutex>

#include "core/Gbk_win.h"

namespace uptorra {

bool EnsureWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

bool ResolveIpv4(const Text& host, IN_ADDR& address) {
  if (!EnsureWinsock()) return false;
  if (host.empty()) {
    address.s_addr = htonl(INADDR_LOOPBACK);
    return true;
  }
  const unsigned long dotted = inet_addr(host.c_str());
  if (dotted != INADDR_NONE) {
    address.s_addr = dotted;
    return true;
  }
  // The wide lookup: the row's text is GBK whatever the system's ANSI code page is.
  const std::wstring name = WideFromGbk(host);
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  if (GetAddrInfoW(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  bool ok = false;
  for (const ADDRINFOW* it = found; it != nullptr; it = it->ai_next) {
    if (it->ai_family == AF_INET && it->ai_addr != nullptr) {
      address = reinterpret_cast<const sockaddr_in*>(it->ai_addr)->sin_addr;
      ok = true;
      break;
    }
  }
  FreeAddrInfoW(found);
  return ok;
}

}  // namespace uptorra
