#include "notify/HttpUrl.h"

#include <gtest/gtest.h>

#include <ostream>

namespace uptorra {
namespace {

struct UrlCase {
  const char* url;
  const char* host;
  const char* hostWithPort;
  int port;
  const char* path;
  bool secure;
  friend std::ostream& operator<<(std::ostream& os, const UrlCase& c) { return os << c.url; }
};

class UrlPartsTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlPartsTest, HostPortPathAndScheme) {
  const UrlCase& c = GetParam();
  EXPECT_EQ(UrlHost(c.url), c.host);
  EXPECT_EQ(UrlHost(c.url, true), c.hostWithPort);
  EXPECT_EQ(UrlPort(c.url), c.port);
  EXPECT_EQ(UrlPath(c.url), c.path);
  EXPECT_EQ(UrlIsSecure(c.url), c.secure);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UrlPartsTest,
    ::testing::Values(
        // No scheme counts as http on port 80.
        UrlCase{"push.example.com/api/send", "push.example.com", "push.example.com", 80, "/api/send", false},
        UrlCase{"127.0.0.1:8080/api", "127.0.0.1", "127.0.0.1:8080", 8080, "/api", false},
        UrlCase{"https://example.com:8443/x", "example.com", "example.com:8443", 8443, "/x", true},
        UrlCase{"https://example.com/x", "example.com", "example.com", 443, "/x", true},
        UrlCase{"HTTPS://Secure.Example/", "secure.example", "secure.example", 443, "/", true},
        // The host is lowered; the path keeps its letter case.
        UrlCase{"http://WWW.Example.COM/Path/To", "www.example.com", "www.example.com", 80, "/Path/To", false},
        UrlCase{"http://example.com", "example.com", "example.com", 80, "/", false},  // no path
        UrlCase{"http://example.com:8080", "example.com", "example.com:8080", 8080, "/", false},
        UrlCase{"http://h.example/p?q=1&r=A#Frag", "h.example", "h.example", 80, "/p?q=1&r=A#Frag", false},
        UrlCase{"http://example.com:80x/", "example.com", "example.com:80x", 80, "/", false},  // leading digits
        UrlCase{"ftp.example/x", "ftp.example", "ftp.example", 80, "/x", false},
        // Hosts that also occur inside the scheme: the path is still the one behind the host.
        UrlCase{"http://t/x", "t", "t", 80, "/x", false},
        UrlCase{"https://ps:8443/api?a=1", "ps", "ps:8443", 8443, "/api?a=1", true},
        UrlCase{"HTTP://Http/Y", "http", "http", 80, "/Y", false},
        UrlCase{"http://h", "h", "h", 80, "/", false},
        UrlCase{"http:///x", "", "", 80, "/x", false}));

}  // namespace
}  // namespace uptorra
