#pragma once
// MyConfig.ini: section Wx_Pusher (push settings) and section "SMTP邮件" (status mail), read
// and written through the system's profile functions; and the first-run mark in the registry.
#include <string_view>

#include "core/Text.h"

namespace uptorra {

inline constexpr std::string_view kPushSection = "Wx_Pusher";
inline constexpr std::string_view kAppTokenKey = "appToken";
inline constexpr std::string_view kTopicIdKey = "topicId";
inline constexpr std::string_view kApiUrlKey = "apiUrl";  // optional, never written by us

inline constexpr std::string_view kMailSection = "SMTP邮件";
inline constexpr std::string_view kMailServerKey = "SMTP服务器";
inline constexpr std::string_view kMailPortKey = "SMTP端口";
inline constexpr std::string_view kMailSenderKey = "发信邮箱";
inline constexpr std::string_view kMailNicknameKey = "发信昵称";
inline constexpr std::string_view kMailPasswordKey = "邮箱授权码";
inline constexpr std::string_view kMailRecipientKey = "收信邮箱";

inline constexpr std::size_t kProfileBufferSize = 10240;  // a longer value is cut

// A value of the profile file; a missing file, section or key reads as empty.
Text ReadProfileText(const Text& path, std::string_view section, std::string_view key);
bool WriteProfileText(const Text& path, std::string_view section, std::string_view key, std::string_view value);

// Writes the eight keys of a new configuration file, in their order: the two push keys empty,
// the six mail keys with example values marked "(示例)".
void WriteDefaultConfig(const Text& path);

// The first-run mark: REG_SZ "FirstRun" = "1" under SOFTWARE\KWO\Uptorra.
class FirstRunStore {
 public:
  virtual ~FirstRunStore() = default;
  virtual bool IsMarked() = 0;
  virtual void Mark() = 0;
};

}  // namespace uptorra
