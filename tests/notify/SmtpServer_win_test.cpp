// The real client (Winsock, SChannel) against a real SMTP server on loopback (aiosmtpd, started
// by the CTest fixture). What arrives is read back through Python's e-mail parser.
#include <gtest/gtest.h>

#include <cstdio>

#include "notify/MailReport.h"
#include "notify/SmtpClient.h"
#include "notify/SmtpPlatform_win.h"
#include "notify/SmtpSocket_win.h"
#include "notify/SmtpTls_win.h"
#include "SmtpPeer_win.h"

namespace uptorra {
namespace {

using test::SmtpPeer;
using test::Utf8;

constexpr int kTimeout = 3000;
constexpr DWORD kArrival = 10000;

// Implicit TLS decided by the port (465, 994) cannot be shown on the peer's free ports; this
// platform asks for it on any port, everything else as the real one.
class ImplicitTlsPlatform : public WindowsSmtpPlatform {
 public:
  std::unique_ptr<SmtpChannel> Open(const std::string& host, int port, bool, int timeoutMs,
                                    SmtpFailure& failure) override {
    return WindowsSmtpPlatform::Open(host, port, true, timeoutMs, failure);
  }
};

std::string TextOfJson(const nlohmann::json& value) { return value.is_string() ? value.get<std::string>() : "<null>"; }

// The peer's decoded body, with the line ends the parser keeps made plain.
std::string BodyOf(const nlohmann::json& mail) {
  std::string body = TextOfJson(mail["body"]);
  std::string out;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') continue;
    out += body[i];
  }
  return out;
}

// A port on loopback where nobody listens: bound, read, released.
int ClosedPort() {
  WinsockSession winsock;
  UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int size = sizeof addr;
  ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&addr), &size);
  return ntohs(addr.sin_port);
}

TEST(SmtpServer, DeliversAMessageThatDecodesBackToTheSameTexts) {
  UPTORRA_REQUIRE_SMTP_PEER();
  struct Case {
    Text subject;
    Text nickname;
    Text body;
    std::string subjectUtf8;
    std::string nicknameUtf8;
    std::string bodyUtf8;
  };
  const Case cases[] = {
      {Text(kStatusMailSubject), "KWO提醒助手", "", Utf8(u8"KWO提醒：网络监测程序运行正常。"), Utf8(u8"KWO提醒助手"), ""},
      // Long enough to be folded over several encoded words; a display name with characters
      // that would otherwise need quoting; a body with lines that start with a dot.
      {"监测报告：主机一、主机二、主机三、主机四、主机五、主机六、主机七均已恢复正常，请知悉。",
       "Ops, \"Night\" <team>", "第一行\r\n.第二行以点开头\r\n..\r\n末行",
       Utf8(u8"监测报告：主机一、主机二、主机三、主机四、主机五、主机六、主机七均已恢复正常，请知悉。"),
       "Ops, \"Night\" <team>", Utf8(u8"第一行\n.第二行以点开头\n..\n末行")},
      {"plain ASCII subject", "", "x", "plain ASCII subject", "", "x"},
  };
  for (const Case& c : cases) {
    const std::string recipient = SmtpPeer::UniqueRecipient("decode");
    WindowsSmtpPlatform platform;
    SmtpClient client(platform);
    ASSERT_EQ(client.Connect("127.0.0.1", SmtpPeer::Port("plain"), SmtpPeer::kUser, SmtpPeer::kPassword, kTimeout), 1)
        << SmtpFailureName(client.LastFailure());
    ASSERT_TRUE(client.Send(c.subject, c.body, recipient, SenderText(c.nickname, SmtpPeer::kUser)))
        << SmtpFailureName(client.LastFailure());
    client.Close();

    const auto mail = SmtpPeer::WaitForMail(recipient, 1, kArrival);
    ASSERT_TRUE(mail) << c.subjectUtf8;
    EXPECT_EQ(TextOfJson((*mail)["subject"]), c.subjectUtf8);
    EXPECT_EQ(TextOfJson((*mail)["from_name"]), c.nicknameUtf8);
    EXPECT_EQ(TextOfJson((*mail)["from_address"]), SmtpPeer::kUser);
    EXPECT_EQ(TextOfJson((*mail)["to_address"]), recipient);
    EXPECT_EQ((*mail)["rcpt_tos"], nlohmann::json::array({recipient}));
    EXPECT_EQ(TextOfJson((*mail)["mail_from"]), SmtpPeer::kUser);
    EXPECT_EQ(BodyOf(*mail), c.bodyUtf8);
    EXPECT_EQ(TextOfJson((*mail)["mime_version"]), "1.0");
    EXPECT_EQ(TextOfJson((*mail)["charset"]), "utf-8");
    EXPECT_TRUE((*mail)["date_parsed"].get<bool>());
    EXPECT_NE(TextOfJson((*mail)["message_id"]).find("@uptorra.test>"), std::string::npos);
    EXPECT_TRUE((*mail)["defects"].empty()) << (*mail)["defects"].dump();
    EXPECT_EQ(TextOfJson((*mail)["login"]), SmtpPeer::kUser);
  }
}

