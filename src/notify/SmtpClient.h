#pragma once
// The SMTP client of the mail reports: one connection at a time, Connect (greeting, EHLO,
// STARTTLS, log-in) and Send (envelope and message). The dialogue is written against two small
// interfaces, the byte stream of one connection and the few services of the system it needs, so
// that it runs unchanged over Winsock and SChannel and over a scripted stream in tests.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/Text.h"
#include "notify/SmtpReply.h"
#include "notify/SmtpText.h"

namespace uptorra {

enum class SmtpFailure {
  None,
  BadServerName,     // empty, or not a host name at all: fails before any traffic
  BadPort,           // outside 1..65535
  ConnectFailed,     // name not found, connection refused or not made within the time-out
  TlsFailed,         // TLS handshake failed or the server's certificate is not trusted for its name
  NoGreeting,        // nothing where the "220" greeting belongs within the time-out
  Refused,           // refusing greeting, EHLO and HELO refused, or STARTTLS offered and refused
  LoginRefused,      // user name or password refused
  LoginUnsupported,  // AUTH offered, but neither LOGIN nor PLAIN
  ProtocolError,     // a reply that is not SMTP
  ConnectionLost,    // closed, broken or silent past the time-out after the greeting
  NotConnected,      // Send without a successful Connect
  BadAddress,        // sender or recipient address unusable
  SenderRefused,     // MAIL FROM refused
  RecipientRefused,  // RCPT TO refused
  DataRefused,       // DATA or the message refused
};

const char* SmtpFailureName(SmtpFailure failure);

enum class IoResult { Ok, TimedOut, Closed, Failed };

// The byte stream of one connection.
class SmtpChannel {
 public:
  virtual ~SmtpChannel() = default;
  // All bytes, or a failure.
  virtual IoResult Write(std::string_view bytes, int timeoutMs) = 0;
  // Appends what arrives next (at least one byte when Ok).
  virtual IoResult Read(std::string& appendTo, int timeoutMs) = 0;
  // TLS handshake on the open connection; false when it fails or the server's certificate is
  // not trusted for the host name the connection was opened with.
  virtual bool StartTls(int timeoutMs) = 0;
  virtual bool IsEncrypted() const = 0;
  // How this end names itself in EHLO: the address literal of the local socket, "[192.0.2.7]".
  virtual std::string HelloName() const = 0;
};

// What the dialogue needs from the system.
class SmtpPlatform {
 public:
  virtual ~SmtpPlatform() = default;
  // A TCP connection to host:port made within timeoutMs, with implicitTls a TLS session on it
  // from the first byte. Null on failure, with failure set to ConnectFailed or TlsFailed.
  virtual std::unique_ptr<SmtpChannel> Open(const std::string& host, int port, bool implicitTls, int timeoutMs,
                                            SmtpFailure& failure) = 0;
  virtual std::string Utf8FromGbk(std::string_view text) = 0;
  virtual MailDate Now() = 0;
  // A text no other message of this or another run shares, for the Message-ID.
  virtual std::string UniqueToken() = 0;
  // A steady clock in milliseconds, for the time-outs of whole replies. (Not <chrono>: with
  // narrow literals compiled as GBK, GCC 12's <chrono> does not compile.)
  virtual std::uint64_t MonotonicMs() = 0;
};

// Ports where the providers speak TLS from the first byte (SMTPS: 465, and 994 at NetEase);
// on every other port STARTTLS is used when the server offers it.
bool UsesImplicitTls(int port);

// A host name or address literal the resolver may be asked about: letters, digits, ".", "-",
// "_" and ":" only. Anything else (the "(示例)" of an unedited configuration, blanks) fails at
// once instead of becoming a query on the network.
bool IsUsableServerName(std::string_view server);

// Waits after the greeting: a server may take its time (content scanning) before it answers
// the end of the message, and the window keeps running meanwhile.
inline constexpr int kMinTransferTimeoutMs = 30000;

class SmtpClient {
 public:
  explicit SmtpClient(SmtpPlatform& platform) : platform_(platform) {}
  ~SmtpClient() { Close(); }
  SmtpClient(const SmtpClient&) = delete;
  SmtpClient& operator=(const SmtpClient&) = delete;

  // 1 when the connection, including the log-in, succeeded; 0 otherwise (LastFailure says why).
  // A new Connect closes an earlier connection first. Every wait (the TCP connection, each reply,
  // the TLS handshake) is bounded by timeoutMs. Texts are GBK; user and password go out in UTF-8.
  // No log-in is tried when user and password are both empty, or when the server offers no AUTH
  // at all (a relay inside a LAN; the server then decides at MAIL FROM).
  int Connect(const Text& server, int port, const Text& user, const Text& password, int timeoutMs);

  // Sends one message over the connection of the last successful Connect. sender is the display
  // name directly followed by "<", the address and ">". True when the server took the message.
  bool Send(const Text& subject, const Text& body, const Text& recipient, const Text& sender);

  // QUIT (when the connection is still sound) and close.
  void Close();

  SmtpFailure LastFailure() const { return failure_; }
  bool IsConnected() const { return connected_; }
  bool IsEncrypted() const { return channel_ && channel_->IsEncrypted(); }
  // The last reply's code, for messages and tests.
  int LastReplyCode() const { return lastReply_.code; }

 private:
  bool ReadReply(SmtpReply& reply, int timeoutMs);
  bool Command(std::string_view line, SmtpReply& reply, int timeoutMs);
  bool Hello(SmtpCapabilities& caps);
  bool LogIn(const Text& user, const Text& password, const SmtpCapabilities& caps);
  int FailConnect(SmtpFailure failure);
  bool FailSend(SmtpFailure failure);
  void Drop();

  SmtpPlatform& platform_;
  std::unique_ptr<SmtpChannel> channel_;
  SmtpReplyReader reader_;
  SmtpReply lastReply_;
  SmtpFailure failure_ = SmtpFailure::None;
  int timeoutMs_ = 0;
  bool connected_ = false;
};

}  // namespace uptorra
