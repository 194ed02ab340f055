#include "notify/HttpRequest.h"

#include <windows.h>
#include <wininet.h>

#include "core/UniqueHandle_win.h"
#include "notify/CookieText.h"

namespace uptorra {

static_assert(kFlagReload == INTERNET_FLAG_RELOAD);
static_assert(kFlagNeedFile == INTERNET_FLAG_NEED_FILE);
static_assert(kFlagNoCookies == INTERNET_FLAG_NO_COOKIES);
static_assert(kFlagNoAutoRedirect == INTERNET_FLAG_NO_AUTO_REDIRECT);
static_assert(kFlagSecure == INTERNET_FLAG_SECURE);
static_assert(kFlagIgnoreRedirectToHttps == INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
static_assert(kAccessDirect == INTERNET_OPEN_TYPE_DIRECT);
static_assert(kAccessProxy == INTERNET_OPEN_TYPE_PROXY);

namespace {

constexpr DWORD kReadPieceBytes = 1024;
constexpr DWORD kRawHeadersBufferBytes = 5000;

// Set on the session so that child handles inherit them (Windows), and again on the request,
// because Wine ignores them anywhere but on the request handle. The connect time-out alone
// does not bound a host that accepts and then stays silent: that takes the receive time-out.
void SetTimeouts(HINTERNET handle, const HttpLimits& limits) {
  const struct {
    DWORD option;
    DWORD value;
  } timeouts[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, limits.connectTimeoutMs},
                  {INTERNET_OPTION_SEND_TIMEOUT, limits.sendTimeoutMs},
                  {INTERNET_OPTION_RECEIVE_TIMEOUT, limits.receiveTimeoutMs}};
  for (const auto& t : timeouts) {
    DWORD value = t.value;
    ::InternetSetOptionA(handle, t.option, &value, sizeof value);
  }
}

Bytes ReadBody(HINTERNET request, std::size_t maxBytes) {
  Bytes body;
  char piece[kReadPieceBytes];
  for (;;) {
    DWORD read = 0;
    // A failing read ends the body like the end of the data: the caller judges the content.
    if (!::InternetReadFile(request, piece, kReadPieceBytes, &read) || read == 0) break;
    body.append(piece, read);
    if (body.size() >= maxBytes) {
      body.resize(maxBytes);
      break;
    }
  }
  return body;
}

// The raw response headers, status line first, lines separated by CR LF; empty when there is
// no response. Headers longer than the first buffer are fetched again at their full size
// rather than lost.
Text QueryRawHeaders(HINTERNET request) {
  Text headers(kRawHeadersBufferBytes, ' ');
  DWORD length = kRawHeadersBufferBytes;
  if (!::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &length, nullptr)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    headers.assign(static_cast<std::size_t>(length) + 1, ' ');
    length = static_cast<DWORD>(headers.size());
    if (!::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &length, nullptr)) return {};
  }
  headers.resize(length);
  // Without an answer Wine still delivers an empty block ("\r\n"): no status line, no headers.
  if (headers.rfind("HTTP/", 0) != 0) return {};
  return TextOf(headers);
}

}  // namespace

Bytes HttpRequest(const HttpRequestParams& params) {
  HttpRequestPlan plan = PlanHttpRequest(params);

  const bool viaProxy = plan.accessType == kAccessProxy;
  const char* proxyName = viaProxy ? plan.proxyName.c_str() : nullptr;
  const char* proxyBypass = viaProxy ? "" : nullptr;  // no host bypasses the proxy, not even a local one
  UniqueInternetHandle internet(::InternetOpenA(plan.agent.c_str(), plan.accessType, proxyName, proxyBypass, 0));
  if (!internet) return {};
  SetTimeouts(internet.get(), params.limits);

  UniqueInternetHandle connection(::InternetConnectA(internet.get(), plan.host.c_str(),
                                                     static_cast<INTERNET_PORT>(plan.port), nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return {};

  UniqueInternetHandle request(::HttpOpenRequestA(connection.get(), plan.verb.c_str(), plan.path.c_str(), "HTTP/1.1",
                                                  nullptr, nullptr, plan.flags, 0));
  if (!request) return {};

  if (plan.ignoreCertificateErrors) {
    DWORD securityFlags = kIgnoreCertificateErrors;
    ::InternetSetOptionA(request.get(), INTERNET_OPTION_SECURITY_FLAGS, &securityFlags, sizeof securityFlags);
  }
  SetTimeouts(request.get(), params.limits);

  if (plan.sendsBody && plan.bodyFromForm && params.body) *params.body = plan.body;
  char* headers = plan.headers.empty() ? nullptr : plan.headers.data();
  const auto headersLength = static_cast<DWORD>(plan.headers.size());
  if (plan.sendsBody) {
    ::HttpSendRequestA(request.get(), headers, headersLength, plan.body.empty() ? nullptr : plan.body.data(),
                       static_cast<DWORD>(plan.body.size()));
  } else {
    ::HttpSendRequestA(request.get(), headers, headersLength, nullptr, 0);
  }

  Bytes body = ReadBody(request.get(), params.limits.maxBodyBytes);
  const Text rawHeaders = QueryRawHeaders(request.get());
  request.reset();
  connection.reset();
  internet.reset();

  Text cookies = CollectSetCookies(rawHeaders);
  if (params.completeCookies.value_or(true) && params.cookies) cookies = MergeCookies(*params.cookies, cookies);
  if (params.returnedHeaders) *params.returnedHeaders = rawHeaders;
  if (params.returnedCookies) *params.returnedCookies = cookies;
  return body;
}

}  // namespace uptorra
