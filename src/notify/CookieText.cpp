#include "notify/CookieText.h"

#include <algorithm>
#include <vector>

#include "notify/HeaderText.h"

namespace uptorra {

namespace {

// Drops the last n bytes; every caller removes a separator it has just appended.
void DropLast(Text& text, std::size_t n) { text.resize(text.size() >= n ? text.size() - n : 0); }

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Trimmed, and given a final space when it ends in ';', so that splitting at "; " leaves no
// empty last item.
Text PrepareForSplit(std::string_view text) {
  Text out(TrimBlanks(text));
  if (EndsWith(out, ";")) out += ' ';
  return out;
}

}  // namespace

Text CollectSetCookies(std::string_view rawHeaders) {
  constexpr std::string_view kHeaderName = "Set-Cookie";
  constexpr std::string_view kHeaderPrefix = "Set-Cookie:";
  Text cookies;
  for (const std::string_view line : SplitText(rawHeaders, kCrLf)) {
    // The name must be followed by a colon and a space: "Set-Cookie:a=1" is not collected.
    if (TextBefore(line, ": ") != kHeaderName) continue;
    Text cookie;
    if (FindText(line, ";") != std::string_view::npos) {
      cookie = TextBetween(line, kHeaderPrefix, ";");
    } else {
      cookie = Text(line);
      for (std::size_t at; (at = FindTextIgnoringCase(cookie, kHeaderPrefix)) != std::string_view::npos;) {
        cookie.erase(at, kHeaderPrefix.size());
      }
    }
    cookies += TrimBlanks(cookie);
    cookies += kCookieSeparator;
  }
  DropLast(cookies, kCookieSeparator.size());
  return cookies;
}

Text CookieName(std::string_view item) {
  const std::size_t eq = FindText(item, "=");
  return Text(TrimBlanks(eq == std::string_view::npos ? item : item.substr(0, eq)));
}

Text MergeCookies(Text& sent, std::string_view received) {
  const Text sentText = PrepareForSplit(sent);
  const Text receivedText = PrepareForSplit(received);
  std::vector<std::string_view> items = SplitText(receivedText, kCookieSeparator);
  for (const std::string_view sentItem : SplitText(sentText, kCookieSeparator)) {
    // The list grows while we walk: a sent item also hides later sent items of its name.
    const Text name = CookieName(sentItem);
    const bool known = std::any_of(items.begin(), items.end(),
                                   [&](std::string_view item) { return CookieName(item) == name; });
    if (!known) items.push_back(sentItem);
  }
  Text merged;
  for (const std::string_view item : items) {
    if (EndsWith(item, "=deleted")) continue;
    merged += item;
    merged += kCookieSeparator;
  }
  DropLast(merged, kCookieSeparator.size());
  sent = RemoveDuplicates(merged, kCookieSeparator);
  return sent;
}

Text RemoveDuplicates(std::string_view text, std::string_view delimiter) {
  std::vector<std::string_view> kept;
  for (const std::string_view item : SplitText(text, delimiter)) {
    if (std::find(kept.begin(), kept.end(), item) == kept.end()) kept.push_back(item);
  }
  Text out;
  for (const std::string_view item : kept) {
    out += item;
    out += delimiter;
  }
  DropLast(out, delimiter.size());
  return out;
}

}  // namespace uptorra
