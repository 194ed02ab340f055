// The push-answer judgement against a reference built on the whole parsed document: for ASCII
// answers both must agree (object, "code" an integer 1000 or "success" true, last of a repeated
// name); for any bytes the judgement must not crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "notify/PushAnswer.h"

namespace {
bool Reference(std::string_view answer) {
  const nlohmann::json doc = nlohmann::json::parse(answer, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return false;
  const auto code = doc.find("code");
  if (code != doc.end() && code->is_number_integer() && *code == 1000) return true;
  const auto success = doc.find("success");
  return success != doc.end() && success->is_boolean() && success->get<bool>();
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view answer(reinterpret_cast<const char*>(data), size);
  const bool accepted = uptorra::PushAccepted(answer);
  if (IsAscii(answer) && answer.find('\0') == std::string_view::npos && accepted != Reference(answer)) std::abort();
  return 0;
}
