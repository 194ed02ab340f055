#include "notify/SendAlert.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <thread>

#include "notify/Charset.h"
#include "notify/HttpRequest.h"
#include "notify/Peers_win.h"

namespace uptorra {
namespace {

using test::HeaderValue;

constexpr char kToken[] = "AT_uptorra_test";
constexpr std::size_t kVerifyingTlsPort = 0;  // the token the local service accepts
// A hang bound, not a speed check: the exchange has 10 s time-outs, and WinINet may try a
// request twice when a kept-alive connection failed under it.
constexpr ULONGLONG kHangBoundMs = 45000;

// The header lines of a recorded request as (name, value) pairs, in order.
std::vector<std::pair<std::string, std::string>> HeaderLines(const std::string& headers) {
  std::vector<std::pair<std::string, std::string>> lines;
  for (std::string_view line : SplitText(headers, "\r\n")) {
    const std::size_t colon = line.find(':');
    const std::size_t value = line.find_first_not_of(' ', colon + 1);
    lines.emplace_back(std::string(line.substr(0, colon)),
                       value == std::string_view::npos ? std::string() : std::string(line.substr(value)));
  }
  return lines;
}

bool IsValidUtf8(const std::string& bytes) {
  const int size = static_cast<int>(bytes.size());
  return bytes.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0) > 0;
}

class SendAlertTest : public test::PeerTest {
 protected:
  void SetUp() override {
    test::PeerTest::SetUp();
    SetPushApiUrl(PushUrl("/api/send/message"));
  }
  void TearDown() override { SetPushApiUrl(""); }

