#include "notify/PushMessage.h"

#include <gtest/gtest.h>

#include <ostream>

namespace uptorra {
namespace {

// GBK bytes spelt out (the native build compiles literals as UTF-8).
const Text kGateway = "\xCD\xF8\xB9\xD8";     // 网关
const Text kPort80 = "80\xB6\xCB\xBF\xDA";    // 80端口
const Text kTag = "\xA1\xBE" "KWO" "\xCC\xE1\xD0\xD1\xA1\xBF";  // 【KWO提醒】
const Text kAlarm = " \xB8\xE6\xBE\xAF\xA3\xBA";                // " 告警："
const Text kFailed = " \xCD\xA8\xD0\xC5\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xBC\xB0\xCA\xB1\xB2\xE9\xBF\xB4\xA3\xA1";

TEST(PushContent, ExampleWithDisplayName) {
  EXPECT_EQ(PushContent("2024-05-01 08:00:00", "10.0.0.1", kGateway, kPort80),
            kTag + "2024-05-01 08:00:00" + kAlarm + "10.0.0.1" + "\xA3\xA8" + kGateway + "\xA3\xA9" + " " + kPort80 +
                kFailed);
}

TEST(PushContent, EmptyDisplayNameGivesNoParentheses) {
  EXPECT_EQ(PushContent("2024-05-01 08:00:00", "10.0.0.1", "", "ICMP"),
            kTag + "2024-05-01 08:00:00" + kAlarm + "10.0.0.1 ICMP" + kFailed);
}

TEST(BuildPushBody, SixLinesByteForByte) {
  const Text body = BuildPushBody("AT_token", "123", "2024-05-01 08:00:00", "10.0.0.1", kGateway, kPort80);
  const Text expected = "{\r\n"
                        "\"appToken\":\"AT_token\",\r\n"
                        "\"content\":\"" + PushContent("2024-05-01 08:00:00", "10.0.0.1", kGateway, kPort80) +
                        "\",\r\n"
                        "\"contentType\":1,\r\n"
                        "\"topicIds\":[123]\r\n"
                        "}";
  EXPECT_EQ(body, expected);
  std::size_t pairs = 0;
  for (std::size_t at = body.find("\r\n"); at != Text::npos; at = body.find("\r\n", at + 2)) ++pairs;
  EXPECT_EQ(pairs, 5u);
  EXPECT_EQ(body.back(), '}');
}

TEST(BuildPushBody, TopicListGoesInUnchanged) {
  const Text body = BuildPushBody("t", "1,2", "x", "a", "", "ICMP");
  EXPECT_NE(body.find("\r\n\"topicIds\":[1,2]\r\n}"), Text::npos);
}

TEST(BuildPushBody, QuoteAndBackslashInValuesAreEscaped) {
  const Text body = BuildPushBody("AT_\"x\\", "1", "t", "h\"1", "my \"box\\", "ICMP");
  EXPECT_NE(body.find("\"appToken\":\"AT_\\\"x\\\\\",\r\n"), Text::npos) << body;
  EXPECT_NE(body.find("h\\\"1\xA3\xA8my \\\"box\\\\\xA3\xA9"), Text::npos) << body;
}

struct EscapeCase {
  const char* text;
  const char* escaped;
  friend std::ostream& operator<<(std::ostream& os, const EscapeCase& c) { return os << c.text; }
};

class JsonEscapeGbkTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(JsonEscapeGbkTest, EscapesCharactersNotBytes) {
  EXPECT_EQ(JsonEscapeGbk(GetParam().text), GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonEscapeGbkTest,
    ::testing::Values(EscapeCase{"plain", "plain"}, EscapeCase{"", ""},
                      EscapeCase{"a\"b", "a\\\"b"}, EscapeCase{"a\\b", "a\\\\b"},
                      EscapeCase{"\n\r\t\b\f", "\\n\\r\\t\\b\\f"},
                      EscapeCase{"\x01\x1F", "\\u0001\\u001F"},
                      // "\x95\x5C" (昞) ends in 0x5C: one character, no backslash to escape.
                      EscapeCase{"\x95\x5C", "\x95\x5C"},
                      EscapeCase{"\x95\x5C\"", "\x95\x5C\\\""},
                      EscapeCase{"\x95\x5C\\", "\x95\x5C\\\\"},
                      // A lead byte without a trail byte would swallow the backslash of the
                      // escape after it when decoded: it becomes '?'.
                      EscapeCase{"\x81\"", "?\\\""}, EscapeCase{"x\xFE", "x?"},
                      EscapeCase{"\x80\x7F", "\x80\x7F"},  // € and DEL need no escape
                      EscapeCase{"\xCD\xF8\xB9\xD8", "\xCD\xF8\xB9\xD8"}));

TEST(PushApiUrl, BuiltInHttpsAddressUnlessSet) {
  SetPushApiUrl("");
  EXPECT_EQ(PushApiUrl(), "https://wxpusher.zjiecode.com/api/send/message");
  SetPushApiUrl("http://127.0.0.1:9/api/send/message");  // http is used as given
  EXPECT_EQ(PushApiUrl(), "http://127.0.0.1:9/api/send/message");
  SetPushApiUrl("");
  EXPECT_EQ(PushApiUrl(), kBuiltInPushApiUrl);
}

}  // namespace
}  // namespace uptorra
