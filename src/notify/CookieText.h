#pragma once
// Cookie texts: items of the form name=value joined by "; ", as they are sent in a Cookie
// header and handed back to the caller of HttpRequest.
#include <string_view>

#include "core/Text.h"

namespace uptorra {

inline constexpr std::string_view kCookieSeparator = "; ";

// The cookies that raw response headers set: the name=value pair of every line whose name is
// exactly "Set-Cookie" followed by ": ", attributes dropped, in header order, joined by "; ".
Text CollectSetCookies(std::string_view rawHeaders);

// The cookies received, completed with the sent cookies whose names were not received again;
// items ending in "=deleted" removed, exact duplicates removed. The merged text is also stored
// into sent.
Text MergeCookies(Text& sent, std::string_view received);

// The name of a cookie item: the part before the first '=', trimmed; the whole item, trimmed,
// when there is no '='.
Text CookieName(std::string_view item);

// The items of text (split at delimiter) with every later exact repetition of an item removed.
Text RemoveDuplicates(std::string_view text, std::string_view delimiter);

}  // namespace uptorra