  Text Alert(const Text& token = kToken, const Text& displayName = "网关", const Text& topic = "123") {
    return SendAlert(token, topic, "2024-05-01 08:00:00", "10.0.0.1", displayName, "80端口");
  }
  void UseMode(const std::string& mode) { SetPushApiUrl(PushUrl("/_mode/" + mode + "/api/send/message")); }
};

TEST_F(SendAlertTest, RequestLineHeadersAndBodyOnTheWire) {
  const Text answer = Alert();
  const auto requests = PushRequests();
  ASSERT_EQ(requests.size(), 1u);
  const test::RecordedRequest& r = requests[0];
  EXPECT_EQ(r.requestLine, "POST /api/send/message HTTP/1.1");

  const std::string url = PushUrl("/api/send/message");
  const std::string expectedBody =
      "{\r\n"
      "\"appToken\":\"AT_uptorra_test\",\r\n"
      "\"content\":\"" + std::string(reinterpret_cast<const char*>(
          u8"【KWO提醒】2024-05-01 08:00:00 告警：10.0.0.1（网关） 80端口 通信失败，请及时查看！")) + "\",\r\n"
      "\"contentType\":1,\r\n"
      "\"topicIds\":[123]\r\n"
      "}";
  EXPECT_EQ(r.body, expectedBody);
  EXPECT_TRUE(IsValidUtf8(r.body));
  EXPECT_NE(r.body.substr(0, 3), "\xEF\xBB\xBF") << "no byte-order mark";
  std::size_t pairs = 0;
  for (std::size_t at = r.body.find("\r\n"); at != std::string::npos; at = r.body.find("\r\n", at + 2)) ++pairs;
  EXPECT_EQ(pairs, 5u);

  // Our four lines in their order, then what WinINet adds itself; nothing else (no cookie).
  using Lines = std::vector<std::pair<std::string, std::string>>;
  Lines ours;
  Lines others;
  for (auto& line : HeaderLines(r.headers)) {
    const bool mine = line.first == "Content-Type" || line.first == "Accept" || line.first == "Referer" ||
                      line.first == "Accept-Language";
    (mine ? ours : others).push_back(line);
  }
  EXPECT_EQ(ours, (Lines{{"Content-Type", "application/json"},
                         {"Accept", "*/*"},
                         {"Referer", url},
                         {"Accept-Language", "zh-cn"}}));
  std::sort(others.begin(), others.end());
  EXPECT_EQ(others, (Lines{{"Content-Length", std::to_string(expectedBody.size())},
                           {"Host", "127.0.0.1:" + std::to_string(push_.port)},
                           {"User-Agent", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"}}));

  // The UTF-8 answer comes back as GBK text.
  EXPECT_NE(answer.find("\"msg\":\"处理成功\""), Text::npos) << answer;
  EXPECT_NE(answer.find("创建发送任务成功"), Text::npos);
  EXPECT_TRUE(PushAccepted(answer));
}

TEST_F(SendAlertTest, EmptyDisplayNameAndTopicList) {
  EXPECT_TRUE(PushAccepted(Alert(kToken, "", "1,2")));
  const auto requests = PushRequests();
  ASSERT_EQ(requests.size(), 1u);
  const nlohmann::json message = nlohmann::json::parse(requests[0].body);
  EXPECT_EQ(message["content"].get<std::string>(),
            reinterpret_cast<const char*>(u8"【KWO提醒】2024-05-01 08:00:00 告警：10.0.0.1 80端口 通信失败，请及时查看！"));
  EXPECT_EQ(message["topicIds"], nlohmann::json::array({1, 2}));
}

TEST_F(SendAlertTest, QuoteBackslashAndTrailByte5CInTheNameStillMakeValidJson) {
  // 昞 is "\x95\x5C" in GBK: its trail byte is no backslash and must not be escaped.
  const Text name = "my \"box\" C:\\temp 昞\ttab";
  ASSERT_NE(name.find("\x95\x5C"), Text::npos);
  const Text answer = Alert(kToken, name);
  EXPECT_TRUE(PushAccepted(answer)) << answer;
  const auto requests = PushRequests();
  ASSERT_EQ(requests.size(), 1u);
  const nlohmann::json message = nlohmann::json::parse(requests[0].body, nullptr, false);
  ASSERT_FALSE(message.is_discarded()) << requests[0].body;
  EXPECT_EQ(message["content"].get<std::string>(),
            reinterpret_cast<const char*>(
                u8"【KWO提醒】2024-05-01 08:00:00 告警：10.0.0.1（my \"box\" C:\\temp 昞\ttab） 80端口 通信失败，请及时查看！"));
}

TEST_F(SendAlertTest, RefusalsOfTheServiceAreNotAccepted) {
  const Text badToken = Alert("AT_wrong");
  EXPECT_NE(badToken.find("\"code\":1001"), Text::npos) << badToken;
  EXPECT_NE(badToken.find("appToken不正确"), Text::npos) << badToken;
  EXPECT_FALSE(PushAccepted(badToken));

  // The service allows a content of at most 40000 characters.
  Text longName;
  for (int i = 0; i < 40001; ++i) longName += "网";
  const Text tooLong = Alert(kToken, longName);
  EXPECT_NE(tooLong.find("\"code\":1001"), Text::npos) << tooLong.substr(0, 200);
  EXPECT_FALSE(PushAccepted(tooLong));
}

TEST_F(SendAlertTest, RateLimitOfTheServiceShowsAsFailedPushes) {
  int accepted = 0;
  int refused = 0;
  for (int i = 0; i < 24; ++i) (PushAccepted(Alert()) ? accepted : refused)++;
  EXPECT_EQ(accepted, 20);  // the service allows 20 calls per 10 s
  EXPECT_EQ(refused, 4);
}

TEST_F(SendAlertTest, AnswerWithoutSuccessFieldIsJudgedByItsCode) {
  UseMode("bare");
  const Text answer = Alert();
  EXPECT_EQ(answer.find("success"), Text::npos) << answer;
  EXPECT_TRUE(PushAccepted(answer));
}

TEST_F(SendAlertTest, SlowAnswerWithinTheTimeOutsStillCounts) {
  UseMode("slow:2");
  EXPECT_TRUE(PushAccepted(Alert()));
}

TEST_F(SendAlertTest, ErrorPageHoldingTrueIsNoAcceptance) {
  UseMode("status500");
  const Text answer = Alert();
  EXPECT_NE(answer.find("true"), Text::npos) << "the page must hold the word for this test to mean anything";
  EXPECT_FALSE(PushAccepted(answer));
}

TEST_F(SendAlertTest, MalformedGarbageAndEnormousAnswers) {
  UseMode("malformed");
  Text answer = Alert();
  EXPECT_NE(answer.find("处理成功"), Text::npos);
  EXPECT_FALSE(PushAccepted(answer));

  UseMode("garbage");
  answer = Alert();
  EXPECT_FALSE(PushAccepted(answer));

  UseMode("huge:32");
  const ULONGLONG start = ::GetTickCount64();
  answer = Alert();
  EXPECT_LT(::GetTickCount64() - start, kHangBoundMs);
  EXPECT_GT(answer.size(), 1000000u);
  EXPECT_LE(answer.size(), HttpLimits{}.maxBodyBytes);
  EXPECT_FALSE(PushAccepted(answer));
}

TEST_F(SendAlertTest, NoAnswerGivesTheEmptyText) {
  SetPushApiUrl("http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/api/send/message");
  EXPECT_EQ(Alert(), "");

  UseMode("reset");
  EXPECT_EQ(Alert(), "");
  UseMode("close");
  EXPECT_EQ(Alert(), "");
}

TEST_F(SendAlertTest, SilentServerIsGivenUpWithinTheTimeOuts) {
  UseMode("never");
  const ULONGLONG start = ::GetTickCount64();
  const Text answer = Alert();
  EXPECT_LT(::GetTickCount64() - start, kHangBoundMs);
  EXPECT_EQ(answer, "");
  EXPECT_FALSE(PushApiUrl().empty());
  EXPECT_GE(PushRequests().size(), 1u) << "the request did reach the server";
}

TEST_F(SendAlertTest, HttpsServerWithoutTrustedCertificateGetsNoToken) {
  // The push request verifies certificates; the local TLS server's certificate is self-signed.
  SetPushApiUrl(PushTlsUrl("/api/send/message", kVerifyingTlsPort));
  EXPECT_EQ(Alert(), "");
  EXPECT_TRUE(PushRequests().empty()) << "the token must not have been sent";
}

TEST_F(SendAlertTest, ConcurrentAlertsFromPoolThreads) {
  constexpr int kThreads = 8;
  constexpr int kAlertsEach = 2;
  std::atomic<int> accepted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kAlertsEach; ++i) {
        const Text answer = SendAlert(kToken, "7", "2024-05-01 08:00:00", "10.0.0." + std::to_string(t),
                                      "主机" + std::to_string(i), "ICMP");
        if (PushAccepted(answer)) ++accepted;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(accepted.load(), kThreads * kAlertsEach);
  const auto requests = PushRequests();
  ASSERT_EQ(requests.size(), static_cast<std::size_t>(kThreads * kAlertsEach));
  for (const auto& r : requests) EXPECT_FALSE(nlohmann::json::parse(r.body, nullptr, false).is_discarded()) << r.body;
}

}  // namespace
}  // namespace uptorra
