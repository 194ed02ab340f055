#include "notify/SmtpClient.h"

#include <algorithm>

#include "notify/SmtpMessage.h"

namespace uptorra {

namespace {

constexpr std::size_t kMaxHostNameLength = 253;
constexpr int kSmtpsPort = 465;
constexpr int kNetEaseSmtpsPort = 994;

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
         c == '_' || c == ':';
}

std::string DomainOf(std::string_view address) {
  const std::size_t at = address.rfind('@');
  if (at == std::string_view::npos || at + 1 >= address.size()) return "localhost";
  return std::string(address.substr(at + 1));
}

}  // namespace

const char* SmtpFailureName(SmtpFailure failure) {
  switch (failure) {
    case SmtpFailure::None: return "None";
    case SmtpFailure::BadServerName: return "BadServerName";
    case SmtpFailure::BadPort: return "BadPort";
    case SmtpFailure::ConnectFailed: return "ConnectFailed";
    case SmtpFailure::TlsFailed: return "TlsFailed";
    case SmtpFailure::NoGreeting: return "NoGreeting";
    case SmtpFailure::Refused: return "Refused";
    case SmtpFailure::LoginRefused: return "LoginRefused";
    case SmtpFailure::LoginUnsupported: return "LoginUnsupported";
    case SmtpFailure::ProtocolError: return "ProtocolError";
    case SmtpFailure::ConnectionLost: return "ConnectionLost";
    case SmtpFailure::NotConnected: return "NotConnected";
    case SmtpFailure::BadAddress: return "BadAddress";
    case SmtpFailure::SenderRefused: return "SenderRefused";
    case SmtpFailure::RecipientRefused: return "RecipientRefused";
    case SmtpFailure::DataRefused: return "DataRefused";
  }
  return "?";
}

bool UsesImplicitTls(int port) { return port == kSmtpsPort || port == kNetEaseSmtpsPort; }

bool IsUsableServerName(std::string_view server) {
  if (server.empty() || server.size() > kMaxHostNameLength) return false;
  return std::all_of(server.begin(), server.end(), IsHostCharacter);
}

// --- the pieces of the dialogue ----------------------------------------------------------

bool SmtpClient::ReadReply(SmtpReply& reply, int timeoutMs) {
  // The whole reply within the time-out: a server that trickles a byte now and then must not
  // keep us waiting for ever.
  const std::uint64_t deadline = platform_.MonotonicMs() + static_cast<std::uint64_t>(timeoutMs);
  for (;;) {
    switch (reader_.Next(reply)) {
      case SmtpReplyReader::State::Complete:
        lastReply_ = reply;
        return true;
      case SmtpReplyReader::State::Malformed:
        failure_ = SmtpFailure::ProtocolError;
        return false;
      case SmtpReplyReader::State::Incomplete:
        break;
    }
    const std::uint64_t now = platform_.MonotonicMs();
    const std::uint64_t left = deadline > now ? deadline - now : 0;
    std::string received;
    const IoResult io = left > 0 ? channel_->Read(received, static_cast<int>(left)) : IoResult::TimedOut;
    if (io != IoResult::Ok) {
      failure_ = SmtpFailure::ConnectionLost;
      return false;
    }
    reader_.Feed(received);
  }
}

bool SmtpClient::Command(std::string_view line, SmtpReply& reply, int timeoutMs) {
  std::string bytes(line);
  bytes += "\r\n";
  if (channel_->Write(bytes, timeoutMs) != IoResult::Ok) {
    failure_ = SmtpFailure::ConnectionLost;
    return false;
  }
  return ReadReply(reply, timeoutMs);
}

bool SmtpClient::Hello(SmtpCapabilities& caps) {
  const std::string name = channel_->HelloName();
  SmtpReply reply;
  if (!Command("EHLO " + name, reply, timeoutMs_)) return false;
  if (reply.code == 250) {
    caps = ParseCapabilities(reply);
    return true;
  }
  // A server of the old kind knows only HELO: no extensions, so neither STARTTLS nor AUTH.
  if (reply.code >= 500) {
    if (!Command("HELO " + name, reply, timeoutMs_)) return false;
    if (reply.code == 250) {
      caps = SmtpCapabilities();
      return true;
    }
  }
  failure_ = SmtpFailure::Refused;
  return false;
}

bool SmtpClient::LogIn(const Text& user, const Text& password, const SmtpCapabilities& caps) {
  if (user.empty() && password.empty()) return true;
  if (!caps.authOffered) return true;
  const std::string utf8User = platform_.Utf8FromGbk(user);
  const std::string utf8Password = platform_.Utf8FromGbk(password);
  SmtpReply reply;
  if (caps.authLogin) {
    // LOGIN first: some providers refuse PLAIN for accounts where LOGIN works.
    if (!Command("AUTH LOGIN", reply, timeoutMs_)) return false;
    if (reply.code == 334) {
      if (!Command(Base64Encode(utf8User), reply, timeoutMs_)) return false;
      if (reply.code == 334 && !Command(Base64Encode(utf8Password), reply, timeoutMs_)) return false;
    }
  } else if (caps.authPlain) {
    const std::string token = Base64Encode(std::string(1, '\0') + utf8User + std::string(1, '\0') + utf8Password);
    if (!Command("AUTH PLAIN " + token, reply, timeoutMs_)) return false;
    // A server that does not take the initial response asks for it with an empty challenge.
    if (reply.code == 334 && !Command(token, reply, timeoutMs_)) return false;
  } else {
    failure_ = SmtpFailure::LoginUnsupported;
    return false;
  }
  if (reply.code == 235) return true;
  if (reply.code == 334) {
    // A challenge we did not expect: end the exchange so that the server is ready for QUIT.
    Command("*", reply, timeoutMs_);
  }
  failure_ = SmtpFailure::LoginRefused;
  return false;
}

