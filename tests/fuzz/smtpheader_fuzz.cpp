// Header text of any bytes: whatever goes into a Subject or a display name must come out as
// lines no reader can take for another header (CR LF only as a fold, followed by a blank), and
// encoded text must decode to exactly the input. The first byte chooses the header part and how
// much of the first line is taken.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "notify/SmtpText.h"

namespace {

std::string Base64Decode(std::string_view text) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    int v = -1;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    if (c >= '0' && c <= '9') v = c - '0' + 52;
    if (c == '+') v = 62;
    if (c == '/') v = 63;
    if (v < 0) continue;
    bits = bits << 6 | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>(bits >> count & 0xFF);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto part = data[0] & 1 ? uptorra::HeaderPart::DisplayName : uptorra::HeaderPart::Unstructured;
  const std::size_t used = 1 + (data[0] >> 1) % 80;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string header = uptorra::EncodeHeaderText(text, part, used);

  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i] == '\n' && (i == 0 || header[i - 1] != '\r')) std::abort();
    if (header[i] == '\r' && (i + 2 >= header.size() || header[i + 1] != '\n' || header[i + 2] != ' ')) std::abort();
  }
  if (header.rfind("=?UTF-8?B?", 0) != 0 && header.rfind("\r\n =?UTF-8?B?", 0) != 0) {
    // Left plain: the same bytes, CR and LF made blanks.
    if (header.size() != text.size()) std::abort();
    return 0;
  }
  std::string decoded;
  std::size_t pos = 0;
  while ((pos = header.find("=?UTF-8?B?", pos)) != std::string::npos) {
    const std::size_t end = header.find("?=", pos + 10);
    if (end == std::string::npos || end - pos + 2 > 75) std::abort();
    decoded += Base64Decode(std::string_view(header).substr(pos + 10, end - pos - 10));
    pos = end + 2;
  }
  if (decoded != text) std::abort();
  return 0;
}
