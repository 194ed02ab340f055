#pragma once
// The one model of the monitored hosts, shown by the list view. Every single-cell read or write
// is atomic and safe from any thread; none of them waits for the window thread. The window
// learns of changes through one coalesced notice and repaints from the model.
//
// Rows are addressed by 0-based index, as the window and the operator see them, or by a stable
// identity that moves with the row when the rows are reordered (probe tasks use the identity,
// so a column sort never makes a task write into another host's row).
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "core/Text.h"

namespace uptorra {

inline constexpr int kColumnCount = 8;
enum HostColumn : int {
  kColNumber = 0,     // 序号
  kColAddress = 1,    // 主机地址/域名
  kColName = 2,       // 主机名称
  kColProbeType = 3,  // 监测类型
  kColRetries = 4,    // 重试
  kColInterval = 5,   // 间隔(s)
  kColStatus = 6,     // 监测状态
  kColTestTime = 7,   // 测试时间
};

inline constexpr int kNoImage = -1;
inline constexpr int kImageFailure = 0;
inline constexpr int kImageSuccess = 1;

using RowId = std::uint32_t;
inline constexpr RowId kNoRowId = 0;

struct HostRow {
  std::array<Text, kColumnCount> cells;
  std::array<int, kColumnCount> images{kNoImage, kNoImage, kNoImage, kNoImage,
                                       kNoImage, kNoImage, kNoImage, kNoImage};
  std::int32_t itemValue = 0;  // used only by the column sort's selection mark
  int stateImage = kNoImage;
  RowId id = kNoRowId;
};

class HostTable {
 public:
  HostTable() = default;
  HostTable(const HostTable&) = delete;
  HostTable& operator=(const HostTable&) = delete;

  // Called after a change, on the thread that made it, once until the view takes the changes.
  // It must not block: the window posts itself a message.
  void SetChangeListener(std::function<void()> listener);

  int RowCount() const;
  // Appends a row whose column 0 holds numberText; returns its index.
  int AppendRow(const Text& numberText);

  // Index-addressed cell operations. Out-of-range rows or columns read as empty / -1 and
  // writes to them change nothing.
  Text GetCell(int row, int col) const;
  void SetCell(int row, int col, const Text& text);
  int GetCellImage(int row, int col) const;
  void SetCellImage(int row, int col, int image);
  std::int32_t GetItemValue(int row) const;
  void SetItemValue(int row, std::int32_t value);
  int GetStateImage(int row) const;
  void SetStateImage(int row, int image);

  // Selection (-1 when none) and the request to bring a row into view.
  int SelectedRow() const;
  void SetSelectedRow(int row);
  void BringIntoView(int row);

  // Identity.
  RowId IdOfRow(int row) const;
  int RowOfId(RowId id) const;  // -1 when unknown

  // Identity-addressed operations for probe tasks. They return false when the id is unknown.
  Text GetCellById(RowId id, int col) const;
  bool SetCellById(RowId id, int col, const Text& text);
  bool BringIntoViewById(RowId id);
  // Runs edit on the row under the table's lock, so a read-modify-write of several cells is
  // one atomic step. edit returns true when it changed the row.
  bool UpdateById(RowId id, const std::function<bool(HostRow&)>& edit);

  // A copy of a row, for painting and for tests.
  HostRow Snapshot(int row) const;

  // Reorders all rows: the new row t is the old row order[t]. order must be a permutation of
  // 0..RowCount()-1; otherwise nothing changes and false is returned.
  bool Reorder(const std::vector<int>& order);

  // For the view: which rows changed since the last call, whether rows were added or moved,
  // and the row to bring into view (-1 none). Re-arms the change notice.
  struct Changes {
    std::vector<int> rows;
    bool structure = false;
    int bringIntoView = -1;
  };
  Changes TakeChanges();

 private:
  bool ValidIndex(int row) const { return row >= 0 && row < static_cast<int>(rows_.size()); }
  int IndexOfIdLocked(RowId id) const;
  void MarkRowLocked(int row);
  void Notify();

  mutable std::shared_mutex mutex_;
  std::vector<HostRow> rows_;
  std::vector<int> indexOfId_;  // indexOfId_[id - 1] = current row index
  int selected_ = -1;

  // Change tracking, under mutex_.
  std::vector<std::uint8_t> dirty_;
  std::vector<int> dirtyList_;
  bool structureChanged_ = false;
  int bringIntoView_ = -1;

  std::atomic<bool> noticePending_{false};
  std::function<void()> listener_;
  std::mutex listenerMutex_;
};

}  // namespace uptorra
