#pragma once
// The web pages and contacts of the three link commands. They are build settings: a build for
// real users defines its own as compiler definitions holding string literals, for example
// UPTORRA_CHAT_GROUP_NUMBER="123456" (quotes included).
// The defaults pretend to no real contact: the chat group and the download page lead to the
// project's home page (a placeholder until the project has one), and the group number and the
// access code are empty.
#include <string_view>

#ifndef UPTORRA_HOME_PAGE
#define UPTORRA_HOME_PAGE "https://example.com/uptorra/"
#endif
// The push service's own documentation, at its quick-start section ("快速接入", written
// percent-encoded so that the address stays ASCII on its way to the browser).
#ifndef UPTORRA_PUSH_GUIDE_URL
#define UPTORRA_PUSH_GUIDE_URL "https://wxpusher.zjiecode.com/docs/#/?id=%E5%BF%AB%E9%80%9F%E6%8E%A5%E5%85%A5"
#endif
#ifndef UPTORRA_CHAT_GROUP_URL
#define UPTORRA_CHAT_GROUP_URL UPTORRA_HOME_PAGE
#endif
#ifndef UPTORRA_CHAT_GROUP_NUMBER
#define UPTORRA_CHAT_GROUP_NUMBER ""
#endif
#ifndef UPTORRA_DOWNLOAD_URL
#define UPTORRA_DOWNLOAD_URL UPTORRA_HOME_PAGE
#endif
#ifndef UPTORRA_DOWNLOAD_ACCESS_CODE
#define UPTORRA_DOWNLOAD_ACCESS_CODE ""
#endif

namespace uptorra {

inline constexpr std::string_view kPushGuideAddress = UPTORRA_PUSH_GUIDE_URL;
inline constexpr std::string_view kChatGroupAddress = UPTORRA_CHAT_GROUP_URL;
inline constexpr std::string_view kChatGroupNumber = UPTORRA_CHAT_GROUP_NUMBER;
inline constexpr std::string_view kDownloadAddress = UPTORRA_DOWNLOAD_URL;
inline constexpr std::string_view kDownloadAccessCode = UPTORRA_DOWNLOAD_ACCESS_CODE;

}  // namespace uptorra