// --- connection ----------------------------------------------------------------------------

void SmtpClient::Drop() {
  channel_.reset();
  reader_.Clear();
  connected_ = false;
}

void SmtpClient::Close() {
  if (channel_ && failure_ != SmtpFailure::ConnectionLost && failure_ != SmtpFailure::ProtocolError &&
      failure_ != SmtpFailure::NoGreeting && failure_ != SmtpFailure::TlsFailed) {
    // Polite, not needed: the message is already taken or refused. The wait is short.
    SmtpReply reply;
    const SmtpFailure kept = failure_;
    Command("QUIT", reply, timeoutMs_);
    failure_ = kept;
  }
  Drop();
}

int SmtpClient::FailConnect(SmtpFailure failure) {
  if (failure != SmtpFailure::None) failure_ = failure;
  Close();
  return 0;
}

int SmtpClient::Connect(const Text& server, int port, const Text& user, const Text& password, int timeoutMs) {
  Close();
  failure_ = SmtpFailure::None;
  lastReply_ = SmtpReply();
  timeoutMs_ = std::max(timeoutMs, 0);
  if (!IsUsableServerName(server)) return FailConnect(SmtpFailure::BadServerName);
  if (port <= 0 || port > 65535) return FailConnect(SmtpFailure::BadPort);

  SmtpFailure openFailure = SmtpFailure::ConnectFailed;
  channel_ = platform_.Open(server, port, UsesImplicitTls(port), timeoutMs_, openFailure);
  if (!channel_) return FailConnect(openFailure == SmtpFailure::None ? SmtpFailure::ConnectFailed : openFailure);

  SmtpReply reply;
  if (!ReadReply(reply, timeoutMs_)) {
    return FailConnect(failure_ == SmtpFailure::ConnectionLost ? SmtpFailure::NoGreeting : failure_);
  }
  if (reply.code != 220) return FailConnect(SmtpFailure::Refused);

  SmtpCapabilities caps;
  if (!Hello(caps)) return FailConnect(SmtpFailure::None);
  if (!channel_->IsEncrypted() && caps.startTls) {
    // Once offered, TLS is a must: a failed upgrade never falls back to sending the password
    // in the clear.
    if (!Command("STARTTLS", reply, timeoutMs_)) return FailConnect(SmtpFailure::None);
    if (reply.code != 220) return FailConnect(SmtpFailure::Refused);
    // Bytes the server sent past its "220" would be taken as if they came through TLS: refuse
    // them (a known injection trick against STARTTLS).
    if (reader_.HasPending()) return FailConnect(SmtpFailure::ProtocolError);
    if (!channel_->StartTls(timeoutMs_)) return FailConnect(SmtpFailure::TlsFailed);
    if (!Hello(caps)) return FailConnect(SmtpFailure::None);
  }
  if (!LogIn(user, password, caps)) return FailConnect(SmtpFailure::None);
  connected_ = true;
  return 1;
}

// --- sending -------------------------------------------------------------------------------

bool SmtpClient::FailSend(SmtpFailure failure) {
  if (failure != SmtpFailure::None) failure_ = failure;
  if (failure_ == SmtpFailure::ConnectionLost || failure_ == SmtpFailure::ProtocolError) {
    Drop();
  } else if (connected_) {
    // The server refused a step; make it forget the half-built envelope so that the connection
    // can carry another message.
    SmtpReply reply;
    const SmtpFailure kept = failure_;
    if (!Command("RSET", reply, timeoutMs_)) Drop();
    failure_ = kept;
  }
  return false;
}

bool SmtpClient::Send(const Text& subject, const Text& body, const Text& recipient, const Text& sender) {
  if (!connected_ || !channel_) {
    failure_ = SmtpFailure::NotConnected;
    return false;
  }
  failure_ = SmtpFailure::None;
  const SenderParts senderParts = SplitSenderText(sender);
  MailParts parts;
  parts.fromName = platform_.Utf8FromGbk(senderParts.name);
  parts.fromAddress = platform_.Utf8FromGbk(senderParts.address);
  parts.toAddress = platform_.Utf8FromGbk(recipient);
  if (!IsUsableAddress(parts.fromAddress) || !IsUsableAddress(parts.toAddress)) {
    return FailSend(SmtpFailure::BadAddress);
  }
  parts.subject = platform_.Utf8FromGbk(subject);
  parts.body = platform_.Utf8FromGbk(body);
  parts.date = FormatMailDate(platform_.Now());
  parts.messageId = platform_.UniqueToken() + "@" + DomainOf(parts.fromAddress);

  const int wait = std::max(timeoutMs_, kMinTransferTimeoutMs);
  SmtpReply reply;
  if (!Command("MAIL FROM:<" + parts.fromAddress + ">", reply, wait)) return FailSend(SmtpFailure::None);
  if (reply.code != 250) return FailSend(SmtpFailure::SenderRefused);
  if (!Command("RCPT TO:<" + parts.toAddress + ">", reply, wait)) return FailSend(SmtpFailure::None);
  if (reply.code != 250 && reply.code != 251) return FailSend(SmtpFailure::RecipientRefused);
  if (!Command("DATA", reply, wait)) return FailSend(SmtpFailure::None);
  if (reply.code != 354) return FailSend(SmtpFailure::DataRefused);
  if (channel_->Write(DataPhaseBytes(BuildMailMessage(parts)), wait) != IoResult::Ok) {
    return FailSend(SmtpFailure::ConnectionLost);
  }
  if (!ReadReply(reply, wait)) return FailSend(SmtpFailure::None);
  if (reply.code != 250) return FailSend(SmtpFailure::DataRefused);
  return true;
}

}  // namespace uptorra
