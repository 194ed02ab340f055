// The platform probes against loopback: every 127.0.0.0/8 address answers the echo here, and
// the test's own listening socket stands for an open port.
#include "core/HostAddress_win.h"
#include "core/IcmpProbe_win.h"
#include "core/TcpProbe_win.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/MonitorTexts.h"

namespace uptorra {
namespace {

TEST(IcmpProbe, LoopbackAddressesAnswerWithTheirRoundTrip) {
  for (const char* host : {"127.0.0.1", "127.0.0.9", "localhost", ""}) {
    const std::int32_t ms = IcmpEchoProbe(host, kIcmpTimeoutMs);
    EXPECT_GE(ms, 0) << "host '" << host << "'";
    EXPECT_LT(ms, kIcmpTimeoutMs) << "host '" << host << "'";
  }
}

TEST(IcmpProbe, ManyThreadsAtOnceAllGetTheirAnswer) {
  std::vector<std::thread> threads;
  std::atomic<int> answered{0};
  for (int i = 0; i < 64; ++i) {
    threads.emplace_back([&, i] {
      for (int n = 0; n < 5; ++n) {
        if (IcmpEchoProbe("127.0.1." + DecimalText(i + 1), kIcmpTimeoutMs) >= 0) ++answered;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(answered.load(), 64 * 5);
}

class Listener {
 public:
  Listener() {
    EXPECT_TRUE(EnsureWinsock());
    s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    int length = sizeof a;
    getsockname(s_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
  }
  ~Listener() { Close(); }
  void Listen() { EXPECT_EQ(listen(s_, 16), 0); }
  void Close() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
    s_ = INVALID_SOCKET;
  }
  int Port() const { return port_; }

 private:
  SOCKET s_ = INVALID_SOCKET;
  int port_ = 0;
};

TEST(TcpProbe, ListeningPortIsAcceptedByAddressAndByName) {
  Listener listener;
  listener.Listen();
  EXPECT_TRUE(TcpPortProbe(listener.Port(), "127.0.0.1"));
  EXPECT_TRUE(TcpPortProbe(listener.Port(), "localhost"));
  EXPECT_TRUE(TcpPortProbe(listener.Port(), ""));  // the empty address is this machine
}

TEST(TcpProbe, ClosedAndImpossiblePortsAreRefused) {
  Listener listener;
  const int closed = listener.Port();
  listener.Close();  // nothing listens there now: the connection is refused at once
  EXPECT_FALSE(TcpPortProbe(closed, "127.0.0.1"));
  EXPECT_FALSE(TcpPortProbe(0, "127.0.0.1"));
  EXPECT_FALSE(TcpPortProbe(-80, "127.0.0.1"));
  // 65536 + port must not wrap round to the port.
  Listener open;
  open.Listen();
  EXPECT_FALSE(TcpPortProbe(65536 + open.Port(), "127.0.0.1"));
}

TEST(MonitorTexts, AreGbkBytes) {
  EXPECT_EQ(kStatusStopped, "\xCD\xA3\xD6\xB9\xBC\xE0\xB2\xE2");
  EXPECT_EQ(kStatusTesting, "\xD5\xFD\xD4\xDA\xB2\xE2\xCA\xD4");
  EXPECT_EQ(std::string(kStatusFailed) + std::string(kPushSucceeded),
            "\xCD\xA8\xD0\xC5\xCA\xA7\xB0\xDC,\xCE\xA2\xD0\xC5\xCD\xC6\xCB\xCD\xB3\xC9\xB9\xA6");
  EXPECT_EQ(kStatusIcmpOk, "ICMP\xCD\xA8\xD0\xC5\xD5\xFD\xB3\xA3, ");
}

}  // namespace
}  // namespace uptorra
