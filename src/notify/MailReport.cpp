#include "notify/MailReport.h"

#include "notify/SmtpClient.h"

namespace uptorra {

Text SenderText(std::string_view nickname, std::string_view address) {
  Text text(nickname);
  text += '<';
  text += address;
  text += '>';
  return text;
}

MailAccount StatusMailAccount(const Text& server, const Text& portText, const Text& senderAddress,
                              const Text& nickname, const Text& password, const Text& recipient) {
  MailAccount account;
  account.server = server;
  account.port = IntValue(portText);
  account.user = senderAddress;
  account.password = password;
  account.sender = SenderText(nickname, senderAddress);
  account.recipient = recipient;
  return account;
}

MailAccount TestMailAccount() {
  MailAccount account;
  account.server = UPTORRA_TEST_MAIL_SERVER;
  account.port = UPTORRA_TEST_MAIL_PORT;
  account.user = UPTORRA_TEST_MAIL_ACCOUNT;
  account.password = UPTORRA_TEST_MAIL_CODE;
  account.sender = SenderText(kTestMailNickname, UPTORRA_TEST_MAIL_ACCOUNT);
  account.recipient = UPTORRA_TEST_MAIL_RECIPIENT;
  return account;
}

MailOutcome DeliverMail(SmtpPlatform& platform, const MailAccount& account, const Text& subject, const Text& body) {
  SmtpClient client(platform);
  if (client.Connect(account.server, account.port, account.user, account.password, kMailTimeoutMs) != 1) {
    return MailOutcome::ConnectFailed;
  }
  const bool sent = client.Send(subject, body, account.recipient, account.sender);
  client.Close();
  return sent ? MailOutcome::Sent : MailOutcome::SendFailed;
}

Text MailPaneText(MailOutcome outcome) {
  switch (outcome) {
    case MailOutcome::ConnectFailed: return Text(kMailConnectFailedPane);
    case MailOutcome::SendFailed: return Text(kMailSendFailedPane);
    case MailOutcome::Sent:
    case MailOutcome::Busy: break;
  }
  return {};
}

void ArmStatusMail(WindowServices& window) {
  if (window.IsChecked(Control::选择框1)) window.SetTimerPeriod(kStatusMailPeriodMs);
}

void DisarmStatusMail(WindowServices& window) { window.SetTimerPeriod(0); }

}  // namespace uptorra
