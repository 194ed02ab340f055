// The mail reports as the window uses them: SendMailReport with MyConfig.ini, the status-mail
// timer event, the test-mail button, and the window staying live while a mail waits. The mails
// go to the loopback SMTP peer.
#include <gtest/gtest.h>

#include <cstdio>

#include "core/Config.h"
#include "notify/MailReport.h"
#include "notify/MailReport_win.h"
#include "MailScriptedWindow.h"
#include "SmtpPeer_win.h"
#include "support/TempDir_win.h"

namespace uptorra {
namespace {

using test::MailScriptedWindow;
using test::SmtpPeer;
using test::TempDir;
using test::Utf8;

constexpr DWORD kArrival = 10000;
const Text kUnchangedPane = "pane before the mail";

std::string TextOfJson(const nlohmann::json& value) { return value.is_string() ? value.get<std::string>() : "<null>"; }

struct MailSettings {
  Text server = "127.0.0.1";
  Text port;
  Text sender = SmtpPeer::kUser;
  Text nickname = "KWO提醒助手";
  Text code = SmtpPeer::kPassword;
  Text recipient;
};

class MailReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UPTORRA_REQUIRE_SMTP_PEER();
    state_.programDir = dir_.path();
  }

  void WriteSettings(const MailSettings& s) {
    const Text path = MailConfigPath(state_);
    WriteProfileText(path, kMailSection, kMailServerKey, s.server);
    WriteProfileText(path, kMailSection, kMailPortKey, s.port);
    WriteProfileText(path, kMailSection, kMailSenderKey, s.sender);
    WriteProfileText(path, kMailSection, kMailNicknameKey, s.nickname);
    WriteProfileText(path, kMailSection, kMailPasswordKey, s.code);
    WriteProfileText(path, kMailSection, kMailRecipientKey, s.recipient);
  }

  static Text PortText(const char* listener, const char* suffix = "") {
    return DecimalText(SmtpPeer::Port(listener)) + suffix;
  }

  TempDir dir_{"mail"};
  AppState state_;
};

