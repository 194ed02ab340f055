// The column-click handler with the program's own GBK titles.
#include <gtest/gtest.h>

#include <vector>

#include "ui/ColumnSort.h"
#include "ui/ScriptedWindow.h"

namespace uptorra {
namespace {

using test::ScriptedWindow;

void AddRow(HostTable& table, const Text& number, const Text& address, const Text& name, const Text& type,
            const Text& status) {
  const int row = table.AppendRow(number);
  table.SetCell(row, kColAddress, address);
  table.SetCell(row, kColName, name);
  table.SetCell(row, kColProbeType, type);
  table.SetCell(row, kColRetries, "2");
  table.SetCell(row, kColInterval, "120");
  table.SetCell(row, kColStatus, status);
}

void FillThreeHosts(HostTable& table) {
  AddRow(table, "9", "192.168.1.20", "网关", "ICMP", "等待测试");
  AddRow(table, "10", "www.example.com", "官网", "80端口", "停止监测");
  AddRow(table, "1", "10.0.0.2", "数据库", "3306端口", "端口通信正常");
}

class ColumnClickTest : public ::testing::Test {
 protected:
  std::vector<Text> Column(int col) const {
    std::vector<Text> texts;
    for (int row = 0; row < table.RowCount(); ++row) texts.push_back(table.GetCell(row, col));
    return texts;
  }
  void FillThree() { FillThreeHosts(table); }
  ScriptedWindow window;
  HostTable table;
};

TEST_F(ColumnClickTest, ClicksAlternateDescendingAndAscending) {
  FillThree();
  OnColumnClick(window, table, kColNumber);
  EXPECT_EQ(window.ColumnTitle(kColNumber), "序号↓");
  EXPECT_EQ(Column(kColNumber), (std::vector<Text>{"10", "9", "1"}));
  OnColumnClick(window, table, kColNumber);
  EXPECT_EQ(window.ColumnTitle(kColNumber), "序号↑");
  EXPECT_EQ(Column(kColNumber), (std::vector<Text>{"1", "9", "10"}));
  OnColumnClick(window, table, kColNumber);
  EXPECT_EQ(window.ColumnTitle(kColNumber), "序号↓");
  EXPECT_EQ(Column(kColNumber), (std::vector<Text>{"10", "9", "1"}));
}

TEST_F(ColumnClickTest, EverySortableColumnShowsItsOwnArrows) {
  struct Case {
    int column;
    Text descending, ascending;
    std::vector<Text> ascendingAddresses;
  };
  const Case cases[] = {
      {kColNumber, "序号↓", "序号↑", {"10.0.0.2", "192.168.1.20", "www.example.com"}},
      {kColAddress, "主机地址/域名↓", "主机地址/域名↑", {"www.example.com", "10.0.0.2", "192.168.1.20"}},
      // By GBK bytes: 官 B9 D9, 数 CA FD, 网 CD F8.
      {kColName, "主机名称↓", "主机名称↑", {"www.example.com", "10.0.0.2", "192.168.1.20"}},
      // "3306端口" < "80端口" < "ICMP": digits below letters, byte by byte.
      {kColProbeType, "监测类型↓", "监测类型↑", {"10.0.0.2", "www.example.com", "192.168.1.20"}},
      // 端 B6 CB, 等 B5 C8, 停 CD A3.
      {kColStatus, "监测状态↓", "监测状态↑", {"192.168.1.20", "10.0.0.2", "www.example.com"}},
  };
  for (const Case& c : cases) {
    ScriptedWindow fresh;
    HostTable rows;
    FillThreeHosts(rows);
    OnColumnClick(fresh, rows, c.column);
    EXPECT_EQ(fresh.ColumnTitle(c.column), c.descending);
    OnColumnClick(fresh, rows, c.column);
    EXPECT_EQ(fresh.ColumnTitle(c.column), c.ascending);
    std::vector<Text> addresses;
    for (int row = 0; row < rows.RowCount(); ++row) addresses.push_back(rows.GetCell(row, kColAddress));
    EXPECT_EQ(addresses, c.ascendingAddresses) << c.ascending;
  }
}

TEST_F(ColumnClickTest, RetriesIntervalAndTestTimeIgnoreTheClick) {
  FillThree();
  const auto before = Column(kColNumber);
  for (int column : {int{kColRetries}, int{kColInterval}, int{kColTestTime}, 8, -1}) {
    table.TakeChanges();
    OnColumnClick(window, table, column);
    EXPECT_EQ(Column(kColNumber), before) << column;
    EXPECT_FALSE(table.TakeChanges().structure) << column;
  }
  EXPECT_EQ(window.ColumnTitle(kColRetries), "重试");
  EXPECT_EQ(window.ColumnTitle(kColInterval), "间隔(s)");
  EXPECT_EQ(window.ColumnTitle(kColTestTime), "测试时间");
}

TEST_F(ColumnClickTest, OtherColumnsKeepTheirArrows) {
  FillThree();
  OnColumnClick(window, table, kColNumber);
  OnColumnClick(window, table, kColStatus);
  OnColumnClick(window, table, kColStatus);
  EXPECT_EQ(window.ColumnTitle(kColNumber), "序号↓");
  EXPECT_EQ(window.ColumnTitle(kColStatus), "监测状态↑");
  EXPECT_EQ(window.ColumnTitle(kColName), "主机名称*");
  // The next click on 序号 continues from its own arrow.
  OnColumnClick(window, table, kColNumber);
  EXPECT_EQ(window.ColumnTitle(kColNumber), "序号↑");
}

TEST_F(ColumnClickTest, EmptyTableOnlyChangesTheTitle) {
  OnColumnClick(window, table, kColName);
  EXPECT_EQ(window.ColumnTitle(kColName), "主机名称↓");
  EXPECT_EQ(table.RowCount(), 0);
}

TEST_F(ColumnClickTest, SelectionFollowsItsHost) {
  FillThree();
  table.SetSelectedRow(1);  // www.example.com, number 10
  OnColumnClick(window, table, kColNumber);   // 10, 9, 1
  EXPECT_EQ(table.SelectedRow(), 0);
  OnColumnClick(window, table, kColNumber);   // 1, 9, 10
  EXPECT_EQ(table.SelectedRow(), 2);
  EXPECT_EQ(table.GetCell(2, kColAddress), "www.example.com");
}

}  // namespace
}  // namespace uptorra
