#include "notify/PushMessage.h"

#include <cstdio>
#include <mutex>

namespace uptorra {

namespace {

// The fixed parts of the content, as GBK bytes (spelt out so that every compiler produces
// the same bytes, whatever it does with narrow literals).
constexpr std::string_view kAlertTag = "\xA1\xBEKWO\xCC\xE1\xD0\xD1\xA1\xBF";  // 【KWO提醒】
constexpr std::string_view kAlarmWord = " \xB8\xE6\xBE\xAF\xA3\xBA";          // " 告警："
constexpr std::string_view kOpenParen = "\xA3\xA8";                            // （
constexpr std::string_view kCloseParen = "\xA3\xA9";                           // ）
constexpr std::string_view kFailureWords =                                     // " 通信失败，请及时查看！"
    " \xCD\xA8\xD0\xC5\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xBC\xB0\xCA\xB1\xB2\xE9\xBF\xB4\xA3\xA1";

std::mutex gPushUrlLock;
Text gPushUrl;  // empty: the built-in address

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

}  // namespace

void SetPushApiUrl(const Text& url) {
  std::lock_guard<std::mutex> lock(gPushUrlLock);
  gPushUrl = url;
}

Text PushApiUrl() {
  std::lock_guard<std::mutex> lock(gPushUrlLock);
  return gPushUrl.empty() ? Text(kBuiltInPushApiUrl) : gPushUrl;
}

Text PushContent(std::string_view timeText, std::string_view address, std::string_view displayName,
                 std::string_view probeType) {
  Text content(kAlertTag);
  content += timeText;
  content += kAlarmWord;
  content += address;
  if (!displayName.empty()) {
    content += kOpenParen;
    content += displayName;
    content += kCloseParen;
  }
  content += ' ';
  content += probeType;
  content += kFailureWords;
  return content;
}

Text JsonEscapeGbk(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t len = GbkCharLength(text, pos);
    if (len == 2) {
      out.append(text.substr(pos, 2));
      pos += 2;
      continue;
    }
    const auto c = static_cast<unsigned char>(text[pos++]);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
          out += escape;
        } else if (IsLeadByte(c)) {
          out += '?';
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

Text BuildPushBody(std::string_view appToken, std::string_view topicId, std::string_view timeText,
                   std::string_view address, std::string_view displayName, std::string_view probeType) {
  Text body = "{\r\n\"appToken\":\"";
  body += JsonEscapeGbk(appToken);
  body += "\",\r\n\"content\":\"";
  body += JsonEscapeGbk(PushContent(timeText, address, displayName, probeType));
  body += "\",\r\n\"contentType\":1,\r\n\"topicIds\":[";
  body += topicId;
  body += "]\r\n}";
  return body;
}

}  // namespace uptorra
