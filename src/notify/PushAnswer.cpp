#include "notify/PushAnswer.h"

#include <nlohmann/json.hpp>

namespace uptorra {

namespace {

// Watches the members of the top-level object only; nested values are parsed (the whole
// document must be valid JSON) but not kept, so a huge answer costs no tree in memory. The
// parser itself keeps its nesting on a heap stack, not on the thread's.
class AnswerJudge final : public nlohmann::json_sax<nlohmann::json> {
 public:
  static constexpr int kAccepted = 1000;  // the service's code for a message it has taken on

  bool accepted() const { return rootIsObject_ && (codeAccepted_ || successIsTrue_); }

  bool null() override { return Scalar(Value::kOther); }
  bool boolean(bool value) override { return Scalar(value ? Value::kTrue : Value::kOther); }
  bool number_integer(number_integer_t value) override {
    return Scalar(value == kAccepted ? Value::kAcceptedCode : Value::kOther);
  }
  bool number_unsigned(number_unsigned_t value) override {
    return Scalar(value == kAccepted ? Value::kAcceptedCode : Value::kOther);
  }
  bool number_float(number_float_t, const string_t&) override { return Scalar(Value::kOther); }
  bool string(string_t&) override { return Scalar(Value::kOther); }
  bool binary(binary_t&) override { return Scalar(Value::kOther); }
  bool start_object(std::size_t) override {
    if (depth_ == 0) rootIsObject_ = true;
    Member(Value::kOther);
    ++depth_;
    return true;
  }
  bool key(string_t& name) override {
    if (depth_ == 1) key_ = name;
    return true;
  }
  bool end_object() override {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) override {
    Member(Value::kOther);
    ++depth_;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  enum class Value { kAcceptedCode, kTrue, kOther };

  bool Scalar(Value value) {
    Member(value);
    return true;
  }
  // A value that is a direct member of the top-level object; a repeated name counts with its
  // last value, as in most parsers.
  void Member(Value value) {
    if (depth_ != 1) return;
    if (key_ == "code") codeAccepted_ = value == Value::kAcceptedCode;
    if (key_ == "success") successIsTrue_ = value == Value::kTrue;
  }

  int depth_ = 0;
  std::string key_;
  bool rootIsObject_ = false;
  bool codeAccepted_ = false;
  bool successIsTrue_ = false;
};

// The answer with every non-ASCII character replaced by '?'. The JSON parser wants UTF-8,
// and the fields judged here are ASCII. The walk is by GBK character: a trail byte 0x5C is
// not a backslash and must not escape the quote that ends a string.
std::string AsciiSkeleton(std::string_view answer) {
  std::string out;
  out.reserve(answer.size());
  for (std::size_t pos = 0; pos < answer.size();) {
    const std::size_t len = GbkCharLength(answer, pos);
    const auto c = static_cast<unsigned char>(answer[pos]);
    out += (len == 2 || c >= 0x80) ? '?' : static_cast<char>(c);
    pos += len;
  }
  return out;
}

}  // namespace

bool PushAccepted(std::string_view answer) {
  try {
    AnswerJudge judge;
    const std::string skeleton = AsciiSkeleton(answer);
    if (!nlohmann::json::sax_parse(skeleton, &judge)) return false;
    return judge.accepted();
  } catch (...) {  // out of memory on an absurd answer: a refusal, never a crash of the worker
    return false;
  }
}

}  // namespace uptorra
