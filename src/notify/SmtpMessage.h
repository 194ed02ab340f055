#pragma once
// The mail as it goes over the wire: header lines and a base64 body in UTF-8.
#include <string>
#include <string_view>

namespace uptorra {

// Every part already in UTF-8 (addresses are ASCII in practice).
struct MailParts {
  std::string fromName;
  std::string fromAddress;
  std::string toAddress;
  std::string subject;
  std::string body;
  std::string date;       // as FormatMailDate writes it
  std::string messageId;  // without the angle brackets
};

// Header lines (From with the display name, To, Subject, Date, Message-ID, MIME-Version and the
// content fields), a blank line and the body as base64 of its UTF-8 text with CR LF line ends.
// Lines end in CR LF; the transparency of the DATA phase is not applied here.
std::string BuildMailMessage(const MailParts& parts);

// The sender text the program hands over, display name directly followed by "<", the address
// and ">": split at the last "<" (a GBK trail byte is never "<", so the split is safe on the GBK
// text too). Without angle brackets the whole text is the address.
struct SenderParts {
  std::string_view name;
  std::string_view address;
};
SenderParts SplitSenderText(std::string_view sender);

// An address that can stand between the angle brackets of MAIL FROM, RCPT TO and a header:
// not empty, no blank, no control character, no angle bracket. Anything else could end the
// command early and smuggle in a second one.
bool IsUsableAddress(std::string_view address);

}  // namespace uptorra
