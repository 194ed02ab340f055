#include "notify/SmtpReply.h"

#include <cctype>

namespace uptorra {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The words of a line, split at blanks.
std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
    if (pos > start) words.emplace_back(line.substr(start, pos - start));
  }
  return words;
}

}  // namespace

void SmtpReplyReader::Clear() {
  pending_.clear();
  partial_ = SmtpReply();
}

SmtpReplyReader::State SmtpReplyReader::Next(SmtpReply& reply) {
  for (;;) {
    const std::size_t lf = pending_.find('\n');
    if (lf == std::string::npos) {
      return pending_.size() > kMaxReplyLineLength ? State::Malformed : State::Incomplete;
    }
    if (lf > kMaxReplyLineLength) return State::Malformed;
    // Lines end in CR LF; a bare LF is taken too, as most clients do.
    std::string_view line(pending_.data(), lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]) ||
        (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
      return State::Malformed;
    }
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (code < 100 || code > 599) return State::Malformed;
    if (!partial_.lines.empty() && code != partial_.code) return State::Malformed;
    if (partial_.lines.size() >= kMaxReplyLines) return State::Malformed;
    const bool more = line.size() > 3 && line[3] == '-';
    partial_.code = code;
    partial_.lines.emplace_back(line.size() > 4 ? line.substr(4) : std::string_view());
    pending_.erase(0, lf + 1);
    if (!more) {
      reply = std::move(partial_);
      partial_ = SmtpReply();
      return State::Complete;
    }
  }
}

SmtpCapabilities ParseCapabilities(const SmtpReply& ehloReply) {
  SmtpCapabilities caps;
  // The first line greets with the server's name; the extensions follow, one per line.
  for (std::size_t i = 1; i < ehloReply.lines.size(); ++i) {
    std::string line = Upper(ehloReply.lines[i]);
    // Old servers (and some still) announce "AUTH=LOGIN PLAIN" beside or instead of "AUTH ...".
    if (line.rfind("AUTH=", 0) == 0) line[4] = ' ';
    const std::vector<std::string> words = Words(line);
    if (words.empty()) continue;
    if (words[0] == "STARTTLS") caps.startTls = true;
    if (words[0] == "AUTH") {
      for (std::size_t w = 1; w < words.size(); ++w) {
        caps.authOffered = true;
        if (words[w] == "LOGIN") caps.authLogin = true;
        if (words[w] == "PLAIN") caps.authPlain = true;
      }
    }
  }
  return caps;
}

}  // namespace uptorra
