// Header, cookie, URL and JSON-escape routines on arbitrary GBK-ish bytes: nothing may crash,
// and the properties the request code relies on hold. The input is cut into two texts at the
// first 0xFF byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/Text.h"
#include "notify/CookieText.h"
#include "notify/HeaderText.h"
#include "notify/HttpUrl.h"
#include "notify/PushMessage.h"

namespace {
void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsBoundary(std::string_view text, std::size_t at) {
  std::size_t pos = 0;
  while (pos < at) pos += uptorra::GbkCharLength(text, pos);
  return pos == at;
}

// Every GBK character replaced by '?': what a JSON parser sees of the ASCII structure.
std::string Skeleton(std::string_view text) {
  std::string out;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t len = uptorra::GbkCharLength(text, pos);
    out += (len == 2 || static_cast<unsigned char>(text[pos]) >= 0x80) ? '?' : text[pos];
    pos += len;
  }
  return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\xFF');
  const std::string_view a = input.substr(0, cut);
  const std::string_view b = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

  // Normalising twice changes nothing, and every kept line has its colon.
  const uptorra::Text normalized = uptorra::NormalizeHeaderCase(a);
  Check(uptorra::NormalizeHeaderCase(normalized) == normalized);
  for (const std::string_view line : uptorra::SplitText(normalized, uptorra::kCrLf)) {
    Check(uptorra::FindText(line, ":") != std::string_view::npos);
  }

  // Case-insensitive matches start on character boundaries; lowering keeps the length.
  const std::size_t hit = uptorra::FindTextIgnoringCase(a, b);
  Check(hit == std::string_view::npos || (hit + b.size() <= a.size() && IsBoundary(a, hit)));
  Check(uptorra::LowerAscii(a).size() == a.size());

  // An escaped text inside quotes is one valid JSON string, whatever the bytes.
  const uptorra::Text escaped = uptorra::JsonEscapeGbk(a);
  Check(!nlohmann::json::parse("\"" + Skeleton(escaped) + "\"", nullptr, false).is_discarded());

  // Merged cookies hold no exact duplicates and end up in the sent variable.
  uptorra::Text sent(a);
  const uptorra::Text merged = uptorra::MergeCookies(sent, b);
  Check(sent == merged);
  Check(uptorra::RemoveDuplicates(merged, uptorra::kCookieSeparator) == merged);
  uptorra::CollectSetCookies(a);
  uptorra::TextBetween(a, b, "\r\n", std::nullopt, true);

  Check(!uptorra::UrlPath(a).empty() && uptorra::UrlPath(a)[0] == '/');
  uptorra::UrlPort(a);
  return 0;
}
