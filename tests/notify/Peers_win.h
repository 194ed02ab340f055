#pragma once
// The local peers of the notification tests (tests/peers): the push-service stand-in (plain
// and TLS) and the forward proxy. CTest starts them (cmake/NotifyPeers.cmake) and names their
// folder in UPTORRA_PEER_DIR; each peer leaves a JSON ready file with its ports there.
//
// The control requests here go over a bare socket, never through the code under test.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "core/FileIo.h"
#include "core/Text.h"

namespace uptorra::test {

struct PeerPorts {
  int port = 0;
  std::vector<int> tlsPorts;
};

// What a peer recorded about one request.
struct RecordedRequest {
  std::string requestLine;
  std::string headers;  // header lines exactly as received, each ending in CR LF
  Bytes body;
  std::string path;  // for the push service: the path after any /_mode/<mode> prefix
  bool tls = false;
};

inline std::string BytesFromHex(const std::string& hex) {
  std::string out;
  out.reserve(hex.size() / 2);
  auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>((nibble(hex[i]) << 4) | nibble(hex[i + 1]));
  }
  return out;
}

// The peer's ready file, or nothing when the tests do not run under the CTest fixture.
inline std::optional<PeerPorts> ReadPeer(const char* name) {
  wchar_t dir[1024];
  const DWORD length = ::GetEnvironmentVariableW(L"UPTORRA_PEER_DIR", dir, 1024);
  if (length == 0 || length >= 1024) return std::nullopt;
  // A Unix path: Wine maps the Unix root to drive Z:.
  std::string path = "Z:";
  for (DWORD i = 0; i < length; ++i) path += dir[i] == L'/' ? '\\' : static_cast<char>(dir[i]);
  path += "\\";
  path += name;
  path += ".json";
  Bytes text;
  if (!ReadWholeFile(path, text)) return std::nullopt;
  const nlohmann::json info = nlohmann::json::parse(text, nullptr, false);
  if (!info.is_object() || !info.contains("port")) return std::nullopt;
  PeerPorts ports;
  ports.port = info["port"].get<int>();
  if (info.contains("tls_ports")) ports.tlsPorts = info["tls_ports"].get<std::vector<int>>();
  return ports;
}

class WinsockSession {
 public:
  WinsockSession() { ::WSAStartup(MAKEWORD(2, 2), &data_); }
  ~WinsockSession() { ::WSACleanup(); }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;

 private:
  WSADATA data_{};
};

// One HTTP/1.0-style exchange with a peer on 127.0.0.1: returns the answer body (empty on
// any failure). Bounded by socket time-outs, so a broken peer cannot hang the tests.
inline std::string PeerExchange(int port, const std::string& method, const std::string& target,
                                const std::string& body = {}) {
  WinsockSession winsock;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return {};
  DWORD timeoutMs = 10000;
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
  ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    ::send(s, request.data(), static_cast<int>(request.size()), 0);
    char buffer[65536];
    for (int got; (got = ::recv(s, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, got);
  }
  ::closesocket(s);
  const std::size_t bodyAt = answer.find("\r\n\r\n");
  return bodyAt == std::string::npos ? std::string() : answer.substr(bodyAt + 4);
}

inline std::vector<RecordedRequest> RecordedRequests(int port) {
  std::vector<RecordedRequest> requests;
  const nlohmann::json list = nlohmann::json::parse(PeerExchange(port, "GET", "/_requests"), nullptr, false);
  if (!list.is_array()) {
    ADD_FAILURE() << "the peer on port " << port << " gave no request list";
    return requests;
  }
  for (const nlohmann::json& entry : list) {
    RecordedRequest r;
    r.requestLine = entry.value("request_line", "");
    r.headers = BytesFromHex(entry.value("headers_hex", ""));
    r.body = BytesFromHex(entry.value("body_hex", ""));
    r.path = entry.value("path", "");
    r.tls = entry.value("tls", false);
    requests.push_back(std::move(r));
  }
  return requests;
}

// The value of a header line ("Name: value"), or nothing; names compared as HTTP does.
inline std::optional<std::string> HeaderValue(const std::string& headers, const std::string& name) {
  std::size_t start = 0;
  while (start < headers.size()) {
    std::size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) end = headers.size();
    const std::string line = headers.substr(start, end - start);
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && colon == name.size() &&
        ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, line.data(), static_cast<int>(colon), name.data(),
                         static_cast<int>(name.size())) == CSTR_EQUAL) {
      const std::size_t value = line.find_first_not_of(' ', colon + 1);
      return value == std::string::npos ? std::string() : line.substr(value);
    }
    start = end + 2;
  }
  return std::nullopt;
}

// A port on 127.0.0.1 where nobody listens: bound once by us, then released.
inline int UnusedLoopbackPort() {
  WinsockSession winsock;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int size = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  ::closesocket(s);
  return ntohs(address.sin_port);
}

// Base of the tests that need the peers: finds them, starts each test from a clean record.
class PeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto push = ReadPeer("push");
    const auto proxy = ReadPeer("proxy");
    ASSERT_TRUE(push && proxy) << "The local peers are not running. Run these tests through ctest "
                                  "(its fixture starts tests/peers/push_service.py and http_proxy.py).";
    push_ = *push;
    ASSERT_GE(push_.tlsPorts.size(), 2u) << "the push service runs with --tls --tls-count 2";
    proxyPort_ = proxy->port;
    ASSERT_EQ(PeerExchange(push_.port, "POST", "/_reset"), "ok");
    ASSERT_EQ(PeerExchange(proxyPort_, "POST", "/_reset"), "ok");
  }

  std::string PushUrl(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(push_.port) + path; }
  // WinINet keeps connections alive per host and port and reuses them without checking the
  // certificate again; so requests that ignore certificate errors use TLS port 1, and requests
  // that verify use port 0, which never carries an accepted connection.
  int TlsPort(std::size_t index) const { return index < push_.tlsPorts.size() ? push_.tlsPorts[index] : 0; }
  std::string PushTlsUrl(const std::string& path, std::size_t index) const {
    return "https://127.0.0.1:" + std::to_string(TlsPort(index)) + path;
  }
  std::vector<RecordedRequest> PushRequests() const { return RecordedRequests(push_.port); }
  std::vector<RecordedRequest> ProxyRequests() const { return RecordedRequests(proxyPort_); }

  PeerPorts push_;
  int proxyPort_ = 0;
};

}  // namespace uptorra::test
