// Column sort of a large host table: the whole SortHostTable (reading every key, the insertion
// sort with bisection, the reorder of the model) per sortable column, the order alone, and as
// the peer std::stable_sort of the same keys with the same comparison (an O(n log n) sort; its
// placement of equal keys differs from the operator-visible one, so it is a yardstick only).
// Usage: bench_sort [rows] [repeats]   (defaults 10000 rows, 10 repeats; the mean is shown)
//
// Timed with std::clock over all repeats: <chrono> does not compile with GCC 12 when narrow
// literals are GBK (its micro sign has no GBK form). Under Windows std::clock is wall time with
// millisecond steps, under Linux processor time; the work is single-threaded either way.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <ctime>
#include <string>
#include <vector>

#include "core/HostTable.h"
#include "ui/ColumnSort.h"

namespace {

using uptorra::HostTable;
using uptorra::SortKeyKind;
using uptorra::Text;

void FillTable(HostTable& table, int rows) {
  std::mt19937 random(12345);
  const char* statuses[] = {"等待测试", "正在测试", "端口通信正常", "ICMP通信正常, 3ms", "通信失败,微信推送成功",
                            "停止监测"};
  for (int i = 0; i < rows; ++i) {
    const int row = table.AppendRow(std::to_string(i + 1));
    const bool domain = random() % 4 == 0;
    const Text address = domain ? "host" + std::to_string(random() % 100000) + ".example.com"
                                : std::to_string(random() % 256) + "." + std::to_string(random() % 256) + "." +
                                      std::to_string(random() % 256) + "." + std::to_string(random() % 256);
    table.SetCell(row, uptorra::kColAddress, address);
    table.SetCell(row, uptorra::kColName, "服务器" + std::to_string(random() % 5000));
    table.SetCell(row, uptorra::kColProbeType, random() % 2 ? Text("ICMP") : std::to_string(random() % 65536) + "端口");
    table.SetCell(row, uptorra::kColRetries, "2");
    table.SetCell(row, uptorra::kColInterval, "120");
    table.SetCell(row, uptorra::kColStatus, statuses[random() % 6]);
  }
}

double MsSince(std::clock_t start) { return 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
  HostTable table;
  FillTable(table, rows);
  table.SetSelectedRow(rows / 2);

  struct Column {
    int column;
    const char* name;
    SortKeyKind kind;
  };
  const Column columns[] = {{0, "number", SortKeyKind::Numeric},
                            {1, "address", SortKeyKind::Numeric},
                            {2, "name", SortKeyKind::Text},
                            {3, "probe type", SortKeyKind::Text},
                            {6, "status", SortKeyKind::Text}};
  std::printf("rows %d, mean of %d runs\n", rows, repeats);
  for (const Column& c : columns) {
    for (bool ascending : {false, true}) {
      const std::clock_t wholeStart = std::clock();
      for (int r = 0; r < repeats; ++r) uptorra::SortHostTable(table, c.column, c.kind, ascending);
      const double wholeMs = MsSince(wholeStart) / repeats;

      std::vector<uptorra::SortKey> keys;
      keys.reserve(rows);
      for (int row = 0; row < rows; ++row) keys.push_back(uptorra::SortKeyOf(table.GetCell(row, c.column), c.kind));
      std::size_t check = 0;
      const std::clock_t orderStart = std::clock();
      for (int r = 0; r < repeats; ++r) check += uptorra::SortOrder(keys, c.kind, ascending).size();
      const double orderMs = MsSince(orderStart) / repeats;
      if (check != static_cast<std::size_t>(rows) * repeats) return 1;

      const std::clock_t peerStart = std::clock();
      for (int r = 0; r < repeats; ++r) {
        std::vector<int> order(keys.size());
        for (int i = 0; i < rows; ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
          const int cmp = uptorra::CompareSortKeys(keys[a], keys[b], c.kind);
          return ascending ? cmp < 0 : cmp > 0;
        });
        check += order.size();
      }
      const double peerMs = MsSince(peerStart) / repeats;
      if (check != static_cast<std::size_t>(rows) * repeats * 2) return 1;
      std::printf("  %-10s %-10s SortHostTable %8.2f ms   order alone %8.2f ms   std::stable_sort %8.2f ms\n", c.name,
                  ascending ? "ascending" : "descending", wholeMs, orderMs, peerMs);
    }
  }
  return 0;
}
