#include "notify/HttpRequest.h"

#include <array>

#include "notify/HeaderText.h"
#include "notify/HttpUrl.h"

namespace uptorra {

namespace {

constexpr std::array<std::string_view, 8> kMethodVerbs = {"GET",     "POST",   "HEAD",  "PUT",
                                                          "OPTIONS", "DELETE", "TRACE", "CONNECT"};

int ClampMethod(std::optional<int> method) {
  const int index = method.value_or(kMethodGet);
  return (index < 0 || index >= static_cast<int>(kMethodVerbs.size())) ? kMethodGet : index;
}

bool Holds(std::string_view headers, std::string_view name) {
  return FindTextIgnoringCase(headers, name) != std::string_view::npos;
}

// The agent named by a User-Agent line of the header text, or the browser-like default.
Text ChooseAgent(const Text& headers) {
  constexpr std::string_view kName = "User-Agent:";
  const std::size_t at = FindTextIgnoringCase(headers, kName);
  if (at == std::string_view::npos) return Text(kDefaultUserAgent);
  Text agent(TrimBlanks(TextBetween(headers + Text(kCrLf), kName, kCrLf)));
  if (agent.empty()) {
    // The line is written in another letter case (names not normalised). Take the value from
    // that line alone: the value after the first colon of the whole header text would drag
    // the following lines, CR LF and all, into the agent string.
    const std::size_t end = FindText(headers, kCrLf, at);
    agent = ValueAfterColon(std::string_view(headers).substr(at, end == std::string_view::npos ? end : end - at));
  }
  return agent;
}

}  // namespace

std::string_view MethodVerb(std::optional<int> method) { return kMethodVerbs[ClampMethod(method)]; }

Text CompleteHeaders(std::string_view headers, std::string_view url, int method) {
  Text out = headers.empty() ? Text("Accept: */*") : Text(headers);
  if (!Holds(out, "Accept:")) out += "\r\nAccept: */*";
  if (!Holds(out, "Referer:")) {
    out += "\r\nReferer: ";
    out += url;
  }
  if (!Holds(out, "Accept-Language:")) out += "\r\nAccept-Language: zh-cn";
  if (method == kMethodPost && !Holds(out, "Content-Type:")) {
    out += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  return out;
}

Text AppendCookieHeader(std::string_view headers, std::string_view cookies) {
  Text out(headers);
  if (cookies.empty()) return out;
  out += FindText(cookies, "Cookie:") != std::string_view::npos ? "\r\n" : "\r\nCookie: ";
  out += cookies;
  return out;
}

HttpRequestPlan PlanHttpRequest(const HttpRequestParams& params) {
  HttpRequestPlan plan;
  const Text extra = params.extraHeaders.value_or(Text());
  Text headers = params.normalizeHeaderNames.value_or(true) ? NormalizeHeaderCase(extra) : extra;

  const int method = ClampMethod(params.method);
  plan.verb = Text(kMethodVerbs[method]);
  plan.secure = UrlIsSecure(params.url);
  plan.agent = ChooseAgent(headers);

  const Text proxy = params.proxy.value_or(Text());
  if (proxy.empty()) {
    plan.accessType = kAccessDirect;
  } else {
    plan.accessType = kAccessProxy;
    // A plain request names its proxy for the http scheme only; a secure one for every scheme.
    plan.proxyName = plan.secure ? proxy : "http=" + proxy;
  }

  plan.host = UrlHost(params.url);
  plan.port = UrlPort(params.url);
  plan.path = UrlPath(params.url);

  plan.flags = kFlagReload | kFlagNeedFile;
  if (params.cookies) plan.flags |= kFlagNoCookies;
  if (params.noRedirect.value_or(false)) plan.flags |= kFlagNoAutoRedirect;
  plan.flags |= plan.secure ? kFlagSecure : kFlagIgnoreRedirectToHttps;
  plan.ignoreCertificateErrors = !params.verifyCertificates;

  if (params.completeHeaders.value_or(true)) headers = CompleteHeaders(headers, params.url, method);
  if (params.cookies) headers = AppendCookieHeader(headers, *params.cookies);
  plan.headers = std::move(headers);

  plan.sendsBody = method != kMethodGet;
  if (plan.sendsBody) {
    if (params.body && !params.body->empty()) {
      plan.body = *params.body;
    } else {
      plan.body = params.formText.value_or(Text());
      plan.bodyFromForm = true;
    }
  }
  return plan;
}

}  // namespace uptorra
