#include "notify/SmtpSocket_win.h"

#include <algorithm>

namespace uptorra {

namespace {

struct AddrInfoTraits {
  static ADDRINFOW* Invalid() noexcept { return nullptr; }
  static void Close(ADDRINFOW* info) noexcept { ::FreeAddrInfoW(info); }
};
using UniqueAddrInfo = UniqueAny<ADDRINFOW*, AddrInfoTraits>;

int MillisecondsLeft(ULONGLONG deadline) {
  const ULONGLONG now = ::GetTickCount64();
  return now >= deadline ? 0 : static_cast<int>(deadline - now);
}

timeval TimevalOf(int ms) {
  timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return tv;
}

// The host names pass IsUsableServerName first, so they are ASCII.
std::wstring WideOfAscii(std::string_view text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

TcpConnection::Wait TcpConnection::WaitFor(bool forWrite, int timeoutMs) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket_.get(), &ready);
  FD_SET(socket_.get(), &failed);
  timeval tv = TimevalOf(std::max(timeoutMs, 0));
  // The exception set only for writes: that is where a non-blocking connect reports failure.
  const int n = ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, forWrite ? &failed : nullptr, &tv);
  if (n == SOCKET_ERROR) {
    lastError_ = static_cast<DWORD>(::WSAGetLastError());
    return Wait::Failed;
  }
  if (n == 0) return Wait::TimedOut;
  if (forWrite && FD_ISSET(socket_.get(), &failed)) {
    int error = 0;
    int size = sizeof error;
    ::getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
    lastError_ = static_cast<DWORD>(error ? error : WSAECONNREFUSED);
    return Wait::Failed;
  }
  return Wait::Ready;
}

bool TcpConnection::Connect(const std::string& host, int port, int timeoutMs) {
  if (!winsock_.ok()) return false;
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  UniqueAddrInfo found;
  const int resolved = ::GetAddrInfoW(WideOfAscii(host).c_str(), std::to_wstring(port).c_str(), &hints, found.put());
  if (resolved != 0) {
    lastError_ = static_cast<DWORD>(resolved);
    return false;
  }
  for (const ADDRINFOW* ai = found.get(); ai; ai = ai->ai_next) {
    UniqueSocket s(::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol));
    if (!s) {
      lastError_ = static_cast<DWORD>(::WSAGetLastError());
      continue;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s.get(), FIONBIO, &nonBlocking);
    if (::connect(s.get(), ai->ai_addr, static_cast<int>(ai->ai_addrlen)) == 0) {
      socket_ = std::move(s);
      return true;
    }
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      lastError_ = static_cast<DWORD>(error);
      continue;
    }
    socket_ = std::move(s);
    const Wait wait = WaitFor(true, MillisecondsLeft(deadline));
    if (wait == Wait::Ready) return true;
    socket_.reset();
    if (wait == Wait::TimedOut) {
      lastError_ = WSAETIMEDOUT;
      return false;  // the time is used up; the next address would not get any
    }
  }
  return false;
}

IoResult TcpConnection::Send(std::string_view bytes, int timeoutMs) {
  if (!socket_) return IoResult::Failed;
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
  while (!bytes.empty()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
    const int sent = ::send(socket_.get(), bytes.data(), chunk, 0);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      lastError_ = static_cast<DWORD>(error);
      return error == WSAECONNRESET || error == WSAECONNABORTED ? IoResult::Closed : IoResult::Failed;
    }
    const Wait wait = WaitFor(true, MillisecondsLeft(deadline));
    if (wait == Wait::TimedOut) return IoResult::TimedOut;
    if (wait == Wait::Failed) return IoResult::Failed;
  }
  return IoResult::Ok;
}

IoResult TcpConnection::Receive(std::string& appendTo, int timeoutMs) {
  if (!socket_) return IoResult::Failed;
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
  char buffer[16384];
  for (;;) {
    const int got = ::recv(socket_.get(), buffer, sizeof buffer, 0);
    if (got > 0) {
      appendTo.append(buffer, static_cast<std::size_t>(got));
      return IoResult::Ok;
    }
    if (got == 0) return IoResult::Closed;
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      lastError_ = static_cast<DWORD>(error);
      return error == WSAECONNRESET || error == WSAECONNABORTED ? IoResult::Closed : IoResult::Failed;
    }
    const Wait wait = WaitFor(false, MillisecondsLeft(deadline));
    if (wait == Wait::TimedOut) return IoResult::TimedOut;
    if (wait == Wait::Failed) return IoResult::Failed;
  }
}

std::string TcpConnection::LocalAddressLiteral() const {
  sockaddr_storage local{};
  int size = sizeof local;
  if (socket_ && ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &size) == 0) {
    char text[INET6_ADDRSTRLEN] = {};
    if (local.ss_family == AF_INET) {
      const auto* v4 = reinterpret_cast<const sockaddr_in*>(&local);
      if (::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text)) return std::string("[") + text + "]";
    } else if (local.ss_family == AF_INET6) {
      const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&local);
      if (::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text)) return std::string("[IPv6:") + text + "]";
    }
  }
  return "[127.0.0.1]";
}

}  // namespace uptorra