TEST(SmtpServer, LogInWithRightAndWrongPasswords) {
  UPTORRA_REQUIRE_SMTP_PEER();
  struct Case {
    const char* listener;
    const char* password;
    int connected;
    SmtpFailure failure;
    const char* mechanism;
  };
  const Case cases[] = {
      {"plain", SmtpPeer::kPassword, 1, SmtpFailure::None, "LOGIN"},  // LOGIN preferred when offered
      {"plain", "Wrong-Code", 0, SmtpFailure::LoginRefused, nullptr},
      {"plainonly", SmtpPeer::kPassword, 1, SmtpFailure::None, "PLAIN"},
      {"plainonly", "Wrong-Code", 0, SmtpFailure::LoginRefused, nullptr},
      {"plain", "", 0, SmtpFailure::LoginRefused, nullptr},
  };
  for (const Case& c : cases) {
    WindowsSmtpPlatform platform;
    SmtpClient client(platform);
    EXPECT_EQ(client.Connect("127.0.0.1", SmtpPeer::Port(c.listener), SmtpPeer::kUser, c.password, kTimeout),
              c.connected)
        << c.listener << " " << c.password;
    EXPECT_EQ(client.LastFailure(), c.failure) << SmtpFailureName(client.LastFailure());
    if (!c.connected) continue;
    const std::string recipient = SmtpPeer::UniqueRecipient(c.listener);
    ASSERT_TRUE(client.Send("auth", "", recipient, SenderText("", SmtpPeer::kUser)));
    const auto mail = SmtpPeer::WaitForMail(recipient, 1, kArrival);
    ASSERT_TRUE(mail);
    EXPECT_EQ(TextOfJson((*mail)["auth_mechanism"]), c.mechanism);
  }
}

TEST(SmtpServer, RefusalsAfterConnectingFailTheSendAndKeepTheConnectionUsable) {
  UPTORRA_REQUIRE_SMTP_PEER();
  struct Case {
    const char* recipient;
    const char* sender;
    SmtpFailure failure;
  };
  const Case cases[] = {
      {"refused@uptorra.test", SmtpPeer::kUser, SmtpFailure::RecipientRefused},
      {"nodata@uptorra.test", SmtpPeer::kUser, SmtpFailure::DataRefused},
      {"someone@uptorra.test", "banned@uptorra.test", SmtpFailure::SenderRefused},
  };
  for (const Case& c : cases) {
    WindowsSmtpPlatform platform;
    SmtpClient client(platform);
    ASSERT_EQ(client.Connect("127.0.0.1", SmtpPeer::Port("plain"), SmtpPeer::kUser, SmtpPeer::kPassword, kTimeout), 1);
    EXPECT_FALSE(client.Send("refused", "", c.recipient, SenderText("M", c.sender))) << c.recipient;
    EXPECT_EQ(client.LastFailure(), c.failure) << SmtpFailureName(client.LastFailure());
    const std::string next = SmtpPeer::UniqueRecipient("after-refusal");
    EXPECT_TRUE(client.Send("next", "", next, SenderText("M", SmtpPeer::kUser)));
    EXPECT_TRUE(SmtpPeer::WaitForMail(next, 1, kArrival));
  }
}

