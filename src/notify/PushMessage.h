#pragma once
// The alert message of the push service: its content line, the JSON body, and the address it
// is posted to. Texts are GBK; the body goes out as UTF-8 (SendAlert).
#include <string_view>

#include "core/Text.h"

namespace uptorra {

// The service's public API host. https: the application token must not travel in clear text.
inline constexpr std::string_view kBuiltInPushApiUrl = "https://wxpusher.zjiecode.com/api/send/message";

// Sets the address alerts are posted to (the optional apiUrl of the push settings); empty
// restores the built-in address. Called once at start-up; safe to call at any time.
void SetPushApiUrl(const Text& url);
Text PushApiUrl();

// "【KWO提醒】<time> 告警：<address>（<name>） <probe type> 通信失败，请及时查看！"; without a
// display name the parentheses are left out.
Text PushContent(std::string_view timeText, std::string_view address, std::string_view displayName,
                 std::string_view probeType);

// A GBK text as the inside of a JSON string: '"', '\' and control characters escaped. Works
// on characters, not bytes: the trail byte of a double-byte character may be 0x5C and is no
// backslash. A lead byte without its trail byte becomes '?', so that it can never join with
// the backslash of a following escape into one character when the text is decoded.
Text JsonEscapeGbk(std::string_view text);

// The six-line body, lines separated by CR LF, no line end after the last:
//   {
//   "appToken":"<token>",
//   "content":"<content>",
//   "contentType":1,
//   "topicIds":[<topicId>]
//   }
// The topic id text goes in unquoted and unchanged: "1,2" names two topics.
Text BuildPushBody(std::string_view appToken, std::string_view topicId, std::string_view timeText,
                   std::string_view address, std::string_view displayName, std::string_view probeType);

}  // namespace uptorra