// Read afresh at every mail; the port by its leading digits, so "(示例)" behind it does no harm.
// A refusal after the connection is a failure too, with its own text.
TEST_F(MailReportTest, StatusMailFromTheConfigurationFile) {
  struct Case {
    const char* what;
    MailSettings settings;
    int result;                 // SendMailReport
    std::string_view pane;      // what the timer event leaves in pane 1
    bool arrives;
  };
  const std::string good = SmtpPeer::UniqueRecipient("status");
  const std::string noName = SmtpPeer::UniqueRecipient("noname");
  const Case cases[] = {
      {"port text with the example suffix", {.port = PortText("plain", "(示例)"), .recipient = good}, 1, "", true},
      {"empty nickname", {.port = PortText("plain"), .nickname = "", .recipient = noName}, 1, "", true},
      {"wrong authorisation code", {.port = PortText("plain"), .code = "MoNpQrS", .recipient = good}, 0,
       kMailConnectFailedPane, false},
      {"recipient refused after connecting", {.port = PortText("plain"), .recipient = "refused@uptorra.test"}, 0,
       kMailSendFailedPane, false},
      {"empty port", {.port = "", .recipient = good}, 0, kMailConnectFailedPane, false},
      {"empty server", {.server = "", .port = PortText("plain"), .recipient = good}, 0, kMailConnectFailedPane, false},
      {"server that never greets", {.port = PortText("silent"), .recipient = good}, 0, kMailConnectFailedPane, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSettings(c.settings);
    const int mailsBefore = SmtpPeer::CountMails(c.settings.recipient);
    EXPECT_EQ(SendMailReport(state_, Text(kStatusMailSubject), Text()), c.result);

    MailScriptedWindow window;
    window.panes[kMailPane] = kUnchangedPane;
    const MailOutcome outcome = OnMailTimer(window, state_);
    EXPECT_EQ(outcome == MailOutcome::Sent, c.result == 1);
    EXPECT_EQ(window.panes[kMailPane], c.pane.empty() ? kUnchangedPane : Text(c.pane));
    EXPECT_EQ(window.panes[0], "");

    if (!c.arrives) continue;
    for (int n = mailsBefore + 1; n <= mailsBefore + 2; ++n) {  // one from each call
      const auto mail = SmtpPeer::WaitForMail(c.settings.recipient, n, kArrival);
      ASSERT_TRUE(mail);
      EXPECT_EQ(TextOfJson((*mail)["subject"]), Utf8(u8"KWO提醒：网络监测程序运行正常。"));
      EXPECT_EQ(TextOfJson((*mail)["from_name"]), c.settings.nickname.empty() ? "" : Utf8(u8"KWO提醒助手"));
      EXPECT_EQ(TextOfJson((*mail)["from_address"]), SmtpPeer::kUser);
      EXPECT_EQ((*mail)["rcpt_tos"], nlohmann::json::array({c.settings.recipient}));
      EXPECT_EQ(TextOfJson((*mail)["login"]), SmtpPeer::kUser);
    }
  }
}

TEST_F(MailReportTest, NewConfigurationHoldsExamplesThatFailTheConnection) {
  WriteDefaultConfig(MailConfigPath(state_));
  const MailAccount account = ReadMailAccount(MailConfigPath(state_));
  EXPECT_EQ(account.port, 25);  // "25(示例)"
  EXPECT_EQ(account.sender, SenderText("KWO提醒助手(示例)", account.user));
  MailScriptedWindow window;
  EXPECT_EQ(OnMailTimer(window, state_), MailOutcome::ConnectFailed);
  EXPECT_EQ(window.panes[kMailPane], kMailConnectFailedPane);
}

TEST_F(MailReportTest, PortTextByItsLeadingDigits) {
  const std::pair<Text, int> cases[] = {{"25(示例)", 25}, {"587", 587}, {"", 0}, {"端口25", 0}};
  for (const auto& [text, port] : cases) {
    WriteSettings({.port = text, .recipient = "ops@uptorra.test"});
    EXPECT_EQ(ReadMailAccount(MailConfigPath(state_)).port, port) << text;
  }
}

TEST_F(MailReportTest, NoConfigurationFileFailsTheConnection) {
  MailScriptedWindow window;
  EXPECT_EQ(SendMailReport(state_, Text(kStatusMailSubject), Text()), 0);
  EXPECT_EQ(OnMailTimer(window, state_), MailOutcome::ConnectFailed);
  EXPECT_EQ(window.panes[kMailPane], kMailConnectFailedPane);
}

TEST_F(MailReportTest, EditedSettingsCountFromTheNextMail) {
  const std::string first = SmtpPeer::UniqueRecipient("before-edit");
  const std::string second = SmtpPeer::UniqueRecipient("after-edit");
  WriteSettings({.port = PortText("plain"), .recipient = first});
  ASSERT_EQ(SendMailReport(state_, Text(kStatusMailSubject), Text()), 1);
  WriteSettings({.port = PortText("plain"), .recipient = second});
  ASSERT_EQ(SendMailReport(state_, Text(kStatusMailSubject), Text()), 1);
  EXPECT_TRUE(SmtpPeer::WaitForMail(first, 1, kArrival));
  EXPECT_TRUE(SmtpPeer::WaitForMail(second, 1, kArrival));
  EXPECT_EQ(SmtpPeer::CountMails(first), 1);
}

TEST_F(MailReportTest, TestMailButton) {
  const std::string recipient = SmtpPeer::UniqueRecipient("button");
  MailAccount account;
  account.server = "127.0.0.1";
  account.port = SmtpPeer::Port("plain");
  account.user = SmtpPeer::kUser;
  account.password = SmtpPeer::kPassword;
  account.sender = SenderText(kTestMailNickname, SmtpPeer::kUser);
  account.recipient = recipient;

  MailScriptedWindow window;
  window.panes[kMailPane] = kUnchangedPane;
  EXPECT_EQ(OnSendMailClicked(window, account), MailOutcome::Sent);
  EXPECT_EQ(window.panes[kMailPane], kUnchangedPane);
  const auto mail = SmtpPeer::WaitForMail(recipient, 1, kArrival);
  ASSERT_TRUE(mail);
  EXPECT_EQ(TextOfJson((*mail)["subject"]), Utf8(u8"KWO提醒：LWNF网络监测运行正常。"));
  EXPECT_EQ(TextOfJson((*mail)["from_name"]), Utf8(u8"KWO提醒助手"));
  EXPECT_TRUE((*mail)["body"].get<std::string>().empty());

  account.password = "wrong";
  EXPECT_EQ(OnSendMailClicked(window, account), MailOutcome::ConnectFailed);
  EXPECT_EQ(window.panes[kMailPane], kMailConnectFailedPane);
}

// --- the timer 时钟1 ----------------------------------------------------------------------

TEST_F(MailReportTest, TimerSendsTheStatusMailUntilDisarmed) {
  const std::string recipient = SmtpPeer::UniqueRecipient("timer");
  WriteSettings({.port = PortText("plain"), .recipient = recipient});
  MailScriptedWindow window(300);
  window.onTimer = [&] { OnMailTimer(window, state_); };
  window.checked[Control::选择框1] = true;

  ArmStatusMail(window);
  EXPECT_EQ(window.periodsSet, std::vector<std::uint32_t>{kStatusMailPeriodMs});
  EXPECT_EQ(SmtpPeer::CountMails(recipient), 0);  // not at once: one period after arming
  const auto mail = SmtpPeer::WaitForMail(recipient, 1, kArrival);
  ASSERT_TRUE(mail);
  EXPECT_EQ(TextOfJson((*mail)["subject"]), Utf8(u8"KWO提醒：网络监测程序运行正常。"));

  DisarmStatusMail(window);
  EXPECT_EQ(window.TimerPeriod(), 0u);
  const int events = window.timerEvents;
  const int mails = SmtpPeer::CountMails(recipient);
  EXPECT_FALSE(SmtpPeer::WaitForMail(recipient, mails + 1, 1500));  // five shortened periods
  EXPECT_EQ(window.timerEvents, events);
}

TEST_F(MailReportTest, TheCheckBoxIsReadOnlyWhenMonitoringStarts) {
  {
    SCOPED_TRACE("unticked at start: no status mail");
    const std::string recipient = SmtpPeer::UniqueRecipient("unticked");
    WriteSettings({.port = PortText("plain"), .recipient = recipient});
    MailScriptedWindow window(300);
    window.onTimer = [&] { OnMailTimer(window, state_); };
    ArmStatusMail(window);
    EXPECT_TRUE(window.periodsSet.empty());
    EXPECT_FALSE(SmtpPeer::WaitForMail(recipient, 1, 1500));
    EXPECT_EQ(window.timerEvents, 0);
  }
  {
    SCOPED_TRACE("unticked after start: the mail still goes");
    const std::string recipient = SmtpPeer::UniqueRecipient("untick-later");
    WriteSettings({.port = PortText("plain"), .recipient = recipient});
    MailScriptedWindow window(300);
    window.onTimer = [&] { OnMailTimer(window, state_); };
    window.checked[Control::选择框1] = true;
    ArmStatusMail(window);
    window.checked[Control::选择框1] = false;
    EXPECT_TRUE(SmtpPeer::WaitForMail(recipient, 1, kArrival));
    DisarmStatusMail(window);
  }
}

// --- the window while a mail waits ---------------------------------------------------------

struct LiveWindowProbe {
  int ticks = 0;
  bool nestedTried = false;
  MailOutcome nested = MailOutcome::Sent;
  MailScriptedWindow* window = nullptr;
  const MailAccount* account = nullptr;
};
LiveWindowProbe g_probe;

void CALLBACK ProbeTick(HWND, UINT, UINT_PTR, DWORD) {
  ++g_probe.ticks;
  if (!g_probe.nestedTried) {
    // A second click while the first mail waits: it must not open a second connection.
    g_probe.nestedTried = true;
    g_probe.nested = OnSendMailClicked(*g_probe.window, *g_probe.account);
  }
}

TEST_F(MailReportTest, TheWindowKeepsRunningWhileAMailWaitsAndASecondMailIsRefused) {
  MailAccount silent;
  silent.server = "127.0.0.1";
  silent.port = SmtpPeer::Port("silent");
  silent.user = SmtpPeer::kUser;
  silent.password = SmtpPeer::kPassword;
  silent.sender = SenderText(kTestMailNickname, SmtpPeer::kUser);
  silent.recipient = SmtpPeer::UniqueRecipient("silent");

  MailScriptedWindow window;
  g_probe = LiveWindowProbe();
  g_probe.window = &window;
  g_probe.account = &silent;
  ::PostMessageW(window.hwnd(), WM_APP, 0, 0);
  const UINT_PTR ticker = ::SetTimer(nullptr, 0, 50, ProbeTick);

  const ULONGLONG start = ::GetTickCount64();
  const MailOutcome outcome = OnSendMailClicked(window, silent);
  const ULONGLONG elapsed = ::GetTickCount64() - start;
  ::KillTimer(nullptr, ticker);

  std::printf("mail to a silent server: %llu ms, %d ticks of a 50 ms timer dispatched meanwhile\n",
              static_cast<unsigned long long>(elapsed), g_probe.ticks);
  EXPECT_EQ(outcome, MailOutcome::ConnectFailed);
  EXPECT_EQ(window.panes[kMailPane], kMailConnectFailedPane);
  EXPECT_LT(elapsed, 8000u) << "the wait for the greeting hung";
  // Messages were dispatched during the wait: the posted one and the ticks of a 50 ms timer.
  EXPECT_EQ(window.appMessages, 1);
  EXPECT_GE(g_probe.ticks, 5);
  ASSERT_TRUE(g_probe.nestedTried);
  EXPECT_EQ(g_probe.nested, MailOutcome::Busy);
  // Once the first mail is over, the next one goes again.
  EXPECT_EQ(OnSendMailClicked(window, silent), MailOutcome::ConnectFailed);
}

}  // namespace
}  // namespace uptorra