TEST(SmtpServer, AServerThatHangsUpMidwayIsAFailure) {
  UPTORRA_REQUIRE_SMTP_PEER();
  WindowsSmtpPlatform platform;
  SmtpClient client(platform);
  ASSERT_EQ(client.Connect("127.0.0.1", SmtpPeer::Port("plain"), SmtpPeer::kUser, SmtpPeer::kPassword, kTimeout), 1);
  EXPECT_FALSE(client.Send("dropped", "", "drop@uptorra.test", SenderText("M", SmtpPeer::kUser)));
  EXPECT_EQ(client.LastFailure(), SmtpFailure::ConnectionLost);
  EXPECT_FALSE(client.IsConnected());
}

TEST(SmtpServer, ConnectionFailures) {
  UPTORRA_REQUIRE_SMTP_PEER();
  struct Case {
    const char* what;
    Text server;
    int port;
    SmtpFailure failure;
    ULONGLONG minMs;  // a lower bound only where the time-out itself is the point
  };
  const Case cases[] = {
      {"never greets", "127.0.0.1", SmtpPeer::Port("silent"), SmtpFailure::NoGreeting, 2000},
      {"nobody listens", "127.0.0.1", ClosedPort(), SmtpFailure::ConnectFailed, 0},
      {"empty server name", "", 25, SmtpFailure::BadServerName, 0},
      {"port 0", "127.0.0.1", 0, SmtpFailure::BadPort, 0},
  };
  for (const Case& c : cases) {
    WindowsSmtpPlatform platform;
    SmtpClient client(platform);
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(client.Connect(c.server, c.port, SmtpPeer::kUser, SmtpPeer::kPassword, kTimeout), 0) << c.what;
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_EQ(client.LastFailure(), c.failure) << c.what << ": " << SmtpFailureName(client.LastFailure());
    EXPECT_GE(elapsed, c.minMs) << c.what;
    EXPECT_LT(elapsed, 8000u) << c.what << " hung past its 3000 ms";
  }
}

TEST(SmtpServer, OpenRelayTakesMailWithoutLogIn) {
  UPTORRA_REQUIRE_SMTP_PEER();
  WindowsSmtpPlatform platform;
  SmtpClient client(platform);
  ASSERT_EQ(client.Connect("127.0.0.1", SmtpPeer::Port("open"), SmtpPeer::kUser, SmtpPeer::kPassword, kTimeout), 1);
  const std::string recipient = SmtpPeer::UniqueRecipient("relay");
  ASSERT_TRUE(client.Send("relay", "", recipient, SenderText("M", SmtpPeer::kUser)));
  const auto mail = SmtpPeer::WaitForMail(recipient, 1, kArrival);
  ASSERT_TRUE(mail);
  EXPECT_TRUE((*mail)["login"].is_null());
  EXPECT_FALSE((*mail)["tls"].get<bool>());
}

// --- TLS ----------------------------------------------------------------------------------

struct TlsCase {
  const char* what;
  const char* host;
  const char* listener;
  bool implicitTls;
};

