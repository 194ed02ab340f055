#include "core/TcpProbe_win.h"

#include "core/HostAddress_win.h"

namespace uptorra {
namespace {

class UniqueSocket {
 public:
  explicit UniqueSocket(SOCKET s) : s_(s) {}
  ~UniqueSocket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  UniqueSocket(const UniqueSocket&) = delete;
  UniqueSocket& operator=(const UniqueSocket&) = delete;
  SOCKET get() const { return s_; }

 private:
  SOCKET s_;
};

constexpr std::int32_t kMaxPort = 65535;

}  // namespace

bool TcpPortProbe(std::int32_t port, const Text& host, std::int32_t timeoutMs) {
  if (port < 1 || port > kMaxPort) return false;  // htons would wrap 65616 round to 80
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<u_short>(port));
  if (!ResolveIpv4(host, target.sin_addr)) return false;

  UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (s.get() == INVALID_SOCKET) return false;
  u_long nonBlocking = 1;
  if (ioctlsocket(s.get(), FIONBIO, &nonBlocking) != 0) return false;
  if (connect(s.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) return true;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return false;

  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s.get(), &writable);
  FD_SET(s.get(), &failed);
  const std::int32_t ms = timeoutMs < 0 ? 0 : timeoutMs;
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  if (select(0, nullptr, &writable, &failed, &limit) != 1 || !FD_ISSET(s.get(), &writable)) return false;
  int error = 0;
  int length = sizeof error;
  if (getsockopt(s.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) return false;
  return error == 0;
}

}  // namespace uptorra
