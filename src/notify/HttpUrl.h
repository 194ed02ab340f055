#pragma once
// Taking a request URL apart: "http://" or "https://" (or no scheme, which counts as http),
// the host, an optional colon and port, then path, query and fragment.
#include <string_view>

#include "core/Text.h"

namespace uptorra {

inline constexpr int kHttpPort = 80;
inline constexpr int kHttpsPort = 443;

// The host in lower case, with its ":port" when keepPort is set.
Text UrlHost(std::string_view url, bool keepPort = false);

// The explicit port, or 443 for an https URL and 80 for any other.
int UrlPort(std::string_view url);

// Everything from the first '/' after the host on, in its own letter case, query and fragment
// included; "/" when the host has nothing after it.
Text UrlPath(std::string_view url);

// Whether the URL starts with "https://" in any letter case.
bool UrlIsSecure(std::string_view url);

}  // namespace uptorra