void ExpectEncryptedDelivery(const TlsCase& c, SmtpPlatform& platform, const TlsReport& report) {
  SmtpClient client(platform);
  ASSERT_EQ(client.Connect(c.host, SmtpPeer::Port(c.listener), SmtpPeer::kUser, SmtpPeer::kPassword, kTimeout), 1)
      << c.what << ": " << SmtpFailureName(client.LastFailure()) << ", certificate error 0x" << std::hex
      << report.certificateError << ", status 0x" << report.status;
  EXPECT_TRUE(client.IsEncrypted()) << c.what;
  std::printf("%s: %s\n", c.what, TlsProtocolName(report.protocol));
  const std::string recipient = SmtpPeer::UniqueRecipient("tls");
  ASSERT_TRUE(client.Send(Text(kStatusMailSubject), "", recipient, SenderText("KWO提醒助手", SmtpPeer::kUser)));
  const auto mail = SmtpPeer::WaitForMail(recipient, 1, kArrival);
  ASSERT_TRUE(mail) << c.what;
  EXPECT_TRUE((*mail)["tls"].get<bool>()) << c.what;
  EXPECT_EQ(TextOfJson((*mail)["listener"]), c.listener);
  EXPECT_EQ(TextOfJson((*mail)["subject"]), Utf8(u8"KWO提醒：网络监测程序运行正常。"));
  EXPECT_EQ(TextOfJson((*mail)["login"]), SmtpPeer::kUser);
}

TEST(SmtpServer, StartTlsAndImplicitTlsWithTheCertificateChecked) {
  UPTORRA_REQUIRE_SMTP_PEER();
  const TlsCase cases[] = {
      {"STARTTLS to localhost", "localhost", "starttls", false},
      {"implicit TLS to localhost", "localhost", "implicit", true},
  };
  for (const TlsCase& c : cases) {
    WindowsSmtpPlatform plain;
    ImplicitTlsPlatform implicit;
    WindowsSmtpPlatform& platform = c.implicitTls ? implicit : plain;
    ExpectEncryptedDelivery(c, platform, platform.lastTls());
  }
}

TEST(SmtpServer, CertificateForAnIpAddress) {
  UPTORRA_REQUIRE_SMTP_PEER();
  WindowsSmtpPlatform platform;
  ExpectEncryptedDelivery({"STARTTLS to 127.0.0.1", "127.0.0.1", "starttls", false}, platform, platform.lastTls());
}

TEST(SmtpServer, Port465SpeaksTlsFromTheFirstByte) {
  UPTORRA_REQUIRE_SMTP_PEER();
  if (SmtpPeer::Port("implicit465") != 465) GTEST_SKIP() << "port 465 of 127.0.0.1 was not free for the peer";
  WindowsSmtpPlatform platform;
  ExpectEncryptedDelivery({"port 465", "localhost", "implicit465", false}, platform, platform.lastTls());
}

TEST(SmtpServer, CertificatesThatDoNotProveTheServerAreRefused) {
  UPTORRA_REQUIRE_SMTP_PEER();
  struct Case {
    const char* what;
    const char* host;
    const char* listener;
    HRESULT certificateError;
  };
  const Case cases[] = {
      {"host name not in the certificate", "localhost", "wrongname", CERT_E_CN_NO_MATCH},
      {"address not in the certificate", "127.0.0.2", "mismatch", CERT_E_CN_NO_MATCH},
      {"self-signed, not trusted", "localhost", "untrusted", CERT_E_UNTRUSTEDROOT},
  };
  for (const Case& c : cases) {
    WindowsSmtpPlatform platform;
    SmtpClient client(platform);
    EXPECT_EQ(client.Connect(c.host, SmtpPeer::Port(c.listener), SmtpPeer::kUser, SmtpPeer::kPassword, kTimeout), 0)
        << c.what;
    EXPECT_EQ(client.LastFailure(), SmtpFailure::TlsFailed) << c.what;
    EXPECT_TRUE(platform.lastTls().attempted) << c.what;
    EXPECT_EQ(platform.lastTls().certificateError, static_cast<DWORD>(c.certificateError))
        << c.what << ": 0x" << std::hex << platform.lastTls().certificateError;
  }
}

}  // namespace
}  // namespace uptorra
