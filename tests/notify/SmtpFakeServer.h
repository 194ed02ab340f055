#pragma once
// A scripted SMTP server behind the client's two interfaces: it answers each command line the
// client writes from a table of replies, records everything, and can misbehave on request. No
// sockets: the dialogue's decisions are tested on any platform.
#include <cctype>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "notify/SmtpClient.h"

namespace uptorra::test {

inline std::string U8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

class FakeSmtpServer : public SmtpPlatform {
 public:
  // Replies by command verb (the first word, upper case); what is not listed gets "250 OK".
  std::string greeting = "220 fake.test ESMTP\r\n";
  std::string ehloReply = "250-fake.test\r\n250-AUTH LOGIN PLAIN\r\n250 HELP\r\n";
  std::string ehloAfterTls = "250-fake.test\r\n250-AUTH LOGIN PLAIN\r\n250 HELP\r\n";
  std::map<std::string, std::string> replies = {
      {"HELO", "250 fake.test\r\n"},     {"MAIL", "250 OK\r\n"},  {"RCPT", "250 OK\r\n"},
      {"DATA", "354 End with .\r\n"},    {"QUIT", "221 Bye\r\n"}, {"RSET", "250 OK\r\n"},
      {"STARTTLS", "220 Go ahead\r\n"},
  };
  std::string dataEndReply = "250 queued\r\n";
  std::string authLoginUserChallenge = "334 VXNlcm5hbWU6\r\n";
  std::string authLoginPasswordChallenge = "334 UGFzc3dvcmQ6\r\n";
  std::string authResult = "235 Authentication successful\r\n";
  std::string password = "secret";  // AUTH fails with 535 when another one arrives
  bool openFails = false;
  bool tlsFails = false;
  std::string closeAfterVerb;        // hang up instead of answering this verb
  std::function<std::string()> trickle;  // when set, Read hands out what this returns, nothing else

  // What happened.
  struct Opened {
    std::string host;
    int port;
    bool implicitTls;
  };
  std::vector<Opened> opens;
  std::vector<std::string> commands;  // every command line, without CR LF, as the client sent it
  std::vector<std::string> messages;  // the raw DATA bytes of each message, up to and with ".\r\n"
  int startTlsCalls = 0;
  int channelsAlive = 0;
  std::uint64_t clock = 0;        // the fake steady clock
  std::uint64_t clockStepOnRead = 0;

  std::unique_ptr<SmtpChannel> Open(const std::string& host, int port, bool implicitTls, int timeoutMs,
                                    SmtpFailure& failure) override;
  std::string Utf8FromGbk(std::string_view text) override { return std::string(text); }
  MailDate Now() override {
    MailDate d;
    d.year = 2024, d.month = 3, d.day = 5, d.weekday = 2, d.hour = 9, d.minute = 7, d.second = 3;
    d.utcOffsetMinutes = 480;
    return d;
  }
  std::string UniqueToken() override { return "token" + std::to_string(++tokens_); }
  std::uint64_t MonotonicMs() override { return clock; }

  bool Sent(const std::string& command) const {
    for (const auto& c : commands) {
      if (c == command) return true;
    }
    return false;
  }
  int IndexOf(const std::string& prefix) const {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      if (commands[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    }
    return -1;
  }

 private:
  friend class FakeChannel;
  int tokens_ = 0;
};

class FakeChannel : public SmtpChannel {
 public:
  explicit FakeChannel(FakeSmtpServer& server, bool encrypted) : server_(server), encrypted_(encrypted) {
    ++server_.channelsAlive;
    output_ = server_.greeting;
  }
  ~FakeChannel() override { --server_.channelsAlive; }

  IoResult Write(std::string_view bytes, int) override {
    if (closed_) return IoResult::Closed;
    input_.append(bytes.data(), bytes.size());
    Process();
    return IoResult::Ok;
  }

  IoResult Read(std::string& appendTo, int) override {
    server_.clock += server_.clockStepOnRead;
    if (server_.trickle) {
      appendTo += server_.trickle();
      return IoResult::Ok;
    }
    if (output_.empty()) return closed_ ? IoResult::Closed : IoResult::TimedOut;
    appendTo += output_;
    output_.clear();
    return IoResult::Ok;
  }

  bool StartTls(int) override {
    ++server_.startTlsCalls;
    if (server_.tlsFails) return false;
    encrypted_ = true;
    return true;
  }
  bool IsEncrypted() const override { return encrypted_; }
  std::string HelloName() const override { return "[192.0.2.7]"; }

 private:
  void Process() {
    for (;;) {
      if (inData_) {
        const std::size_t end = input_.find("\r\n.\r\n");
        if (end == std::string::npos) return;
        server_.messages.push_back(input_.substr(0, end + 5));
        input_.erase(0, end + 5);
        inData_ = false;
        output_ += server_.dataEndReply;
        continue;
      }
      const std::size_t lf = input_.find("\r\n");
      if (lf == std::string::npos) return;
      const std::string line = input_.substr(0, lf);
      input_.erase(0, lf + 2);
      server_.commands.push_back(line);
      Answer(line);
      if (closed_) return;
    }
  }

  void Answer(const std::string& line) {
    if (authStep_ == 1) {  // user name of AUTH LOGIN
      authStep_ = 2;
      output_ += server_.authLoginPasswordChallenge;
      return;
    }
    if (authStep_ == 2) {
      authStep_ = 0;
      output_ += line == Base64Encode(server_.password) ? server_.authResult : "535 Bad credentials\r\n";
      return;
    }
    std::string verb = line.substr(0, line.find(' '));
    for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!server_.closeAfterVerb.empty() && verb == server_.closeAfterVerb) {
      closed_ = true;
      return;
    }
    if (verb == "EHLO") {
      output_ += encrypted_ && !server_.ehloAfterTls.empty() ? server_.ehloAfterTls : server_.ehloReply;
    } else if (verb == "AUTH") {
      const std::string rest = line.substr(5);
      if (rest == "LOGIN") {
        authStep_ = 1;
        output_ += server_.authLoginUserChallenge;
      } else if (rest.rfind("PLAIN ", 0) == 0) {
        const std::string expected = Base64Encode(std::string(1, '\0') + "user" + std::string(1, '\0') + server_.password);
        output_ += rest.substr(6) == expected ? server_.authResult : "535 Bad credentials\r\n";
      } else {
        output_ += "504 Unrecognized authentication type\r\n";
      }
    } else {
      const auto it = server_.replies.find(verb);
      output_ += it != server_.replies.end() ? it->second : "250 OK\r\n";
      if (verb == "DATA" && it != server_.replies.end() && it->second.rfind("354", 0) == 0) inData_ = true;
      if (verb == "QUIT") closed_ = true;
    }
  }

  FakeSmtpServer& server_;
  bool encrypted_;
  bool closed_ = false;
  bool inData_ = false;
  int authStep_ = 0;
  std::string input_;
  std::string output_;
};

inline std::unique_ptr<SmtpChannel> FakeSmtpServer::Open(const std::string& host, int port, bool implicitTls, int,
                                                         SmtpFailure& failure) {
  opens.push_back({host, port, implicitTls});
  if (openFails) {
    failure = SmtpFailure::ConnectFailed;
    return nullptr;
  }
  if (implicitTls && tlsFails) {
    failure = SmtpFailure::TlsFailed;
    return nullptr;
  }
  return std::make_unique<FakeChannel>(*this, implicitTls);
}

}  // namespace uptorra::test
