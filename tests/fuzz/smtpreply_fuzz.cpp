// Server replies are what a stranger on the network sends us: the reader must take any bytes,
// in pieces of any size, without crashing, growing without bound or handing out a reply that
// breaks its own rules. The first byte chooses the piece size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "notify/SmtpReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
  uptorra::SmtpReplyReader reader;
  for (std::size_t pos = 0; pos < stream.size(); pos += piece) {
    reader.Feed(stream.substr(pos, piece));
    for (;;) {
      uptorra::SmtpReply reply;
      const auto state = reader.Next(reply);
      if (state == uptorra::SmtpReplyReader::State::Malformed) return 0;
      if (state == uptorra::SmtpReplyReader::State::Incomplete) break;
      if (reply.code < 100 || reply.code > 599 || reply.lines.empty() ||
          reply.lines.size() > uptorra::kMaxReplyLines) {
        std::abort();
      }
      for (const auto& line : reply.lines) {
        if (line.size() > uptorra::kMaxReplyLineLength) std::abort();
      }
      (void)uptorra::ParseCapabilities(reply);
    }
  }
  return 0;
}
