#include "core/HostTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace uptorra {
namespace {

TEST(HostTable, OutOfRangeReadsAreEmptyAndWritesChangeNothing) {
  HostTable table;
  table.SetCell(0, 1, "x");
  table.SetCellImage(3, kColStatus, kImageSuccess);
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(table.GetCell(0, 1), "");
  EXPECT_EQ(table.GetCellImage(0, kColStatus), kNoImage);
  const int row = table.AppendRow("1");
  table.SetCell(row, kColumnCount, "no such column");
  table.SetCell(row, -1, "no such column");
  EXPECT_EQ(table.Snapshot(row).cells[kColNumber], "1");
  EXPECT_EQ(table.SelectedRow(), -1);
  table.SetSelectedRow(5);
  EXPECT_EQ(table.SelectedRow(), -1);
}

TEST(HostTable, IdentityFollowsTheRowThroughAReorder) {
  HostTable table;
  for (const char* n : {"1", "2", "3"}) table.SetCell(table.AppendRow(n), kColAddress, std::string("host") + n);
  const RowId second = table.IdOfRow(1);
  ASSERT_TRUE(table.Reorder({2, 1, 0}));
  ASSERT_TRUE(table.Reorder({1, 2, 0}));  // now: host2, host1, host3
  EXPECT_EQ(table.RowOfId(second), 0);
  ASSERT_TRUE(table.SetCellById(second, kColStatus, "正在测试"));
  EXPECT_EQ(table.GetCell(0, kColAddress), "host2");
  EXPECT_EQ(table.GetCell(0, kColStatus), "正在测试");
  EXPECT_FALSE(table.Reorder({0, 0, 1}));  // not a permutation
  EXPECT_FALSE(table.Reorder({0, 1}));
  EXPECT_FALSE(table.SetCellById(kNoRowId, kColStatus, "x"));
  EXPECT_FALSE(table.SetCellById(99, kColStatus, "x"));
}

TEST(HostTable, UpdateByIdIsOneAtomicStep) {
  HostTable table;
  const RowId id = table.IdOfRow(table.AppendRow("1"));
  table.SetCell(0, kColStatus, "停止监测");
  // A result may not overwrite a switch-off made meanwhile.
  auto writeResult = [&](HostRow& row) {
    if (row.cells[kColStatus] == "停止监测") return false;
    row.cells[kColStatus] = "端口通信正常";
    row.images[kColStatus] = kImageSuccess;
    return true;
  };
  ASSERT_TRUE(table.UpdateById(id, writeResult));
  EXPECT_EQ(table.GetCell(0, kColStatus), "停止监测");
  table.SetCell(0, kColStatus, "等待监测");
  ASSERT_TRUE(table.UpdateById(id, writeResult));
  EXPECT_EQ(table.GetCell(0, kColStatus), "端口通信正常");
  EXPECT_EQ(table.GetCellImage(0, kColStatus), kImageSuccess);
}

TEST(HostTable, ChangeNoticesAreCoalescedUntilTheViewTakesThem) {
  HostTable table;
  std::atomic<int> notices{0};
  table.SetChangeListener([&] { ++notices; });
  for (int i = 0; i < 5; ++i) table.AppendRow(std::to_string(i + 1));
  for (int i = 0; i < 100; ++i) table.SetCell(i % 5, kColStatus, "正在测试");
  EXPECT_EQ(notices.load(), 1);
  HostTable::Changes changes = table.TakeChanges();
  EXPECT_TRUE(changes.structure);
  EXPECT_EQ(changes.rows.size(), 5u);
  table.BringIntoView(3);
  EXPECT_EQ(notices.load(), 2);
  changes = table.TakeChanges();
  EXPECT_FALSE(changes.structure);
  EXPECT_TRUE(changes.rows.empty());
  EXPECT_EQ(changes.bringIntoView, 3);
}

TEST(HostTable, ConcurrentCellWritesNeverTearAText) {
  HostTable table;
  constexpr int kRows = 8;
  for (int r = 0; r < kRows; ++r) table.AppendRow(std::to_string(r + 1));
  const std::vector<Text> texts = {"正在测试", "开始第 1 次重试", "ICMP通信正常, 0ms", "通信失败,微信推送成功"};
  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 20000; ++i) table.SetCellById(table.IdOfRow(i % kRows), kColStatus, texts[(i + t) % texts.size()]);
    });
  }
  std::thread reader([&] {
    while (!stop) {
      for (int r = 0; r < kRows; ++r) {
        const Text seen = table.GetCell(r, kColStatus);
        if (!seen.empty()) {
          ASSERT_NE(std::find(texts.begin(), texts.end(), seen), texts.end()) << seen;
        }
      }
    }
  });
  for (auto& w : writers) w.join();
  stop = true;
  reader.join();
}

}  // namespace
}  // namespace uptorra
