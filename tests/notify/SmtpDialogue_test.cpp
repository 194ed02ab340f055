// The SMTP dialogue against a scripted server: which log-in, when TLS, what goes out, and how
// each refusal ends.
#include <gtest/gtest.h>

#include "notify/SmtpClient.h"
#include "notify/SmtpText.h"
#include "SmtpFakeServer.h"

namespace uptorra {
namespace {

using test::FakeSmtpServer;

constexpr int kTimeout = 3000;
const Text kUser = "user";
const Text kPassword = "secret";

int ConnectTo(SmtpClient& client, int port = 587, const Text& server = "smtp.fake.test") {
  return client.Connect(server, port, kUser, kPassword, kTimeout);
}

// --- log-in -------------------------------------------------------------------------------

TEST(SmtpDialogue, LogsInWithLoginWhenOfferedBesidePlain) {
  FakeSmtpServer server;
  SmtpClient client(server);
  ASSERT_EQ(ConnectTo(client), 1);
  EXPECT_TRUE(server.Sent("AUTH LOGIN"));
  EXPECT_TRUE(server.Sent(Base64Encode("user")));
  EXPECT_TRUE(server.Sent(Base64Encode("secret")));
  EXPECT_EQ(server.IndexOf("AUTH PLAIN"), -1);
  EXPECT_EQ(server.commands.front(), "EHLO [192.0.2.7]");
}

TEST(SmtpDialogue, LogsInWithPlainWhenLoginIsNotOffered) {
  FakeSmtpServer server;
  server.ehloReply = "250-fake.test\r\n250 AUTH PLAIN CRAM-MD5\r\n";
  SmtpClient client(server);
  ASSERT_EQ(ConnectTo(client), 1);
  EXPECT_TRUE(server.Sent("AUTH PLAIN " + Base64Encode(std::string("\0user\0secret", 12))));
  EXPECT_EQ(server.IndexOf("AUTH LOGIN"), -1);
}

TEST(SmtpDialogue, UnderstandsTheOldAuthEqualsAnnouncement) {
  FakeSmtpServer server;
  server.ehloReply = "250-fake.test\r\n250 AUTH=LOGIN\r\n";
  SmtpClient client(server);
  ASSERT_EQ(ConnectTo(client), 1);
  EXPECT_TRUE(server.Sent("AUTH LOGIN"));
}

TEST(SmtpDialogue, WrongPasswordFailsTheConnection) {
  for (const char* ehlo : {"250-fake.test\r\n250 AUTH LOGIN PLAIN\r\n", "250-fake.test\r\n250 AUTH PLAIN\r\n"}) {
    FakeSmtpServer server;
    server.ehloReply = ehlo;
    server.password = "other";
    SmtpClient client(server);
    EXPECT_EQ(ConnectTo(client), 0) << ehlo;
    EXPECT_EQ(client.LastFailure(), SmtpFailure::LoginRefused) << ehlo;
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(server.channelsAlive, 0);
  }
}

TEST(SmtpDialogue, OnlyUnknownMechanismsFailWithoutSendingThePassword) {
  FakeSmtpServer server;
  server.ehloReply = "250-fake.test\r\n250 AUTH CRAM-MD5 XOAUTH2\r\n";
  SmtpClient client(server);
  EXPECT_EQ(ConnectTo(client), 0);
  EXPECT_EQ(client.LastFailure(), SmtpFailure::LoginUnsupported);
  EXPECT_EQ(server.IndexOf("AUTH"), -1);
}

TEST(SmtpDialogue, NoLogInWhenTheServerOffersNoneOrNoAccountIsGiven) {
  FakeSmtpServer relay;
  relay.ehloReply = "250-fake.test\r\n250 8BITMIME\r\n";
  SmtpClient toRelay(relay);
  EXPECT_EQ(ConnectTo(toRelay), 1);
  EXPECT_EQ(relay.IndexOf("AUTH"), -1);

  FakeSmtpServer server;
  SmtpClient anonymous(server);
  EXPECT_EQ(anonymous.Connect("smtp.fake.test", 25, "", "", kTimeout), 1);
  EXPECT_EQ(server.IndexOf("AUTH"), -1);
}

TEST(SmtpDialogue, FallsBackToHeloWhenEhloIsUnknown) {
  FakeSmtpServer server;
  server.ehloReply = "502 Command not implemented\r\n";
  SmtpClient client(server);
  ASSERT_EQ(ConnectTo(client), 1);
  EXPECT_TRUE(server.Sent("HELO [192.0.2.7]"));
  EXPECT_EQ(server.IndexOf("AUTH"), -1);  // HELO announces nothing to log in with
}

// --- TLS ----------------------------------------------------------------------------------

TEST(SmtpDialogue, UpgradesWithStartTlsBeforeLoggingIn) {
  FakeSmtpServer server;
  server.ehloReply = "250-fake.test\r\n250-STARTTLS\r\n250 HELP\r\n";  // AUTH only after TLS
  SmtpClient client(server);
  ASSERT_EQ(ConnectTo(client), 1);
  EXPECT_TRUE(client.IsEncrypted());
  EXPECT_EQ(server.startTlsCalls, 1);
  ASSERT_GE(server.commands.size(), 4u);
  EXPECT_EQ(server.commands[0], "EHLO [192.0.2.7]");
  EXPECT_EQ(server.commands[1], "STARTTLS");
  EXPECT_EQ(server.commands[2], "EHLO [192.0.2.7]");  // the extensions count anew under TLS
  EXPECT_EQ(server.commands[3], "AUTH LOGIN");
}

TEST(SmtpDialogue, TlsThatFailsOrIsRefusedNeverFallsBackToPlainLogIn) {
  struct Case {
    const char* what;
    bool tlsFails;
    const char* starttlsReply;
    SmtpFailure failure;
  };
  for (const Case& c : {Case{"handshake fails", true, "220 Go ahead\r\n", SmtpFailure::TlsFailed},
                        Case{"refused", false, "454 TLS not available\r\n", SmtpFailure::Refused},
                        Case{"bytes ahead of TLS", false, "220 Go ahead\r\n250 injected\r\n",
                             SmtpFailure::ProtocolError}}) {
    FakeSmtpServer server;
    server.ehloReply = "250-fake.test\r\n250-STARTTLS\r\n250 AUTH LOGIN PLAIN\r\n";
    server.tlsFails = c.tlsFails;
    server.replies["STARTTLS"] = c.starttlsReply;
    SmtpClient client(server);
    EXPECT_EQ(ConnectTo(client), 0) << c.what;
    EXPECT_EQ(client.LastFailure(), c.failure) << c.what;
    EXPECT_EQ(server.IndexOf("AUTH"), -1) << c.what;
  }
}

TEST(SmtpDialogue, ImplicitTlsOnPorts465And994Only) {
  struct Case {
    int port;
    bool implicitTls;
  };
  for (const Case c : {Case{465, true}, Case{994, true}, Case{587, false}, Case{25, false}, Case{2525, false}}) {
    FakeSmtpServer server;
    SmtpClient client(server);
    ASSERT_EQ(ConnectTo(client, c.port), 1) << c.port;
    ASSERT_EQ(server.opens.size(), 1u);
    EXPECT_EQ(server.opens[0].port, c.port);
    EXPECT_EQ(server.opens[0].implicitTls, c.implicitTls) << c.port;
    EXPECT_EQ(client.IsEncrypted(), c.implicitTls) << c.port;
  }
}

// --- connection failures ------------------------------------------------------------------

TEST(SmtpDialogue, BadNamesAndPortsFailBeforeAnyTraffic) {
  struct Case {
    Text server;
    int port;
    SmtpFailure failure;
  };
  const Case cases[] = {
      {"", 25, SmtpFailure::BadServerName},
      {"smtp.example.com(\xCA\xBE\xC0\xFD)", 25, SmtpFailure::BadServerName},  // "(示例)" in GBK
      {"smtp example.com", 25, SmtpFailure::BadServerName},
      {"smtp.fake.test", 0, SmtpFailure::BadPort},
      {"smtp.fake.test", -25, SmtpFailure::BadPort},
      {"smtp.fake.test", 65536, SmtpFailure::BadPort},
  };
  for (const Case& c : cases) {
    FakeSmtpServer server;
    SmtpClient client(server);
    EXPECT_EQ(client.Connect(c.server, c.port, kUser, kPassword, kTimeout), 0) << c.server << ":" << c.port;
    EXPECT_EQ(client.LastFailure(), c.failure) << c.server << ":" << c.port;
    EXPECT_TRUE(server.opens.empty()) << c.server;
  }
}

TEST(SmtpDialogue, GreetingFailures) {
  struct Case {
    const char* what;
    std::string greeting;
    SmtpFailure failure;
  };
  const Case cases[] = {
      {"silent", "", SmtpFailure::NoGreeting},
      {"refusing", "554 No service for you\r\n", SmtpFailure::Refused},
      {"not SMTP", "HTTP/1.1 400 Bad Request\r\n", SmtpFailure::ProtocolError},
  };
  for (const Case& c : cases) {
    FakeSmtpServer server;
    server.greeting = c.greeting;
    SmtpClient client(server);
    EXPECT_EQ(ConnectTo(client), 0) << c.what;
    EXPECT_EQ(client.LastFailure(), c.failure) << c.what;
    EXPECT_EQ(server.channelsAlive, 0) << c.what;
  }
}

TEST(SmtpDialogue, AReplyThatTricklesPastTheTimeOutFails) {
  FakeSmtpServer server;
  server.trickle = [] { return std::string("2"); };  // one byte per read, the line never ends...
  server.clockStepOnRead = 1000;                     // ...and each read takes a second
  SmtpClient client(server);
  EXPECT_EQ(ConnectTo(client), 0);
  EXPECT_EQ(client.LastFailure(), SmtpFailure::NoGreeting);
  EXPECT_LE(server.clock, 5000u);
}

TEST(SmtpDialogue, AnEndlessLineIsNotSwallowed) {
  FakeSmtpServer server;
  server.trickle = [] { return std::string(1000, 'x'); };
  SmtpClient client(server);
  EXPECT_EQ(ConnectTo(client), 0);
  EXPECT_EQ(client.LastFailure(), SmtpFailure::ProtocolError);
}

TEST(SmtpDialogue, UnreachableServerReportsConnectFailed) {
  FakeSmtpServer server;
  server.openFails = true;
  SmtpClient client(server);
  EXPECT_EQ(ConnectTo(client), 0);
  EXPECT_EQ(client.LastFailure(), SmtpFailure::ConnectFailed);
}

TEST(SmtpDialogue, ANewConnectClosesTheEarlierConnection) {
  FakeSmtpServer server;
  SmtpClient client(server);
  ASSERT_EQ(ConnectTo(client), 1);
  ASSERT_EQ(ConnectTo(client), 1);
  EXPECT_EQ(server.opens.size(), 2u);
  EXPECT_EQ(server.channelsAlive, 1);
  EXPECT_TRUE(server.Sent("QUIT"));
}

// --- sending ------------------------------------------------------------------------------

TEST(SmtpDialogue, SendsEnvelopeAndDotStuffedMessage) {
  FakeSmtpServer server;
  SmtpClient client(server);
  ASSERT_EQ(ConnectTo(client), 1);
  ASSERT_TRUE(client.Send("Status", "line one\n.hidden dot\n", "ops@fake.test", "Monitor<monitor@fake.test>"));
  EXPECT_TRUE(server.Sent("MAIL FROM:<monitor@fake.test>"));
  EXPECT_TRUE(server.Sent("RCPT TO:<ops@fake.test>"));
  EXPECT_TRUE(server.Sent("DATA"));
  ASSERT_EQ(server.messages.size(), 1u);
  const std::string& data = server.messages[0];
  EXPECT_NE(data.find("From: Monitor <monitor@fake.test>\r\n"), std::string::npos);
  EXPECT_NE(data.find("To: <ops@fake.test>\r\n"), std::string::npos);
  EXPECT_NE(data.find("Subject: Status\r\n"), std::string::npos);
  EXPECT_NE(data.find("Date: Tue, 05 Mar 2024 09:07:03 +0800\r\n"), std::string::npos);
  EXPECT_NE(data.find("Message-ID: <token1@fake.test>\r\n"), std::string::npos);
  EXPECT_NE(data.find("\r\n\r\n" + Base64Encode("line one\r\n.hidden dot\r\n")), std::string::npos);
  EXPECT_EQ(data.substr(data.size() - 5), "\r\n.\r\n");
  client.Close();
  EXPECT_EQ(server.commands.back(), "QUIT");
  EXPECT_EQ(server.channelsAlive, 0);
}

TEST(SmtpDialogue, EmptyNicknameGivesABareAngleAddress) {
  FakeSmtpServer server;
  SmtpClient client(server);
  ASSERT_EQ(ConnectTo(client), 1);
  ASSERT_TRUE(client.Send("S", "", "ops@fake.test", "<monitor@fake.test>"));
  EXPECT_EQ(server.messages[0].rfind("From: <monitor@fake.test>\r\n", 0), 0u);
  EXPECT_TRUE(server.Sent("MAIL FROM:<monitor@fake.test>"));
}

TEST(SmtpDialogue, RefusalsAfterTheConnectionFailTheSend) {
  struct Case {
    const char* what;
    std::function<void(FakeSmtpServer&)> arrange;
    SmtpFailure failure;
    bool connectionKept;
  };
  const Case cases[] = {
      {"sender refused", [](FakeSmtpServer& s) { s.replies["MAIL"] = "553 Sender refused\r\n"; },
       SmtpFailure::SenderRefused, true},
      {"recipient refused", [](FakeSmtpServer& s) { s.replies["RCPT"] = "550 No such user\r\n"; },
       SmtpFailure::RecipientRefused, true},
      {"DATA refused", [](FakeSmtpServer& s) { s.replies["DATA"] = "554 No\r\n"; }, SmtpFailure::DataRefused, true},
      {"message refused", [](FakeSmtpServer& s) { s.dataEndReply = "554 Spam\r\n"; }, SmtpFailure::DataRefused,
       true},
      {"hang-up at RCPT", [](FakeSmtpServer& s) { s.closeAfterVerb = "RCPT"; }, SmtpFailure::ConnectionLost, false},
  };
  for (const Case& c : cases) {
    FakeSmtpServer server;
    c.arrange(server);
    SmtpClient client(server);
    ASSERT_EQ(ConnectTo(client), 1) << c.what;
    EXPECT_FALSE(client.Send("S", "B", "ops@fake.test", "M<m@fake.test>")) << c.what;
    EXPECT_EQ(client.LastFailure(), c.failure) << c.what;
    EXPECT_EQ(client.IsConnected(), c.connectionKept) << c.what;
    // A refused step leaves the envelope reset for the next message.
    EXPECT_EQ(server.Sent("RSET"), c.connectionKept) << c.what;
  }
}

TEST(SmtpDialogue, AddressesThatWouldSmuggleCommandsAreRefused) {
  const Text bad[] = {"ops@fake.test>\r\nRCPT TO:<other@fake.test", "ops@fake.test\nDATA", "a b@fake.test", ""};
  for (const Text& recipient : bad) {
    FakeSmtpServer server;
    SmtpClient client(server);
    ASSERT_EQ(ConnectTo(client), 1);
    EXPECT_FALSE(client.Send("S", "B", recipient, "M<m@fake.test>"));
    EXPECT_EQ(client.LastFailure(), SmtpFailure::BadAddress);
    EXPECT_EQ(server.IndexOf("MAIL"), -1);
    EXPECT_EQ(server.IndexOf("RCPT"), -1);
  }
  FakeSmtpServer server;
  SmtpClient client(server);
  ASSERT_EQ(ConnectTo(client), 1);
  EXPECT_FALSE(client.Send("S", "B", "ops@fake.test", "M<m@fake.test>\r\nRSET"));
  EXPECT_EQ(client.LastFailure(), SmtpFailure::BadAddress);
}

TEST(SmtpDialogue, SendWithoutConnectionFails) {
  FakeSmtpServer server;
  SmtpClient client(server);
  EXPECT_FALSE(client.Send("S", "B", "ops@fake.test", "M<m@fake.test>"));
  EXPECT_EQ(client.LastFailure(), SmtpFailure::NotConnected);
  server.password = "other";
  EXPECT_EQ(ConnectTo(client), 0);
  EXPECT_FALSE(client.Send("S", "B", "ops@fake.test", "M<m@fake.test>"));
  EXPECT_EQ(client.LastFailure(), SmtpFailure::NotConnected);
  EXPECT_TRUE(server.messages.empty());
}

}  // namespace
}  // namespace uptorra
