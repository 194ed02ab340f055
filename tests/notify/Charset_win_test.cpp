#include "notify/Charset.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace uptorra {
namespace {

std::string U8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(TextToUtf8, AsciiFullWidthAndChineseFromGbk) {
  EXPECT_EQ(TextToUtf8("abc"), "abc");
  EXPECT_EQ(TextToUtf8("abc").size(), 3u) << "no terminating zero byte";
  EXPECT_EQ(TextToUtf8("【"), "\xE3\x80\x90");
  EXPECT_EQ(TextToUtf8("【KWO提醒】告警：（网关）通信失败，请及时查看！"),
            U8(u8"【KWO提醒】告警：（网关）通信失败，请及时查看！"));
  // 昞 ends in 0x5C in GBK; it is one character.
  EXPECT_EQ(TextToUtf8("\x95\x5C"), U8(u8"昞"));
}

TEST(TextToUtf8, Utf16BytesOnlyWhenTheTextIsEmpty) {
  const std::string utf16("a\0\x11\x62", 4);  // "a我" as UTF-16LE
  EXPECT_EQ(TextToUtf8("", utf16), U8(u8"a我"));
  EXPECT_EQ(TextToUtf8("", utf16 + "x"), U8(u8"a我")) << "an odd last byte is no code unit";
  EXPECT_EQ(TextToUtf8("b", utf16), "b");
  EXPECT_EQ(TextToUtf8("", ""), "");
  EXPECT_EQ(TextToUtf8(""), "");
}

TEST(ConvertCharset, Utf8AnswerBecomesGbkByDefault) {
  const Bytes gbk = ConvertCharset(U8(u8"{\"msg\":\"处理成功\"}"));
  EXPECT_EQ(gbk, "{\"msg\":\"处理成功\"}");
  EXPECT_EQ(gbk, "{\"msg\":\"\xB4\xA6\xC0\xED\xB3\xC9\xB9\xA6\"}") << "two bytes a character";
  EXPECT_EQ(ConvertCharset(U8(u8"处理成功"), "", ""), "处理成功");
  EXPECT_EQ(ConvertCharset(U8(u8"处理成功"), "utf-8", "gbk"), "处理成功");
  EXPECT_EQ(ConvertCharset(U8(u8"处理成功"), "UTF-8", "GB2312"), "处理成功");
}

TEST(ConvertCharset, ByteOrderMarksLikeTheScriptingStream) {
  EXPECT_EQ(ConvertCharset("\xEF\xBB\xBF" "ok"), "ok") << "a source mark is skipped";
  EXPECT_EQ(ConvertCharset("中文", "GBK", "UTF-8"), "\xEF\xBB\xBF" + U8(u8"中文"));
  EXPECT_EQ(ConvertCharset("中文", "GBK", "UTF-8", 3), U8(u8"中文"));
  EXPECT_EQ(ConvertCharset("ab", "GBK", "Unicode"), std::string("\xFF\xFE" "a\0b\0", 6));
  EXPECT_EQ(ConvertCharset(std::string("\xFF\xFE\x11\x62", 4), "Unicode", "GBK"), "我");
}

TEST(ConvertCharset, OtherCharsetsOfTheSystemDatabase) {
  EXPECT_EQ(ConvertCharset("中文", "GBK", "Big5"), "\xA4\xA4\xA4\xE5");
  EXPECT_EQ(ConvertCharset("\xA4\xA4\xA4\xE5", "big5", "gbk"), "中文");
}

TEST(ConvertCharset, ZeroBytesInvalidInputAndUnrepresentableCharacters) {
  EXPECT_EQ(ConvertCharset(std::string("a\0b", 3)), std::string("a\0b", 3));
  const Bytes invalid = ConvertCharset("a\xFF" "b");
  EXPECT_EQ(invalid.front(), 'a');
  EXPECT_EQ(invalid.back(), 'b');
  EXPECT_EQ(invalid.find('\xFF'), Bytes::npos);
  const Bytes emoji = ConvertCharset(U8(u8"x😀"));
  EXPECT_EQ(emoji.front(), 'x');
  EXPECT_EQ(emoji.find_first_not_of("x?"), Bytes::npos) << "characters GBK lacks become '?'";
  EXPECT_EQ(ConvertCharset(""), "");
}

TEST(ConvertCharset, FailedStepsGiveEmptyBytes) {
  EXPECT_EQ(ConvertCharset("ok", "no-such-charset", "GBK"), "");
  EXPECT_EQ(ConvertCharset("ok", "UTF-8", "no-such-charset"), "");
  EXPECT_EQ(ConvertCharset("ok", "UTF-8", "GBK", 3), "");
  EXPECT_EQ(ConvertCharset("ok", "UTF-8", "GBK", -1), "");
  EXPECT_EQ(ConvertCharset("ok", "UTF-8", "GBK", 2), "");
  EXPECT_EQ(ConvertCharset("ok", "UTF-8", "GBK", 1), "k");
}

TEST(ConvertCharset, ConcurrentCallsInBothApartmentKinds) {
  // Pool threads may already be in the multithreaded apartment; COM then refuses the
  // single-threaded one, and the conversion must still work and leave that apartment alone.
  // Names are looked up once and remembered: each thread spells its source charset its own way
  // (the database ignores case), so that every thread's first call does go through COM.
  const char* spellings[] = {"uTF-8", "UtF-8", "UTf-8", "utF-8", "Utf-8", "uTf-8"};
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      const bool mta = t % 2 == 0;
      if (mta) ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      for (int i = 0; i < 40; ++i) {
        if (ConvertCharset(U8(u8"处理成功"), spellings[t], "GBK") == "处理成功") ++good;
      }
      if (mta) {
        EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE) << "still in our apartment";
        ::CoUninitialize();
        ::CoUninitialize();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(good.load(), 6 * 40);
}

}  // namespace
}  // namespace uptorra
