#include "notify/HttpRequest.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "notify/Peers_win.h"

namespace uptorra {
namespace {

using test::HeaderValue;

constexpr ULONGLONG kHangBoundMs = 30000;  // loose: only catches a hang
constexpr std::size_t kVerifyingTlsPort = 0;
constexpr std::size_t kIgnoringTlsPort = 1;

class HttpRequestTest : public test::PeerTest {
 protected:
  HttpRequestParams Params(const std::string& path) const {
    HttpRequestParams params;
    params.url = PushUrl(path);
    return params;
  }
  test::RecordedRequest OnlyRequest() const {
    const auto requests = PushRequests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? test::RecordedRequest{} : requests[0];
  }
};

TEST_F(HttpRequestTest, MethodTableOnTheWire) {
  const struct {
    int method;
    const char* verb;
  } cases[] = {{-1, "GET"},     {0, "GET"},     {1, "POST"},  {2, "HEAD"},    {3, "PUT"},
               {4, "OPTIONS"}, {5, "DELETE"},  {6, "TRACE"}, {7, "CONNECT"}, {8, "GET"}};
  for (const auto& c : cases) {
    ASSERT_EQ(test::PeerExchange(push_.port, "POST", "/_reset"), "ok");
    HttpRequestParams params = Params("/m");
    params.method = c.method;
    HttpRequest(params);
    EXPECT_EQ(OnlyRequest().requestLine, std::string(c.verb) + " /m HTTP/1.1") << c.method;
  }
}

TEST_F(HttpRequestTest, PostSendsFormTextWhenBodyIsEmptyAndHandsItBack) {
  Bytes body;
  HttpRequestParams params = Params("/form");
  params.method = kMethodPost;
  params.formText = "a=1&b=%E4%B8%AD";
  params.body = &body;
  EXPECT_EQ(HttpRequest(params), "ok");
  const auto r = OnlyRequest();
  EXPECT_EQ(r.body, "a=1&b=%E4%B8%AD");
  EXPECT_EQ(HeaderValue(r.headers, "Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(body, "a=1&b=%E4%B8%AD") << "the caller's Body bytes receive the form text";
}

TEST_F(HttpRequestTest, NonGetMethodsSendBodyBytesExactlyOrTheFormText) {
  const Bytes bytes(std::string_view("bin\0ary\xFF\r\n", 10));
  for (const int method : {kMethodPut, kMethodDelete, kMethodOptions}) {
    ASSERT_EQ(test::PeerExchange(push_.port, "POST", "/_reset"), "ok");
    Bytes body = bytes;
    HttpRequestParams params = Params("/body");
    params.method = method;
    params.formText = "ignored=1";
    params.body = &body;
    HttpRequest(params);
    auto r = OnlyRequest();
    EXPECT_EQ(r.body, bytes) << method;
    EXPECT_FALSE(HeaderValue(r.headers, "Content-Type")) << "only POST gets a form content type";

    ASSERT_EQ(test::PeerExchange(push_.port, "POST", "/_reset"), "ok");
    body.clear();
    HttpRequest(params);
    EXPECT_EQ(OnlyRequest().body, "ignored=1") << method;
  }
  ASSERT_EQ(test::PeerExchange(push_.port, "POST", "/_reset"), "ok");
  HttpRequestParams get = Params("/get");
  get.formText = "never=1";
  HttpRequest(get);
  EXPECT_EQ(OnlyRequest().body, "");
}

TEST_F(HttpRequestTest, AnswerBodyComesBackExactlyAndErrorStatusIsNoFailure) {
  // body=中文 as UTF-8, percent-encoded in the query.
  EXPECT_EQ(HttpRequest(Params("/b?body=%E4%B8%AD%E6%96%87")), "\xE4\xB8\xAD\xE6\x96\x87");
  Text headers;
  HttpRequestParams params = Params("/e?status=404&body=missing");
  params.returnedHeaders = &headers;
  EXPECT_EQ(HttpRequest(params), "missing");
  EXPECT_EQ(headers.rfind("HTTP/1.1 404", 0), 0u) << headers;
}

TEST_F(HttpRequestTest, PathKeepsItsCaseAndRefererTheUrl) {
  HttpRequestParams params = Params("/Mixed/Case?Q=A");
  HttpRequest(params);
  const auto r = OnlyRequest();
  EXPECT_EQ(r.requestLine, "GET /Mixed/Case?Q=A HTTP/1.1");
  EXPECT_EQ(HeaderValue(r.headers, "Referer"), params.url);
  EXPECT_EQ(HeaderValue(r.headers, "Accept"), "*/*");
  EXPECT_EQ(HeaderValue(r.headers, "Accept-Language"), "zh-cn");
}

TEST_F(HttpRequestTest, UserAgentLineNamesTheAgent) {
  HttpRequestParams params = Params("/ua");
  params.extraHeaders = "user-agent: Probe/2.0";
  HttpRequest(params);
  const auto r = OnlyRequest();
  EXPECT_EQ(HeaderValue(r.headers, "User-Agent"), "Probe/2.0");
  EXPECT_EQ(r.headers.find("Mozilla"), std::string::npos) << r.headers;
}

TEST_F(HttpRequestTest, CookiesOutCollectedFromSetCookieLines) {
  Text cookies;  // given (empty): WinINet's store stays out of it
  Text returned = "untouched";
  Text headers;
  HttpRequestParams params = Params("/c/out?cookie=sid%3D42%3B%20Path%3D%2Fc%2Fout&cookie=a%3D1%3B%20HttpOnly");
  params.cookies = &cookies;
  params.returnedCookies = &returned;
  params.returnedHeaders = &headers;
  EXPECT_EQ(HttpRequest(params), "ok");
  EXPECT_EQ(returned, "sid=42; a=1");
  EXPECT_EQ(cookies, "sid=42; a=1");
  EXPECT_EQ(headers.rfind("HTTP/1.1 200", 0), 0u) << headers;
  EXPECT_NE(headers.find("\r\nSet-Cookie: sid=42; Path=/c/out\r\n"), Text::npos) << headers;
  EXPECT_FALSE(HeaderValue(OnlyRequest().headers, "Cookie"));
}

TEST_F(HttpRequestTest, CookiesInAreSentAndMergedWithTheReceivedOnes) {
  Text cookies = "x=1; y=2";
  Text returned;
  HttpRequestParams params = Params("/c/in?cookie=y%3D3");
  params.cookies = &cookies;
  params.returnedCookies = &returned;
  HttpRequest(params);
  EXPECT_EQ(HeaderValue(OnlyRequest().headers, "Cookie"), "x=1; y=2");
  EXPECT_EQ(cookies, "y=3; x=1");
  EXPECT_EQ(returned, "y=3; x=1");

  cookies = "x=1; y=2";
  params.completeCookies = false;
  HttpRequest(params);
  EXPECT_EQ(cookies, "x=1; y=2");
  EXPECT_EQ(returned, "y=3");
}

TEST_F(HttpRequestTest, GivenCookiesEvenEmptySwitchWinInetsCookieStoreOff) {
  // Without Cookies WinINet keeps what the server sets and sends it back on its own; the path
  // keeps the stored cookie away from every other test.
  HttpRequest(Params("/c/store/set?cookie=st%3D1%3B%20Path%3D%2Fc%2Fstore"));
  HttpRequest(Params("/c/store/check"));
  Text empty;
  HttpRequestParams params = Params("/c/store/check");
  params.cookies = &empty;
  HttpRequest(params);
  Text own = "z=9";
  params.cookies = &own;
  HttpRequest(params);

  const auto requests = PushRequests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(HeaderValue(requests[1].headers, "Cookie"), "st=1") << "the store is in use without Cookies";
  EXPECT_FALSE(HeaderValue(requests[2].headers, "Cookie")) << requests[2].headers;
  EXPECT_EQ(HeaderValue(requests[3].headers, "Cookie"), "z=9");
}

TEST_F(HttpRequestTest, WithoutHeaderCompletionOnlyTheCookieLineGoesOut) {
  Text cookies = "a=1";
  HttpRequestParams params = Params("/bare");
  params.cookies = &cookies;
  params.completeHeaders = false;
  HttpRequest(params);
  const auto r = OnlyRequest();
  EXPECT_EQ(HeaderValue(r.headers, "Cookie"), "a=1");
  EXPECT_FALSE(HeaderValue(r.headers, "Accept"));
  EXPECT_FALSE(HeaderValue(r.headers, "Referer"));
  EXPECT_FALSE(HeaderValue(r.headers, "Accept-Language"));
}

TEST_F(HttpRequestTest, NoRedirectReturnsThe302AndItsCookies) {
  const std::string path = "/r/from?status=302&location=%2Fr%2Fto%3Fbody%3Dlanded&cookie=r%3D1%3B%20Path%3D%2Fr";
  Text cookies;
  Text returned;
  Text headers;
  HttpRequestParams params = Params(path);
  params.cookies = &cookies;
  params.returnedCookies = &returned;
  params.returnedHeaders = &headers;
  params.noRedirect = true;
  EXPECT_EQ(HttpRequest(params), "ok");
  EXPECT_EQ(headers.rfind("HTTP/1.1 302", 0), 0u) << headers;
  EXPECT_EQ(returned, "r=1");
  EXPECT_EQ(PushRequests().size(), 1u);

  ASSERT_EQ(test::PeerExchange(push_.port, "POST", "/_reset"), "ok");
  params.noRedirect = false;
  EXPECT_EQ(HttpRequest(params), "landed");
  const auto requests = PushRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].requestLine, "GET /r/to?body=landed HTTP/1.1");
}

TEST_F(HttpRequestTest, ThroughAProxy) {
  // WinINet keeps a direct connection alive per origin and would reuse it even with a proxy
  // named: the origin is called "localhost" here, a name no other test connects to.
  const std::string proxy = "127.0.0.1:" + std::to_string(proxyPort_);
  HttpRequestParams params;
  params.url = "http://localhost:" + std::to_string(push_.port) + "/via/proxy?body=proxied";
  params.proxy = proxy;
  EXPECT_EQ(HttpRequest(params), "proxied");
  auto viaProxy = ProxyRequests();
  ASSERT_EQ(viaProxy.size(), 1u);
  EXPECT_EQ(viaProxy[0].requestLine, "GET " + params.url + " HTTP/1.1");
  EXPECT_EQ(OnlyRequest().requestLine, "GET /via/proxy?body=proxied HTTP/1.1");

  // https through the proxy goes through a CONNECT tunnel.
  ASSERT_EQ(test::PeerExchange(push_.port, "POST", "/_reset"), "ok");
  Bytes body = "secret=1";
  HttpRequestParams secure;
  secure.url = "https://localhost:" + std::to_string(TlsPort(kIgnoringTlsPort)) + "/tunnel?body=tunnelled";
  secure.method = kMethodPost;
  secure.body = &body;
  secure.proxy = proxy;
  EXPECT_EQ(HttpRequest(secure), "tunnelled");
  viaProxy = ProxyRequests();
  ASSERT_EQ(viaProxy.size(), 2u);
  EXPECT_EQ(viaProxy[1].requestLine, "CONNECT localhost:" + std::to_string(TlsPort(kIgnoringTlsPort)) + " HTTP/1.1");
  const auto r = OnlyRequest();
  EXPECT_TRUE(r.tls);
  EXPECT_EQ(r.body, "secret=1");
}

TEST_F(HttpRequestTest, HttpsIgnoresCertificateErrorsUnlessAskedToVerify) {
  HttpRequestParams params;
  params.url = PushTlsUrl("/secure?body=fine", kIgnoringTlsPort);
  EXPECT_EQ(HttpRequest(params), "fine");
  EXPECT_TRUE(OnlyRequest().tls);

  ASSERT_EQ(test::PeerExchange(push_.port, "POST", "/_reset"), "ok");
  params.url = PushTlsUrl("/secure?body=fine", kVerifyingTlsPort);
  params.verifyCertificates = true;
  EXPECT_EQ(HttpRequest(params), "");
  EXPECT_TRUE(PushRequests().empty());
}

TEST_F(HttpRequestTest, UnreachablePortGivesEmptyBodyHeadersAndCookies) {
  Text headers = "untouched";
  Text returned = "untouched";
  HttpRequestParams params;
  params.url = "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/x";
  params.returnedHeaders = &headers;
  params.returnedCookies = &returned;
  EXPECT_EQ(HttpRequest(params), "");
  EXPECT_EQ(headers, "");
  EXPECT_EQ(returned, "");
}

TEST_F(HttpRequestTest, SilentServerEndsAtTheReceiveTimeOut) {
  HttpRequestParams params = Params("/_mode/never/x");
  params.limits.receiveTimeoutMs = 1000;
  const ULONGLONG start = ::GetTickCount64();
  EXPECT_EQ(HttpRequest(params), "");
  EXPECT_LT(::GetTickCount64() - start, kHangBoundMs);
}

TEST_F(HttpRequestTest, LongBodyIsCutAtTheLimit) {
  HttpRequestParams params = Params("/_mode/huge:2/x");
  params.limits.maxBodyBytes = 100000;
  EXPECT_EQ(HttpRequest(params).size(), 100000u);
}

TEST_F(HttpRequestTest, HeadersLongerThanTheFirstBufferAreNotLost) {
  Text cookies;
  Text returned;
  Text headers;
  // Two lines of 3000 bytes: Wine cuts a single header line at 4 KiB.
  HttpRequestParams params = Params("/h?header=X-A%3A%20" + std::string(3000, 'a') + "&header=X-B%3A%20" +
                                    std::string(3000, 'b') + "&cookie=big%3D1");
  params.cookies = &cookies;
  params.returnedCookies = &returned;
  params.returnedHeaders = &headers;
  EXPECT_EQ(HttpRequest(params), "ok");
  EXPECT_GT(headers.size(), 6000u);
  EXPECT_EQ(HeaderValue(headers, "X-A"), std::string(3000, 'a'));
  EXPECT_EQ(HeaderValue(headers, "X-B"), std::string(3000, 'b'));
  EXPECT_EQ(returned, "big=1");
}

}  // namespace
}  // namespace uptorra
