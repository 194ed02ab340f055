#include "notify/CookieText.h"

#include <gtest/gtest.h>

#include <ostream>

namespace uptorra {
namespace {

struct CollectCase {
  const char* headers;
  const char* cookies;
  friend std::ostream& operator<<(std::ostream& os, const CollectCase& c) { return os << c.headers; }
};

class CollectSetCookiesTest : public ::testing::TestWithParam<CollectCase> {};

TEST_P(CollectSetCookiesTest, KeepsNameValuePairsOfSetCookieLines) {
  EXPECT_EQ(CollectSetCookies(GetParam().headers), GetParam().cookies);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CollectSetCookiesTest,
    ::testing::Values(
        CollectCase{"HTTP/1.1 200 OK\r\nSet-Cookie: sid=42; Path=/\r\n\r\n", "sid=42"},
        CollectCase{"HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\n\r\n", "a=1"},
        CollectCase{"HTTP/1.1 200 OK\r\nset-cookie: a=1\r\n\r\n", ""},  // name compared with case
        CollectCase{"HTTP/1.1 200 OK\r\nSET-COOKIE: a=1\r\n\r\n", ""},
        CollectCase{"HTTP/1.1 200 OK\r\nSet-Cookie:a=1\r\n\r\n", ""},  // no space after the colon
        CollectCase{"HTTP/1.1 200 OK\r\nX-Set-Cookie: a=1\r\n\r\n", ""},
        // Order kept, attributes dropped, a cookie set twice listed twice.
        CollectCase{"HTTP/1.1 302 Found\r\nSet-Cookie: a=1\r\nContent-Type: x\r\n"
                    "Set-Cookie: b=2; HttpOnly; Expires=Wed, 21 Oct 2037 07:28:00 GMT\r\nSet-Cookie: a=1\r\n\r\n",
                    "a=1; b=2; a=1"},
        CollectCase{"Set-Cookie:  v=1  ", "v=1"},
        CollectCase{"", ""},
        // The raw-headers buffer when the query failed: only spaces.
        CollectCase{"                                        ", ""}));

struct MergeCase {
  const char* sent;
  const char* received;
  const char* merged;
  friend std::ostream& operator<<(std::ostream& os, const MergeCase& c) {
    return os << "sent '" << c.sent << "' received '" << c.received << "'";
  }
};

class MergeCookiesTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookiesTest, ReceivedWinsSentCompletesAndTheSentVariableGetsTheResult) {
  Text sent = GetParam().sent;
  EXPECT_EQ(MergeCookies(sent, GetParam().received), GetParam().merged);
  EXPECT_EQ(sent, GetParam().merged);
}

INSTANTIATE_TEST_SUITE_P(Table, MergeCookiesTest,
                         ::testing::Values(MergeCase{"a=1; b=2", "b=3", "b=3; a=1"},
                                           MergeCase{"a=1; a=2", "", "a=1"},       // first sent of a name wins
                                           MergeCase{"a=1", "c=deleted", "a=1"},   // deleted cookies go
                                           MergeCase{"c=5", "c=deleted", ""},      // ... also the sent one
                                           MergeCase{"", "", ""},
                                           MergeCase{" a=1; ", "b=2;", "b=2; a=1"},  // trimmed, final ';' ok
                                           MergeCase{"a=1;", "", "a=1"},
                                           MergeCase{"a=1", "a=1", "a=1"},
                                           MergeCase{"", "x=1; x=1", "x=1"},        // exact duplicates removed
                                           MergeCase{"", "x=1; x=2", "x=1; x=2"},
                                           MergeCase{" a = 1", "a=2", "a=2"},       // names compared trimmed
                                           MergeCase{"flag", "flag=1", "flag=1"}));

TEST(CookieName, PartBeforeTheFirstEqualsSignTrimmed) {
  EXPECT_EQ(CookieName("a=1"), "a");
  EXPECT_EQ(CookieName(" a =1"), "a");
  EXPECT_EQ(CookieName("a=b=c"), "a");
  EXPECT_EQ(CookieName(" novalue "), "novalue");
  EXPECT_EQ(CookieName("=v"), "");
  EXPECT_EQ(CookieName(""), "");
}

TEST(RemoveDuplicates, KeepsTheFirstOfEqualItems) {
  EXPECT_EQ(RemoveDuplicates("a=1; a=1", "; "), "a=1");
  EXPECT_EQ(RemoveDuplicates("a=1; a=2", "; "), "a=1; a=2");
  EXPECT_EQ(RemoveDuplicates("a,b,a,c,b", ","), "a,b,c");
  EXPECT_EQ(RemoveDuplicates("", "; "), "");
  EXPECT_EQ(RemoveDuplicates("a", "; "), "a");
  // '|' is also a GBK trail byte: "\x81\x7C" is one character, not "\x81" and a delimiter.
  EXPECT_EQ(RemoveDuplicates("\x81\x7C|\x81\x7C|x", "|"), "\x81\x7C|x");
}

}  // namespace
}  // namespace uptorra
