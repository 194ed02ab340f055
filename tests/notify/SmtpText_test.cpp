// The wire encodings of a mail: base64, encoded words, dot-stuffing, the date and the message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "notify/SmtpMessage.h"
#include "notify/SmtpText.h"
#include "SmtpFakeServer.h"

namespace uptorra {
namespace {

using test::U8;

std::string Base64Decode(std::string_view text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (const char c : text) {
    const int v = value(c);
    if (v < 0) continue;
    bits = bits << 6 | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>(bits >> count & 0xFF);
    }
  }
  return out;
}

bool IsCompleteUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

// The encoded words of a header value, decoded one by one.
std::vector<std::string> DecodeWords(const std::string& value) {
  std::vector<std::string> words;
  std::size_t pos = 0;
  while ((pos = value.find("=?UTF-8?B?", pos)) != std::string::npos) {
    const std::size_t end = value.find("?=", pos + 10);
    words.push_back(Base64Decode(value.substr(pos + 10, end - pos - 10)));
    pos = end + 2;
  }
  return words;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t crlf; (crlf = text.find("\r\n", start)) != std::string::npos; start = crlf + 2) {
    lines.push_back(text.substr(start, crlf - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

TEST(SmtpText, Base64OfTheStandardVectors) {
  const std::pair<const char*, const char*> cases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                                       {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
                                                       {"foobar", "Zm9vYmFy"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(Base64Encode(in), out) << in;
  EXPECT_EQ(Base64Encode(std::string("\0\xFF\xFE", 3)), "AP/+");
}

TEST(SmtpText, Base64LinesAreCutAt76) {
  const std::string bytes(200, 'x');
  const std::string lines = Base64Lines(bytes);
  std::string joined;
  for (const std::string& line : Lines(lines)) {
    EXPECT_LE(line.size(), 76u);
    joined += line;
  }
  EXPECT_EQ(joined, Base64Encode(bytes));
  EXPECT_EQ(lines.substr(lines.size() - 2), "\r\n");
  EXPECT_EQ(Base64Lines(""), "");
}

TEST(SmtpText, PlainAsciiHeaderTextStaysPlain) {
  EXPECT_EQ(EncodeHeaderText("Uptorra status", HeaderPart::Unstructured, 9), "Uptorra status");
  EXPECT_EQ(EncodeHeaderText("KWO Monitor", HeaderPart::DisplayName, 6), "KWO Monitor");
  // CR and LF would end the header line: they never get through as they are.
  EXPECT_EQ(EncodeHeaderText("a\r\nBcc: x@y", HeaderPart::Unstructured, 9), "a  Bcc: x@y");
}

TEST(SmtpText, TextThatWouldBeMisreadIsEncoded) {
  struct Case {
    std::string text;
    HeaderPart part;
  };
  const Case cases[] = {
      {"=?UTF-8?B?eA==?=", HeaderPart::Unstructured},   // looks like an encoded word
      {"Monitor <evil@x>", HeaderPart::DisplayName},   // angle brackets in a display name
      {"Smith, John", HeaderPart::DisplayName},         // a comma would split the address list
      {"tab\there", HeaderPart::Unstructured},          // control character
      {std::string(1000, 'a'), HeaderPart::Unstructured},  // too long for one line
  };
  for (const Case& c : cases) {
    const std::string encoded = EncodeHeaderText(c.text, c.part, 9);
    EXPECT_EQ(encoded.rfind("=?UTF-8?B?", 0), 0u) << c.text;
    std::string joined;
    for (const std::string& w : DecodeWords(encoded)) joined += w;
    EXPECT_EQ(joined, c.text);
  }
}

TEST(SmtpText, ChineseIsSplitIntoShortWordsOfWholeCharacters) {
  const std::string subject = U8(u8"KWO提醒：网络监测程序运行正常。") + U8(u8"一二三四五六七八九十甲乙丙丁戊己庚辛壬癸子丑寅卯");
  for (const std::size_t used : {std::size_t{9}, std::size_t{6}, std::size_t{40}, std::size_t{70}}) {
    const std::string encoded = EncodeHeaderText(subject, HeaderPart::Unstructured, used);
    const std::vector<std::string> lines = Lines(encoded);
    ASSERT_GT(lines.size(), 1u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::size_t lineLength = lines[i].size() + (i == 0 ? used : 0);
      EXPECT_LE(lineLength, 76u) << "line " << i << " with " << used;
      if (i > 0) {
        EXPECT_EQ(lines[i][0], ' ');  // folded
      }
    }
    std::string joined;
    for (const std::string& word : DecodeWords(encoded)) {
      EXPECT_TRUE(IsCompleteUtf8(word)) << "a character split between words";
      EXPECT_LE(word.size(), 45u);
      joined += word;
    }
    EXPECT_EQ(joined, subject);
  }
}

TEST(SmtpText, DotStuffingAndLineEnds) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ".\r\n"},
      {"a", "a\r\n.\r\n"},
      {"a\r\n", "a\r\n.\r\n"},
      {".", "..\r\n.\r\n"},
      {"a\r\n.\r\nb", "a\r\n..\r\nb\r\n.\r\n"},
      {"a\n.b\n..c\r.", "a\r\n..b\r\n...c\r\n..\r\n.\r\n"},
      {"x.y\r\n", "x.y\r\n.\r\n"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(DataPhaseBytes(in), out) << in;
}

TEST(SmtpText, DateHeaderForm) {
  MailDate d;
  d.year = 2024, d.month = 3, d.day = 5, d.weekday = 2, d.hour = 9, d.minute = 7, d.second = 3;
  d.utcOffsetMinutes = 480;
  EXPECT_EQ(FormatMailDate(d), "Tue, 05 Mar 2024 09:07:03 +0800");
  d.utcOffsetMinutes = -210;
  d.month = 12, d.weekday = 0;
  EXPECT_EQ(FormatMailDate(d), "Sun, 05 Dec 2024 09:07:03 -0330");
  d.utcOffsetMinutes = 0;
  EXPECT_EQ(FormatMailDate(d).substr(26), "+0000");
}

TEST(SmtpMessage, SenderTextSplitsAtTheLastAngleBracket) {
  struct Case {
    const char* sender;
    const char* name;
    const char* address;
  };
  const Case cases[] = {
      {"KWO<monitor@x.test>", "KWO", "monitor@x.test"},
      {"<monitor@x.test>", "", "monitor@x.test"},
      {"monitor@x.test", "", "monitor@x.test"},
      {"A<B <monitor@x.test>", "A<B", "monitor@x.test"},
      {"\xCC\xE1\xD0\xD1<m@x.test>", "\xCC\xE1\xD0\xD1", "m@x.test"},  // GBK name
  };
  for (const Case& c : cases) {
    const SenderParts parts = SplitSenderText(c.sender);
    EXPECT_EQ(parts.name, c.name) << c.sender;
    EXPECT_EQ(parts.address, c.address) << c.sender;
  }
}

TEST(SmtpMessage, HeadersAndBody) {
  MailParts parts;
  parts.fromName = U8(u8"KWO提醒助手");
  parts.fromAddress = "monitor@x.test";
  parts.toAddress = "ops@x.test";
  parts.subject = U8(u8"KWO提醒：网络监测程序运行正常。");
  parts.body = U8(u8"第一行\n第二行");
  parts.date = "Tue, 05 Mar 2024 09:07:03 +0800";
  parts.messageId = "abc@x.test";
  const std::string message = BuildMailMessage(parts);
  const std::size_t split = message.find("\r\n\r\n");
  ASSERT_NE(split, std::string::npos);
  const std::string head = message.substr(0, split + 2);
  for (const char* line : {"To: <ops@x.test>\r\n", "Date: Tue, 05 Mar 2024 09:07:03 +0800\r\n",
                           "Message-ID: <abc@x.test>\r\n", "MIME-Version: 1.0\r\n",
                           "Content-Type: text/plain; charset=UTF-8\r\n", "Content-Transfer-Encoding: base64\r\n"}) {
    EXPECT_NE(head.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(head.rfind("From: =?UTF-8?B?", 0), 0u);
  EXPECT_NE(head.find("?= <monitor@x.test>\r\n"), std::string::npos);
  for (const std::string& line : Lines(head)) EXPECT_LE(line.size(), 78u) << line;
  EXPECT_EQ(Base64Decode(message.substr(split + 4)), U8(u8"第一行\r\n第二行"));
}

TEST(SmtpMessage, UsableAddresses) {
  EXPECT_TRUE(IsUsableAddress("a@b.test"));
  EXPECT_TRUE(IsUsableAddress("first.last+tag@b.test"));
  for (const char* bad : {"", "a b@c", "a@b>", "<a@b", "a@b\r\n", "a\t@b", "a\x7F@b"}) {
    EXPECT_FALSE(IsUsableAddress(bad)) << bad;
  }
}

}  // namespace
}  // namespace uptorra
