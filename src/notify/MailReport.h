#pragma once
// The two mails of the program: the status mail from the timer 时钟1 with the account of
// section "SMTP邮件", and the test mail of the hidden button 发送邮件 with a fixed account.
#include <cstdint>
#include <string_view>

#include "core/Text.h"
#include "ui/WindowServices.h"

namespace uptorra {

class SmtpPlatform;

inline constexpr std::string_view kStatusMailSubject = "KWO提醒：网络监测程序运行正常。";
inline constexpr std::string_view kTestMailSubject = "KWO提醒：LWNF网络监测运行正常。";
inline constexpr std::string_view kTestMailNickname = "KWO提醒助手";
inline constexpr std::string_view kMailConnectFailedPane = "SMTP邮件服务器连接失败！";
// A mail refused or broken off after the connection succeeded: not a success either.
inline constexpr std::string_view kMailSendFailedPane = "SMTP邮件发送失败！";
inline constexpr int kMailPane = 1;

inline constexpr int kMailTimeoutMs = 3000;
inline constexpr std::uint32_t kStatusMailPeriodMs = 259200000;  // 72 hours

// The fixed account of the test mail. A build sets its own with
// -DUPTORRA_TEST_MAIL_SERVER="\"smtp.provider.com\"" and so on; the defaults name no real
// account and go nowhere (example.com takes no mail).
#ifndef UPTORRA_TEST_MAIL_SERVER
#define UPTORRA_TEST_MAIL_SERVER "smtp.example.com"
#endif
#ifndef UPTORRA_TEST_MAIL_PORT
#define UPTORRA_TEST_MAIL_PORT 25
#endif
#ifndef UPTORRA_TEST_MAIL_ACCOUNT
#define UPTORRA_TEST_MAIL_ACCOUNT "uptorra-test@example.com"
#endif
#ifndef UPTORRA_TEST_MAIL_CODE
#define UPTORRA_TEST_MAIL_CODE ""
#endif
#ifndef UPTORRA_TEST_MAIL_RECIPIENT
#define UPTORRA_TEST_MAIL_RECIPIENT "uptorra-test@example.com"
#endif

// Everything one mail needs: where to connect, the log-in, and the two addresses.
struct MailAccount {
  Text server;
  int port = 0;
  Text user;       // the log-in name, the sender address
  Text password;   // password or authorisation code
  Text sender;     // display name directly followed by "<", the address and ">"
  Text recipient;
};

enum class MailOutcome {
  Sent,           // the server took the mail
  ConnectFailed,  // connection or log-in failed
  SendFailed,     // connected, then refused or broken off
  Busy,           // another mail is under way: nothing was done
};

// The display name directly followed by "<", the address and ">", with nothing between them.
Text SenderText(std::string_view nickname, std::string_view address);

// The status mail's account from the six settings as read from the file; the port text by the
// leading-digits rule ("25(示例)" gives 25, an empty text 0).
MailAccount StatusMailAccount(const Text& server, const Text& portText, const Text& senderAddress,
                              const Text& nickname, const Text& password, const Text& recipient);

MailAccount TestMailAccount();

// Connect, Send and close with the client of platform. Runs on whatever thread calls it.
MailOutcome DeliverMail(SmtpPlatform& platform, const MailAccount& account, const Text& subject, const Text& body);

// The pane-1 text for an outcome: the failure texts, nothing for Sent and Busy.
Text MailPaneText(MailOutcome outcome);

// The status-mail timer as monitoring starts and stops: armed with the 72-hour period when
// 选择框1 is ticked (otherwise left as it is), and switched off.
void ArmStatusMail(WindowServices& window);
void DisarmStatusMail(WindowServices& window);

}  // namespace uptorra
