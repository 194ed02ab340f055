// The URL routines on any bytes, and on URLs put together from fuzzed parts whose host, port
// and path are known, so that taking them apart must give the parts back. The first byte
// chooses between the two; in the second form the input is cut into scheme choice, host,
// port and path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/Text.h"
#include "notify/HeaderText.h"
#include "notify/HttpUrl.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}

// Host names as an operator writes them: letters of either case, digits, dots and dashes.
std::string HostOf(std::string_view bytes) {
  static constexpr std::string_view kHostChars = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-";
  std::string host;
  for (const char c : bytes) host += kHostChars[static_cast<unsigned char>(c) % kHostChars.size()];
  return host;
}

// A path: '/' then any printable ASCII (query and fragment included).
std::string PathOf(std::string_view bytes) {
  std::string path = "/";
  for (const char c : bytes) path += static_cast<char>(0x21 + static_cast<unsigned char>(c) % 0x5E);
  return path;
}

void CheckAnyBytes(std::string_view url) {
  const uptorra::Text host = uptorra::UrlHost(url);
  const uptorra::Text hostWithPort = uptorra::UrlHost(url, true);
  Check(uptorra::LowerAscii(host) == host);
  Check(hostWithPort.rfind(host, 0) == 0);
  Check(host.find('/') == uptorra::Text::npos && hostWithPort.find('/') == uptorra::Text::npos);
  Check(host.find(':') == uptorra::Text::npos);
  const int port = uptorra::UrlPort(url);
  if (hostWithPort.find(':') == uptorra::Text::npos) Check(port == 80 || port == 443);
  const uptorra::Text path = uptorra::UrlPath(url);
  Check(!path.empty() && path[0] == '/');
  // The path is the URL's own tail, in its own letter case.
  Check(path == "/" || (path.size() <= url.size() && url.substr(url.size() - path.size()) == path));
  (void)uptorra::UrlIsSecure(url);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  if ((data[0] & 1) == 0) {
    CheckAnyBytes(input);
    return 0;
  }
  // Built form: scheme, host, optional port, optional path.
  const std::size_t cut1 = input.find('\xFF');
  const std::string_view hostBytes = input.substr(0, cut1);
  const std::string_view rest = cut1 == std::string_view::npos ? std::string_view() : input.substr(cut1 + 1);
  const std::size_t cut2 = rest.find('\xFF');
  const std::string_view pathBytes = rest.substr(0, cut2);
  const bool withPath = cut2 != std::string_view::npos || !pathBytes.empty();
  const std::string host = HostOf(hostBytes);
  if (host.empty()) return 0;
  static constexpr std::string_view kSchemes[] = {"http://", "https://", "HTTP://", "Https://", ""};
  const std::string_view scheme = kSchemes[(data[0] >> 1) % 5];
  const bool secure = scheme.size() == 8;
  const bool withPort = (data[0] & 0x40) != 0;
  const int port = withPort ? 1 + static_cast<int>(data[0] >> 1) * 257 % 65535 : (secure ? 443 : 80);
  const std::string path = withPath ? PathOf(pathBytes) : std::string();
  std::string url = std::string(scheme) + host;
  if (withPort) url += ":" + std::to_string(port);
  url += path;
  // A scheme-less URL whose host or path spells "http://" is read as that scheme: not built.
  // One starting with "https" counts as port 443 without a port of its own: not built either.
  if (scheme.empty() && (uptorra::FindText(uptorra::LowerAscii(url), "http://") != std::string_view::npos ||
                         uptorra::LowerAscii(url).rfind("https", 0) == 0)) {
    return 0;
  }

  Check(uptorra::UrlHost(url) == uptorra::LowerAscii(host));
  Check(uptorra::UrlPort(url) == port);
  Check(uptorra::UrlPath(url) == (withPath ? path : std::string("/")));
  Check(uptorra::UrlIsSecure(url) == secure);
  CheckAnyBytes(url);
  return 0;
}
