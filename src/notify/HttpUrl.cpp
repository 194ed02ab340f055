#include "notify/HttpUrl.h"

#include "notify/HeaderText.h"

namespace uptorra {

namespace {
constexpr std::string_view kHttpScheme = "http://";
constexpr std::string_view kHttpsScheme = "https://";
// Where the host begins, the way UrlHost finds it: behind a leading "https://", else behind
// the first "http://" anywhere, else at the start.
std::size_t HostStart(std::string_view url) {
  const Text lowered = LowerAscii(url);
  if (lowered.rfind(kHttpsScheme, 0) == 0) return kHttpsScheme.size();
  const std::size_t http = FindText(lowered, kHttpScheme);
  return http == std::string_view::npos ? 0 : http + kHttpScheme.size();
}

}  // namespace

bool UrlIsSecure(std::string_view url) { return LowerAscii(url.substr(0, kHttpsScheme.size())) == kHttpsScheme; }

Text UrlHost(std::string_view url, bool keepPort) {
  Text lowered = LowerAscii(url);
  if (lowered.empty() || lowered.back() != '/') lowered += '/';
  std::string_view marker = kHttpScheme;
  if (lowered.rfind(kHttpsScheme, 0) == 0) {
    marker = kHttpsScheme;
  } else if (FindText(lowered, kHttpScheme) == std::string_view::npos) {
    lowered.insert(0, kHttpScheme);
  }
  Text host = TextBetween(lowered, marker, "/");
  if (!keepPort) {
    const std::size_t colon = FindText(host, ":");
    if (colon != std::string_view::npos) host.resize(colon);
  }
  return host;
}

int UrlPort(std::string_view url) {
  const Text host = UrlHost(url, true);
  const std::size_t colon = host.rfind(':');  // ':' is never a GBK trail byte
  if (colon == Text::npos) return LowerAscii(url.substr(0, 5)) == "https" ? kHttpsPort : kHttpPort;
  return IntValue(std::string_view(host).substr(colon + 1));
}

Text UrlPath(std::string_view url) {
  // The host is looked for behind the scheme: a host such as "t" or "ps" would otherwise be
  // found inside "https://" itself, and the path would start at the scheme's slashes.
  const std::size_t hostAt = FindTextIgnoringCase(url, UrlHost(url), HostStart(url));
  const std::size_t slash = hostAt == std::string_view::npos ? std::string_view::npos : FindText(url, "/", hostAt);
  if (slash == std::string_view::npos) return "/";
  return Text(url.substr(slash));
}

}  // namespace uptorra
