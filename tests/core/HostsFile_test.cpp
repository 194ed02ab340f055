#include "core/HostsFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace uptorra {
namespace {

// One loaded row as "number|address|name|type|retries|interval|status|time".
std::vector<std::string> Rows(const HostTable& table) {
  std::vector<std::string> rows;
  for (int r = 0; r < table.RowCount(); ++r) {
    std::string row;
    for (int c = 0; c < kColumnCount; ++c) {
      if (c) row += '|';
      row += table.GetCell(r, c);
    }
    rows.push_back(row);
  }
  return rows;
}

struct LoadCase {
  const char* name;
  std::string file;
  std::vector<std::string> rows;
};

const std::string kHeader = "主机地址/域名,主机名称,监测类型,重试次数,监测间隔(s),监测状态";

class LoadHostsFile : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadHostsFile, GivesTheExpectedRows) {
  HostTable table;
  const int appended = LoadHostTable(GetParam().file, table);
  EXPECT_EQ(Rows(table), GetParam().rows);
  EXPECT_EQ(appended, static_cast<int>(GetParam().rows.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, LoadHostsFile,
    ::testing::Values(
        LoadCase{"Empty", "", {}},
        LoadCase{"HeaderOnly", kHeader, {}},
        LoadCase{"HeaderOnlyWithLineEnd", kHeader + "\r\n", {}},
        LoadCase{"OneHost", kHeader + "\r\n10.0.0.1,网关,ICMP,2,120,等待测试",
                 {"1|10.0.0.1|网关|ICMP|2|120|等待测试|"}},
        LoadCase{"FiveAndSevenFieldsLeaveGaps",
                 kHeader + "\r\na,b,ICMP,2,120\r\nc,d,ICMP,2,120,x,y\r\ne,f,80端口,1,60,等待测试",
                 {"3|e|f|80端口|1|60|等待测试|"}},
        LoadCase{"TrailingCommaMeansFiveFields", kHeader + "\r\na,b,ICMP,2,120,\r\nc,,ICMP,0,5,停止监测",
                 {"2|c||ICMP|0|5|停止监测|"}},
        LoadCase{"EmptyNameLoads", kHeader + "\r\n1.2.3.4,,ICMP,2,120,等待测试", {"1|1.2.3.4||ICMP|2|120|等待测试|"}},
        LoadCase{"FinalLineEndAddsNoRow", kHeader + "\r\na,b,ICMP,2,120,s\r\n", {"1|a|b|ICMP|2|120|s|"}},
        LoadCase{"EmptyMiddleLineLeavesAGap", kHeader + "\r\na,b,ICMP,2,120,s\r\n\r\nc,d,ICMP,2,120,s",
                 {"1|a|b|ICMP|2|120|s|", "3|c|d|ICMP|2|120|s|"}},
        LoadCase{"FirstLineIsAlwaysTheHeader", "a,b,ICMP,2,120,s\r\nc,d,ICMP,2,120,s", {"1|c|d|ICMP|2|120|s|"}},
        LoadCase{"NoTrimming", kHeader + "\r\n a , b ,ICMP, 2,x, s ", {"1| a | b |ICMP| 2|x| s |"}},
        // "\x95\x2C" is not a GBK character (0x2C is no trail byte), so the comma separates.
        LoadCase{"InvalidGbkBytesKept", kHeader + "\r\n\xFF\x80,\x95,ICMP,2,120,s", {"1|\xFF\x80|\x95|ICMP|2|120|s|"}},
        // 0x5C (backslash) and 0x7C are trail bytes here: the names stay whole.
        LoadCase{"GbkNamesWithAsciiTrailBytes", kHeader + "\r\nh,\x95\x5C\xD7\x7C,ICMP,2,120,s",
                 {"1|h|\x95\x5C\xD7\x7C|ICMP|2|120|s|"}},
        LoadCase{"ZeroByteEndsTheText", kHeader + "\r\na,b,ICMP,2,120,s" + std::string(1, '\0') + "\r\nc,d,ICMP,2,120,s",
                 {"1|a|b|ICMP|2|120|s|"}},
        LoadCase{"LoneLineFeedIsNoSeparator", kHeader + "\r\na,b,ICMP,2,120,s\nc,d,ICMP,2,120,s", {}}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

TEST(LoadHostsFile, TenThousandLines) {
  std::string file = kHeader;
  for (int i = 1; i <= 10000; ++i) file += "\r\n10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ",主机" + std::to_string(i) + ",ICMP,2,120,等待测试";
  HostTable table;
  ASSERT_EQ(LoadHostTable(file, table), 10000);
  EXPECT_EQ(table.GetCell(9999, kColNumber), "10000");
  EXPECT_EQ(table.GetCell(9999, kColName), "主机10000");
}

TEST(DefaultHostsFile, IsHeaderAndOneExampleLineWithoutFinalLineEnd) {
  const Text content = DefaultHostsFileContent();
  ASSERT_EQ(content.rfind(kHeader + "\r\n", 0), 0u);
  EXPECT_NE(content.substr(content.size() - 2), "\r\n");
  HostTable table;
  ASSERT_EQ(LoadHostTable(content, table), 1);
  EXPECT_EQ(table.GetCell(0, kColNumber), "1");
  EXPECT_NE(table.GetCell(0, kColName).find("(示例)"), Text::npos);
  EXPECT_EQ(table.GetCell(0, kColProbeType), "ICMP");
  EXPECT_EQ(table.GetCell(0, kColRetries), "2");
  EXPECT_EQ(table.GetCell(0, kColInterval), "120");
  EXPECT_EQ(table.GetCell(0, kColStatus), "等待测试");
}

TEST(AppendHostLine, AddsOneLineWithoutItsOwnLineEnd) {
  EXPECT_EQ(AppendHostLine(kHeader, "1.1.1.1", "", "ICMP", "2", "120"), kHeader + "\r\n1.1.1.1,,ICMP,2,120,等待测试");
  // A file that already ends in CR LF gets an empty line, which the next load skips.
  const Text twice = AppendHostLine(kHeader + "\r\n", " a ", "名", "8080端口", "1", "");
  EXPECT_EQ(twice, kHeader + "\r\n\r\n a ,名,8080端口,1,,等待测试");
  HostTable table;
  LoadHostTable(twice, table);
  EXPECT_EQ(Rows(table), (std::vector<std::string>{"2| a |名|8080端口|1||等待测试|"}));
  // Unreadable old content counts as empty: an empty line takes the header's place.
  EXPECT_EQ(AppendHostLine("", "h", "n", "ICMP", "2", "120"), "\r\nh,n,ICMP,2,120,等待测试");
  EXPECT_EQ(AppendHostLine(std::string("old\0junk", 8), "h", "n", "ICMP", "2", "1"), "old\r\nh,n,ICMP,2,1,等待测试");
}

}  // namespace
}  // namespace uptorra
