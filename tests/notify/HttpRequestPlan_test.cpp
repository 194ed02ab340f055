#include "notify/HttpRequest.h"

#include <gtest/gtest.h>

namespace uptorra {
namespace {

constexpr std::uint32_t kBaseFlags = kFlagReload | kFlagNeedFile;

HttpRequestParams Params(const Text& url) {
  HttpRequestParams params;
  params.url = url;
  return params;
}

TEST(MethodVerb, TableAndOutOfRangeIndexes) {
  const char* expected[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(MethodVerb(i), expected[i]) << i;
  EXPECT_EQ(MethodVerb(8), "GET");
  EXPECT_EQ(MethodVerb(-1), "GET");
  EXPECT_EQ(MethodVerb(std::nullopt), "GET");
}

TEST(PlanHttpRequest, AlertPostGetsTheStandardLinesAndPlainFlags) {
  Bytes body = "{}";
  HttpRequestParams params = Params("http://push.example/api/send/message");
  params.method = kMethodPost;
  params.extraHeaders = "Content-Type:application/json";
  params.body = &body;
  const HttpRequestPlan plan = PlanHttpRequest(params);
  EXPECT_EQ(plan.verb, "POST");
  EXPECT_EQ(plan.agent, kDefaultUserAgent);
  EXPECT_EQ(plan.accessType, kAccessDirect);
  EXPECT_EQ(plan.host, "push.example");
  EXPECT_EQ(plan.port, 80);
  EXPECT_EQ(plan.path, "/api/send/message");
  EXPECT_EQ(plan.flags, kBaseFlags | kFlagIgnoreRedirectToHttps);
  EXPECT_TRUE(plan.ignoreCertificateErrors);
  EXPECT_EQ(plan.headers,
            "Content-Type:application/json\r\nAccept: */*\r\nReferer: http://push.example/api/send/message\r\n"
            "Accept-Language: zh-cn");
  EXPECT_TRUE(plan.sendsBody);
  EXPECT_EQ(plan.body, "{}");
  EXPECT_FALSE(plan.bodyFromForm);
}

TEST(PlanHttpRequest, UrlWithoutSchemeIsPlainHttpOnPort80) {
  const HttpRequestPlan plan = PlanHttpRequest(Params("intranet-host/status/page"));
  EXPECT_EQ(plan.host, "intranet-host");
  EXPECT_EQ(plan.port, 80);
  EXPECT_EQ(plan.path, "/status/page");
  EXPECT_FALSE(plan.secure);
  EXPECT_EQ(plan.flags & kFlagSecure, 0u);
}

TEST(PlanHttpRequest, HttpsOnPort8443IsSecure) {
  const HttpRequestPlan plan = PlanHttpRequest(Params("https://example.com:8443/x"));
  EXPECT_EQ(plan.port, 8443);
  EXPECT_EQ(plan.path, "/x");
  EXPECT_TRUE(plan.secure);
  EXPECT_EQ(plan.flags, kBaseFlags | kFlagSecure);
}

TEST(PlanHttpRequest, HostLoweredPathAndRefererKeepTheirCase) {
  const Text url = "http://WWW.Example.COM/Path/Page?Q=A";
  const HttpRequestPlan plan = PlanHttpRequest(Params(url));
  EXPECT_EQ(plan.host, "www.example.com");
  EXPECT_EQ(plan.path, "/Path/Page?Q=A");
  EXPECT_NE(plan.headers.find("\r\nReferer: " + url + "\r\n"), Text::npos);
}

TEST(PlanHttpRequest, GetWithoutHeadersGetsTheStandardLinesOnly) {
  const HttpRequestPlan plan = PlanHttpRequest(Params("http://h/"));
  EXPECT_EQ(plan.headers, "Accept: */*\r\nReferer: http://h/\r\nAccept-Language: zh-cn");
  EXPECT_FALSE(plan.sendsBody);
  EXPECT_EQ(plan.flags, kBaseFlags | kFlagIgnoreRedirectToHttps);
}

struct ContentTypeCase {
  int method;
  const char* headers;
  bool normalize;
  bool getsFormType;
};

TEST(PlanHttpRequest, FormContentTypeOnlyForPostWithoutOne) {
  const ContentTypeCase cases[] = {
      {kMethodPost, "", true, true},
      {kMethodPost, "Content-Type: text/plain", true, false},
      {kMethodPost, "content-type: text/plain", false, false},  // any letter case prevents it
      {kMethodPost, "CONTENT-TYPE:text/plain", false, false},
      {kMethodPut, "", true, false},
      {kMethodGet, "", true, false},
      {kMethodDelete, "", true, false},
  };
  for (const ContentTypeCase& c : cases) {
    HttpRequestParams params = Params("http://h/");
    params.method = c.method;
    params.extraHeaders = Text(c.headers);
    params.normalizeHeaderNames = c.normalize;
    const Text headers = PlanHttpRequest(params).headers;
    const bool hasForm = headers.find("Content-Type: application/x-www-form-urlencoded") != Text::npos;
    EXPECT_EQ(hasForm, c.getsFormType) << c.method << " " << c.headers;
  }
}

TEST(PlanHttpRequest, PresentStandardLinesInAnyCaseAreNotAddedTwice) {
  HttpRequestParams params = Params("http://h/");
  params.extraHeaders = "accept: text/html\r\nREFERER: http://r/\r\naccept-LANGUAGE: en";
  params.normalizeHeaderNames = false;
  EXPECT_EQ(PlanHttpRequest(params).headers, "accept: text/html\r\nREFERER: http://r/\r\naccept-LANGUAGE: en");
}

TEST(PlanHttpRequest, NormalisesNamesAndDropsLinesWithoutColonByDefault) {
  HttpRequestParams params = Params("http://h/");
  params.extraHeaders = "x-token: AbC\r\nstray";
  params.completeHeaders = false;
  EXPECT_EQ(PlanHttpRequest(params).headers, "X-Token: AbC");
}

TEST(PlanHttpRequest, CookiesWithoutCompletionStartWithCrLf) {
  Text cookies = "a=1; b=2";
  HttpRequestParams params = Params("http://h/");
  params.cookies = &cookies;
  params.completeHeaders = false;
  const HttpRequestPlan plan = PlanHttpRequest(params);
  EXPECT_EQ(plan.headers, "\r\nCookie: a=1; b=2");
  EXPECT_EQ(plan.flags & kFlagNoCookies, kFlagNoCookies);
}

TEST(PlanHttpRequest, CookieTextThatIsAlreadyAHeaderLineIsAppendedAsIs) {
  Text cookies = "Cookie: a=1";
  HttpRequestParams params = Params("http://h/");
  params.cookies = &cookies;
  params.completeHeaders = false;
  EXPECT_EQ(PlanHttpRequest(params).headers, "\r\nCookie: a=1");
}

TEST(PlanHttpRequest, EmptyCookiesStillSwitchTheCookieStoreOff) {
  Text cookies;
  HttpRequestParams params = Params("http://h/");
  params.cookies = &cookies;
  const HttpRequestPlan plan = PlanHttpRequest(params);
  EXPECT_EQ(plan.flags & kFlagNoCookies, kFlagNoCookies);
  EXPECT_EQ(plan.headers.find("Cookie"), Text::npos);
  EXPECT_EQ(PlanHttpRequest(Params("http://h/")).flags & kFlagNoCookies, 0u);
}

TEST(PlanHttpRequest, NoRedirectFlag) {
  HttpRequestParams params = Params("http://h/");
  params.noRedirect = true;
  EXPECT_EQ(PlanHttpRequest(params).flags & kFlagNoAutoRedirect, kFlagNoAutoRedirect);
  params.noRedirect = false;
  EXPECT_EQ(PlanHttpRequest(params).flags & kFlagNoAutoRedirect, 0u);
}

TEST(PlanHttpRequest, BodyBytesOrFormTextForNonGetMethods) {
  for (const int method : {kMethodPost, kMethodPut, kMethodDelete, kMethodOptions, kMethodTrace}) {
    Bytes body(std::string_view("b\0y", 3));
    HttpRequestParams params = Params("http://h/");
    params.method = method;
    params.formText = "f=1";
    params.body = &body;
    HttpRequestPlan plan = PlanHttpRequest(params);
    EXPECT_TRUE(plan.sendsBody);
    EXPECT_EQ(plan.body, body) << method;
    EXPECT_FALSE(plan.bodyFromForm);

    body.clear();
    plan = PlanHttpRequest(params);
    EXPECT_EQ(plan.body, "f=1") << method;
    EXPECT_TRUE(plan.bodyFromForm);
  }
  HttpRequestParams get = Params("http://h/");
  get.formText = "f=1";
  EXPECT_FALSE(PlanHttpRequest(get).sendsBody);
}

TEST(PlanHttpRequest, AgentFromUserAgentLine) {
  struct Case {
    const char* headers;
    bool normalize;
    const char* agent;
  } cases[] = {
      {"", true, "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
      {"User-Agent:  Probe/2.0 ", true, "Probe/2.0"},
      {"user-agent: Probe/2.0", true, "Probe/2.0"},  // normalised first
      {"Accept: a\r\nUser-Agent: Probe/2.0\r\nX: y", true, "Probe/2.0"},
      {"user-agent: lower/1", false, "lower/1"},
      // A lower-case line that is not the first: its own value, never the lines around it.
      {"Accept: a\r\nuser-agent: lower/1\r\nX: y", false, "lower/1"},
      {"User-Agent:", true, ""},
  };
  for (const Case& c : cases) {
    HttpRequestParams params = Params("http://h/");
    params.extraHeaders = Text(c.headers);
    params.normalizeHeaderNames = c.normalize;
    const HttpRequestPlan plan = PlanHttpRequest(params);
    EXPECT_EQ(plan.agent, c.agent) << c.headers;
  }
  HttpRequestParams params = Params("http://h/");
  params.extraHeaders = "User-Agent: Probe/2.0";
  EXPECT_EQ(PlanHttpRequest(params).headers.rfind("User-Agent: Probe/2.0\r\n", 0), 0u) << "the line stays too";
}

TEST(PlanHttpRequest, ProxyNameDependsOnTheScheme) {
  HttpRequestParams params = Params("http://h/");
  params.proxy = "127.0.0.1:3128";
  HttpRequestPlan plan = PlanHttpRequest(params);
  EXPECT_EQ(plan.accessType, kAccessProxy);
  EXPECT_EQ(plan.proxyName, "http=127.0.0.1:3128");

  params.url = "https://h/";
  plan = PlanHttpRequest(params);
  EXPECT_EQ(plan.proxyName, "127.0.0.1:3128");

  params.proxy = "";
  EXPECT_EQ(PlanHttpRequest(params).accessType, kAccessDirect);
}

TEST(PlanHttpRequest, CertificateCheckOnlyWhenAsked) {
  HttpRequestParams params = Params("https://h/");
  EXPECT_TRUE(PlanHttpRequest(params).ignoreCertificateErrors);
  params.verifyCertificates = true;
  EXPECT_FALSE(PlanHttpRequest(params).ignoreCertificateErrors);
}

}  // namespace
}  // namespace uptorra
