// The column sort on fuzzed cell texts: the insertion by bisection must agree with its
// one-key form FindInsertPosition, put every key where it belongs among the keys sorted so
// far, and SortHostTable must move whole rows (a permutation, each row keeping its cells and
// identity) and keep the selected host selected. The first byte chooses column, direction and
// selection; the rest is cut into cell texts at '\n'.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/HostTable.h"
#include "core/Text.h"
#include "ui/ColumnSort.h"

namespace {
using uptorra::SortKey;
using uptorra::SortKeyKind;

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr std::size_t kMaxRows = 200;  // enough for every shape of bisection, fast per input

// Numeric keys equal within the tolerance are not a strict order: neighbours may then stand
// either way round. The order checks hold for keys that are exactly equal or clearly apart.
bool ClearlyOrdered(const std::vector<SortKey>& keys, SortKeyKind kind) {
  if (kind == SortKeyKind::Text) return true;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (std::isnan(keys[i].number)) return false;
    for (std::size_t j = i + 1; j < keys.size(); ++j) {
      const double a = keys[i].number;
      const double b = keys[j].number;
      if (a != b && std::fabs(a - b) <= 4 * uptorra::kNumericKeyTolerance) return false;
    }
  }
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t control = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string> cells;
  for (std::size_t pos = 0; pos <= input.size() && cells.size() < kMaxRows;) {
    const std::size_t end = std::min(input.find('\n', pos), input.size());
    cells.emplace_back(input.substr(pos, end - pos));
    pos = end + 1;
  }
  static constexpr int kColumns[] = {uptorra::kColNumber, uptorra::kColAddress, uptorra::kColName,
                                     uptorra::kColProbeType, uptorra::kColStatus};
  const int column = kColumns[control % 5];
  const SortKeyKind kind = column <= uptorra::kColAddress ? SortKeyKind::Numeric : SortKeyKind::Text;
  const bool ascending = (control & 0x08) != 0;

  std::vector<SortKey> keys;
  for (const auto& cell : cells) keys.push_back(uptorra::SortKeyOf(cell, kind));
  const bool ordered = ClearlyOrdered(keys, kind);

  // The bisection, one key at a time, against the sorted keys so far.
  std::vector<SortKey> sorted;
  std::vector<int> reference;
  for (int row = 0; row < static_cast<int>(keys.size()); ++row) {
    const int at = uptorra::FindInsertPosition(sorted, keys[row], kind);
    Check(at >= 1 && at <= static_cast<int>(sorted.size()) + 1);
    if (ordered) {
      if (at > 1) Check(uptorra::CompareSortKeys(sorted[at - 2], keys[row], kind) <= 0);
      if (at <= static_cast<int>(sorted.size())) Check(uptorra::CompareSortKeys(keys[row], sorted[at - 1], kind) <= 0);
    }
    sorted.insert(sorted.begin() + (at - 1), keys[row]);
    reference.insert(reference.begin() + (at - 1), row);
  }
  std::vector<int> expected = reference;
  if (!ascending) std::reverse(expected.begin(), expected.end());
  Check(uptorra::SortOrder(keys, kind, ascending) == expected);

  // The table: rows move whole and the selected host stays selected.
  uptorra::HostTable table;
  for (std::size_t row = 0; row < cells.size(); ++row) {
    const int index = table.AppendRow(uptorra::DecimalText(static_cast<std::int64_t>(row + 1)));
    table.SetCell(index, column, cells[row]);
    table.SetCell(index, uptorra::kColTestTime, uptorra::DecimalText(static_cast<std::int64_t>(row)));
  }
  const int selected = cells.empty() ? -1 : static_cast<int>((control >> 4) % cells.size());
  if (control & 0x04) table.SetSelectedRow(selected);
  const uptorra::RowId selectedId = (control & 0x04) ? table.IdOfRow(selected) : uptorra::kNoRowId;
  uptorra::SortHostTable(table, column, kind, ascending);
  Check(table.RowCount() == static_cast<int>(cells.size()));
  for (int at = 0; at < table.RowCount(); ++at) {
    const int was = static_cast<int>(uptorra::IntValue(table.GetCell(at, uptorra::kColTestTime)));
    Check(was == expected[at]);
    Check(table.GetCell(at, column) == cells[was]);
  }
  if (selectedId != uptorra::kNoRowId) Check(table.IdOfRow(table.SelectedRow()) == selectedId);
  return 0;
}
