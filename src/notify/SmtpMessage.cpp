#include "notify/SmtpMessage.h"

#include "notify/SmtpText.h"

namespace uptorra {

std::string BuildMailMessage(const MailParts& parts) {
  constexpr std::string_view kFrom = "From: ";
  constexpr std::string_view kSubject = "Subject: ";
  std::string out;
  out.reserve(512 + parts.body.size() * 4 / 3);

  out += kFrom;
  if (!parts.fromName.empty()) {
    out += EncodeHeaderText(parts.fromName, HeaderPart::DisplayName, kFrom.size());
    out += ' ';
  }
  out += '<' + parts.fromAddress + ">\r\n";
  out += "To: <" + parts.toAddress + ">\r\n";
  out += kSubject;
  out += EncodeHeaderText(parts.subject, HeaderPart::Unstructured, kSubject.size());
  out += "\r\n";
  out += "Date: " + parts.date + "\r\n";
  out += "Message-ID: <" + parts.messageId + ">\r\n";
  out += "MIME-Version: 1.0\r\n";
  out += "Content-Type: text/plain; charset=UTF-8\r\n";
  out += "Content-Transfer-Encoding: base64\r\n";
  out += "\r\n";
  out += Base64Lines(CanonicalLines(parts.body));
  return out;
}

SenderParts SplitSenderText(std::string_view sender) {
  const std::size_t open = sender.rfind('<');
  if (open == std::string_view::npos) return {{}, sender};
  std::string_view address = sender.substr(open + 1);
  if (!address.empty() && address.back() == '>') address.remove_suffix(1);
  std::string_view name = sender.substr(0, open);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return {name, address};
}

bool IsUsableAddress(std::string_view address) {
  if (address.empty()) return false;
  for (const char c : address) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '<' || c == '>') return false;
  }
  return true;
}

}  // namespace uptorra
