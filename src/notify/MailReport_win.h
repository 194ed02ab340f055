#pragma once
// The mail reports on the window thread: SendMailReport, the handler of the status-mail timer
// 时钟1 and the handler of the hidden button 发送邮件.
//
// A mail waits on the network for up to seconds. The exchange therefore runs on a worker
// thread while the window thread keeps dispatching its messages, and the handler carries on
// with the result when the worker is done: same results, same pane texts, no frozen window.
// Only one mail is under way at a time in the process: a timer tick or a click that comes while
// one is going (the window stays live, so it can) does nothing and shows nothing (Busy); the mail
// under way reports its own result.
#include "core/AppState.h"
#include "notify/MailReport.h"
#include "ui/WindowServices.h"

namespace uptorra {

// DeliverMail with the Windows client on a worker thread; the calling thread's window messages
// are dispatched until it ends. Busy, at once, when a mail is already under way.
MailOutcome SendMailPumping(const MailAccount& account, const Text& subject, const Text& body);

// The six settings of section "SMTP邮件" of the file at configPath, read afresh; a missing file
// or key reads as empty.
MailAccount ReadMailAccount(const Text& configPath);

// The program's folder followed by "\MyConfig.ini".
Text MailConfigPath(const AppState& state);

// The status mail with the configured account; the outcome tells the failures apart.
MailOutcome SendConfiguredMail(const AppState& state, const Text& subject, const Text& body);

// 1 when the server took the mail, 0 otherwise (connection failed, mail refused or broken off,
// or another mail under way).
int SendMailReport(const AppState& state, const Text& subject, const Text& body);

// Periodic event of 时钟1: the status mail; a failure goes to pane 1 of 状态条1.
MailOutcome OnMailTimer(WindowServices& window, const AppState& state);

// Click on 发送邮件: the test mail with the fixed account (or, for tests, with the one given);
// a failure goes to pane 1. Needs no configuration file.
MailOutcome OnSendMailClicked(WindowServices& window);
MailOutcome OnSendMailClicked(WindowServices& window, const MailAccount& account);

}  // namespace uptorra
