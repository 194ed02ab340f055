// Server replies taken apart, in whatever pieces they arrive.
#include <gtest/gtest.h>

#include "notify/SmtpReply.h"

namespace uptorra {
namespace {

TEST(SmtpReply, WholeRepliesFromPiecesOfAnySize) {
  const std::string stream = "220 ready\r\n250-mx.test\r\n250-SIZE 1000\r\n250 HELP\r\n354\r\n221 Bye\n";
  for (std::size_t piece = 1; piece <= stream.size(); ++piece) {
    SmtpReplyReader reader;
    std::vector<SmtpReply> replies;
    for (std::size_t pos = 0; pos < stream.size(); pos += piece) {
      reader.Feed(std::string_view(stream).substr(pos, piece));
      SmtpReply reply;
      SmtpReplyReader::State state;
      while ((state = reader.Next(reply)) == SmtpReplyReader::State::Complete) replies.push_back(reply);
      ASSERT_EQ(state, SmtpReplyReader::State::Incomplete) << piece;
    }
    ASSERT_EQ(replies.size(), 4u) << piece;
    EXPECT_EQ(replies[0].code, 220);
    EXPECT_EQ(replies[0].lines, std::vector<std::string>{"ready"});
    EXPECT_EQ(replies[1].code, 250);
    EXPECT_EQ(replies[1].lines, (std::vector<std::string>{"mx.test", "SIZE 1000", "HELP"}));
    EXPECT_EQ(replies[2].code, 354);  // a code with no text
    EXPECT_EQ(replies[3].code, 221);  // a bare LF ends a line too
    EXPECT_FALSE(reader.HasPending());
  }
}

TEST(SmtpReply, MalformedReplies) {
  const char* cases[] = {
      "HTTP/1.1 200 OK\r\n",           // not SMTP
      "25 short\r\n",                  // two digits
      "250x no separator\r\n",         // neither blank nor hyphen after the code
      "250-first\r\n550 second\r\n",   // continuation with another code
      "099 too small\r\n",
      "600 too large\r\n",
  };
  for (const char* text : cases) {
    SmtpReplyReader reader;
    reader.Feed(text);
    SmtpReply reply;
    SmtpReplyReader::State state;
    while ((state = reader.Next(reply)) == SmtpReplyReader::State::Complete) {
    }
    EXPECT_EQ(state, SmtpReplyReader::State::Malformed) << text;
  }
}

TEST(SmtpReply, LimitsAgainstEndlessReplies) {
  SmtpReplyReader longLine;
  longLine.Feed("250 " + std::string(kMaxReplyLineLength + 10, 'x'));
  SmtpReply reply;
  EXPECT_EQ(longLine.Next(reply), SmtpReplyReader::State::Malformed);

  SmtpReplyReader manyLines;
  for (std::size_t i = 0; i <= kMaxReplyLines; ++i) manyLines.Feed("250-more\r\n");
  EXPECT_EQ(manyLines.Next(reply), SmtpReplyReader::State::Malformed);
}

TEST(SmtpReply, Capabilities) {
  struct Case {
    std::vector<std::string> lines;
    bool startTls, login, plain, offered;
  };
  const Case cases[] = {
      {{"mx", "STARTTLS", "AUTH LOGIN PLAIN"}, true, true, true, true},
      {{"mx", "auth plain login xoauth2", "8BITMIME"}, false, true, true, true},
      {{"mx", "AUTH=LOGIN"}, false, true, false, true},
      {{"mx", "AUTH CRAM-MD5"}, false, false, false, true},
      {{"mx", "AUTHX LOGIN", "STARTTLSX"}, false, false, false, false},
      {{"STARTTLS AUTH LOGIN"}, false, false, false, false},  // the first line is the greeting name
      {{"mx", "AUTH"}, false, false, false, false},
  };
  for (const Case& c : cases) {
    SmtpReply reply;
    reply.code = 250;
    reply.lines = c.lines;
    const SmtpCapabilities caps = ParseCapabilities(reply);
    EXPECT_EQ(caps.startTls, c.startTls) << c.lines.back();
    EXPECT_EQ(caps.authLogin, c.login) << c.lines.back();
    EXPECT_EQ(caps.authPlain, c.plain) << c.lines.back();
    EXPECT_EQ(caps.authOffered, c.offered) << c.lines.back();
  }
}

}  // namespace
}  // namespace uptorra
