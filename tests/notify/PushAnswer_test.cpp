#include "notify/PushAnswer.h"

#include <gtest/gtest.h>

#include <ostream>

namespace uptorra {
namespace {

// "处理成功" in GBK, as SendAlert hands the answer over.
#define GBK_DONE "\xB4\xA6\xC0\xED\xB3\xC9\xB9\xA6"

struct AnswerCase {
  const char* answer;
  bool accepted;
  friend std::ostream& operator<<(std::ostream& os, const AnswerCase& c) { return os << c.answer; }
};

class PushAcceptedTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(PushAcceptedTest, JudgesTheTopLevelCodeAndSuccessFields) {
  EXPECT_EQ(PushAccepted(GetParam().answer), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PushAcceptedTest,
    ::testing::Values(
        AnswerCase{"{\"code\":1000,\"msg\":\"" GBK_DONE "\",\"data\":[{\"topicId\":1,\"code\":1000}],\"success\":true}",
                   true},
        AnswerCase{"{\"code\":1000,\"msg\":\"" GBK_DONE "\",\"data\":[]}", true},  // success is optional
        AnswerCase{"{\"success\":true}", true},
        AnswerCase{" \r\n{ \"code\" : 1000 }\r\n", true},
        AnswerCase{"{\"code\":1001,\"msg\":\"appToken\",\"data\":null,\"success\":false}", false},
        AnswerCase{"{\"code\":1001,\"msg\":\"true\"}", false},  // "true" as a word is no acceptance
        AnswerCase{"{\"code\":\"1000\"}", false},
        AnswerCase{"{\"code\":1000.5}", false},
        AnswerCase{"{\"success\":\"true\"}", false},
        AnswerCase{"{\"success\":1}", false},
        AnswerCase{"{\"data\":{\"success\":true,\"code\":1000}}", false},  // nested fields do not count
        AnswerCase{"{\"code\":1000,\"code\":1001}", false},               // the last of a repeated name
        AnswerCase{"[{\"code\":1000,\"success\":true}]", false},          // not an object
        AnswerCase{"true", false}, AnswerCase{"", false},
        AnswerCase{"<html><body><h1>500 Internal Server Error</h1><p>retry=true</p></body></html>", false},
        AnswerCase{"{\"code\":1000,\"msg\":\"" GBK_DONE "\",\"success\":tru", false},  // cut off
        AnswerCase{"{\"code\":1000} {\"x\":1}", false},                                 // trailing document
        // A GBK character whose trail byte is 0x5C right before a closing quote: read as bytes,
        // that would be an escaped quote and the document invalid.
        AnswerCase{"{\"msg\":\"\x95\x5C\",\"success\":true}", true},
        AnswerCase{"{\"msg\":\"\x95\x5C\",\"code\":1000}", true}));

TEST(PushAccepted, DeepNestingAndLongAnswersNeitherCrashNorAccept) {
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  EXPECT_FALSE(PushAccepted("{\"data\":" + deep + "}"));
  EXPECT_TRUE(PushAccepted("{\"data\":" + deep + ",\"success\":true}"));
  EXPECT_FALSE(PushAccepted(std::string(300000, '{')));
  std::string filler = "{\"code\":1001,\"msg\":\"" + std::string(4 << 20, 'x') + "\"}";
  EXPECT_FALSE(PushAccepted(filler));
}

}  // namespace
}  // namespace uptorra
