#pragma once
// Replies of an SMTP server: "250-first line", "250 last line". The reader takes the bytes as
// they arrive, in pieces of any size, and hands out whole replies.
#include <string>
#include <string_view>
#include <vector>

namespace uptorra {

struct SmtpReply {
  int code = 0;                    // 100..599
  std::vector<std::string> lines;  // the text after the code and its separator, one per line

  bool IsPositive() const { return code >= 200 && code < 400; }
};

class SmtpReplyReader {
 public:
  enum class State { Incomplete, Complete, Malformed };

  void Feed(std::string_view bytes) { pending_.append(bytes.data(), bytes.size()); }

  // Takes the next whole reply out of what was fed. Malformed: a line that does not start with
  // three digits, a continuation whose code differs from the first line's, or a reply that
  // grows past the limits below (a server that sends without end must not eat the memory).
  State Next(SmtpReply& reply);

  // Bytes fed and not yet taken: what a server sent ahead of time (a server must not answer
  // before STARTTLS is done, so leftovers there are a reason to stop).
  bool HasPending() const { return !pending_.empty() || !partial_.lines.empty(); }
  void Clear();

 private:
  std::string pending_;
  SmtpReply partial_;
};

inline constexpr std::size_t kMaxReplyLineLength = 4096;  // RFC 5321 asks for 512
inline constexpr std::size_t kMaxReplyLines = 256;

// What an EHLO reply offers that the client uses.
struct SmtpCapabilities {
  bool startTls = false;
  bool authLogin = false;
  bool authPlain = false;
  bool authOffered = false;  // an AUTH line with any mechanism
};
SmtpCapabilities ParseCapabilities(const SmtpReply& ehloReply);

}  // namespace uptorra
