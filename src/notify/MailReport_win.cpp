#include "notify/MailReport_win.h"

#include <windows.h>

#include <atomic>

#include "core/Config.h"
#include "core/PumpMessages_win.h"
#include "core/UniqueHandle_win.h"
#include "notify/SmtpPlatform_win.h"

namespace uptorra {

namespace {

constexpr DWORD kPumpSliceMs = 100;

// One mail at a time in the whole process (the client keeps one connection).
std::atomic<bool> g_mailUnderWay{false};

struct MailJob {
  const MailAccount& account;
  const Text& subject;
  const Text& body;
  MailOutcome outcome = MailOutcome::ConnectFailed;
};

void RunJob(MailJob& job) {
  try {
    WindowsSmtpPlatform platform;
    job.outcome = DeliverMail(platform, job.account, job.subject, job.body);
  } catch (...) {
    // Out of memory inside the exchange: the mail did not go.
    job.outcome = MailOutcome::SendFailed;
  }
}

DWORD WINAPI MailThread(void* param) {
  RunJob(*static_cast<MailJob*>(param));
  return 0;
}

// Waits for the worker while dispatching the thread's messages. The worker always ends (every
// wait in the exchange is bounded), so the wait has no time-out of its own; the job lives on
// this stack until then.
void WaitPumping(HANDLE thread) {
  for (;;) {
    const DWORD result = ::MsgWaitForMultipleObjects(1, &thread, FALSE, kPumpSliceMs, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) return;
    if (result == WAIT_FAILED) {
      ::WaitForSingleObject(thread, INFINITE);
      return;
    }
    PumpMessages();
    // The program is quitting: nothing more to dispatch, and a quit message left in the queue
    // would wake every wait at once. The worker ends within its time-outs.
    MSG quit;
    if (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) {
      ::WaitForSingleObject(thread, INFINITE);
      return;
    }
  }
}

class UnderWayMark {
 public:
  UnderWayMark() : owned_(!g_mailUnderWay.exchange(true)) {}
  ~UnderWayMark() {
    if (owned_) g_mailUnderWay.store(false);
  }
  UnderWayMark(const UnderWayMark&) = delete;
  UnderWayMark& operator=(const UnderWayMark&) = delete;
  bool owned() const { return owned_; }

 private:
  bool owned_;
};

void ShowOutcome(WindowServices& window, MailOutcome outcome) {
  const Text text = MailPaneText(outcome);
  if (!text.empty()) window.SetPaneText(kMailPane, text);
}

}  // namespace

MailOutcome SendMailPumping(const MailAccount& account, const Text& subject, const Text& body) {
  UnderWayMark mark;
  if (!mark.owned()) return MailOutcome::Busy;
  MailJob job{account, subject, body};
  UniqueHandle thread(::CreateThread(nullptr, 0, MailThread, &job, 0, nullptr));
  if (!thread) {
    RunJob(job);  // no thread to be had: the window waits, but the mail still goes
    return job.outcome;
  }
  WaitPumping(thread.get());
  return job.outcome;
}

MailAccount ReadMailAccount(const Text& configPath) {
  return StatusMailAccount(ReadProfileText(configPath, kMailSection, kMailServerKey),
                           ReadProfileText(configPath, kMailSection, kMailPortKey),
                           ReadProfileText(configPath, kMailSection, kMailSenderKey),
                           ReadProfileText(configPath, kMailSection, kMailNicknameKey),
                           ReadProfileText(configPath, kMailSection, kMailPasswordKey),
                           ReadProfileText(configPath, kMailSection, kMailRecipientKey));
}

Text MailConfigPath(const AppState& state) { return state.programDir + "\\MyConfig.ini"; }

MailOutcome SendConfiguredMail(const AppState& state, const Text& subject, const Text& body) {
  // Read at every mail, so that edits of the file count from the next mail on.
  return SendMailPumping(ReadMailAccount(MailConfigPath(state)), subject, body);
}

int SendMailReport(const AppState& state, const Text& subject, const Text& body) {
  return SendConfiguredMail(state, subject, body) == MailOutcome::Sent ? 1 : 0;
}

MailOutcome OnMailTimer(WindowServices& window, const AppState& state) {
  const MailOutcome outcome = SendConfiguredMail(state, Text(kStatusMailSubject), Text());
  ShowOutcome(window, outcome);
  return outcome;
}

MailOutcome OnSendMailClicked(WindowServices& window) { return OnSendMailClicked(window, TestMailAccount()); }

MailOutcome OnSendMailClicked(WindowServices& window, const MailAccount& account) {
  const MailOutcome outcome = SendMailPumping(account, Text(kTestMailSubject), Text());
  ShowOutcome(window, outcome);
  return outcome;
}

}  // namespace uptorra
