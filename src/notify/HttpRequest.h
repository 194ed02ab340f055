#pragma once
// One complete HTTP exchange over WinINet: URL, method, headers, cookies, body and proxy in;
// answer body, raw response headers and cookies out. Nothing is kept between calls.
//
// The thirteen parameters are the members of HttpRequestParams, in their order. An optional
// parameter is a std::optional (absent = not given); an in/out or out parameter is a pointer to
// the caller's variable (null = not given). Fill in only what you give:
//   HttpRequestParams request;
//   request.url = url;
//   request.method = kMethodPost;
//   request.body = &bytes;
//   HttpRequest(request);
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/Text.h"

namespace uptorra {

// Indexes into the method table; any other value sends GET.
inline constexpr int kMethodGet = 0;
inline constexpr int kMethodPost = 1;
inline constexpr int kMethodHead = 2;
inline constexpr int kMethodPut = 3;
inline constexpr int kMethodOptions = 4;
inline constexpr int kMethodDelete = 5;
inline constexpr int kMethodTrace = 6;
inline constexpr int kMethodConnect = 7;

inline constexpr std::string_view kDefaultUserAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// How long one exchange may take and how much it may read. WinINet's own defaults let a host
// that accepts and never answers hold the calling thread for ever.
struct HttpLimits {
  std::uint32_t connectTimeoutMs = 10'000;
  std::uint32_t sendTimeoutMs = 10'000;
  std::uint32_t receiveTimeoutMs = 10'000;
  std::size_t maxBodyBytes = 4u << 20;  // a longer answer body is cut off here
};

struct HttpRequestParams {
  Text url;                                  // 1  "http://", "https://" or no scheme (= http)
  std::optional<int> method;                 // 2  index into the method table; default GET
  std::optional<Text> formText;              // 3  body when Body bytes is empty (not for GET)
  Text* cookies = nullptr;                   // 4  in/out: cookies to send; given = no WinINet cookie store
  Text* returnedCookies = nullptr;           // 5  out: cookies the server set
  std::optional<Text> extraHeaders;          // 6  header lines separated by CR LF
  Text* returnedHeaders = nullptr;           // 7  out: raw response headers
  std::optional<bool> noRedirect;            // 8  true: the redirecting answer itself comes back
  Bytes* body = nullptr;                     // 9  in/out: body for non-GET methods
  std::optional<Text> proxy;                 // 10 "host:port" of an HTTP proxy
  std::optional<bool> completeCookies;       // 11 merge sent cookies into the returned ones (default on)
  std::optional<bool> completeHeaders;       // 12 add Accept, Referer, Accept-Language... (default on)
  std::optional<bool> normalizeHeaderNames;  // 13 capitalise header names first (default on)

  // Not among the thirteen. By default certificate errors are ignored (a test server's
  // self-signed certificate is accepted); a caller that sends a secret asks for the check.
  // WinINet keeps connections alive per host and port and does not check the certificate
  // again when it reuses one (Wine verified): a verifying request may ride on a connection
  // that a non-verifying request to the same host and port opened shortly before. In this
  // program only the verifying alert ever goes to the push host.
  bool verifyCertificates = false;
  HttpLimits limits;
};

// The request flags, by their WinINet values (checked against wininet.h where it is included).
inline constexpr std::uint32_t kFlagReload = 0x80000000;
inline constexpr std::uint32_t kFlagNeedFile = 0x00000010;
inline constexpr std::uint32_t kFlagNoCookies = 0x00080000;
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x00200000;
inline constexpr std::uint32_t kFlagSecure = 0x00800000;
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x00004000;

// Set on the request unless certificates are verified: revocation, unknown authority, wrong
// usage, name mismatch, date, redirects between HTTP and HTTPS, and 0x10000.
inline constexpr std::uint32_t kIgnoreCertificateErrors = 0x1F380;

inline constexpr std::uint32_t kAccessDirect = 1;  // INTERNET_OPEN_TYPE_DIRECT
inline constexpr std::uint32_t kAccessProxy = 3;   // INTERNET_OPEN_TYPE_PROXY

// Everything the exchange decides before it touches the network; computed by PlanHttpRequest
// so that it can be checked without a server.
struct HttpRequestPlan {
  Text verb;
  bool secure = false;
  Text agent;
  std::uint32_t accessType = kAccessDirect;
  Text proxyName;  // empty with kAccessDirect
  Text host;
  int port = 0;
  Text path;
  std::uint32_t flags = 0;
  bool ignoreCertificateErrors = true;
  Text headers;  // the header text that HttpSendRequest receives
  bool sendsBody = false;
  Bytes body;             // what goes out when sendsBody
  bool bodyFromForm = false;  // body came from Form text: store it into the caller's Body bytes
};

// The verb of a method index; out-of-range indexes give "GET".
std::string_view MethodVerb(std::optional<int> method);

// Header completion and cookies, steps that need only texts.
Text CompleteHeaders(std::string_view headers, std::string_view url, int method);
Text AppendCookieHeader(std::string_view headers, std::string_view cookies);

HttpRequestPlan PlanHttpRequest(const HttpRequestParams& params);

// Performs the exchange (Windows only). Returns the answer body exactly as read, or empty
// bytes when the Internet handle, the connection or the request cannot be opened (outputs are
// then left untouched). An HTTP error status is no failure.
Bytes HttpRequest(const HttpRequestParams& params);

}  // namespace uptorra
