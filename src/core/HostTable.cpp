#include "core/HostTable.h"

#include <algorithm>
#include <utility>

namespace uptorra {

void HostTable::SetChangeListener(std::function<void()> listener) {
  std::lock_guard lock(listenerMutex_);
  listener_ = std::move(listener);
}

void HostTable::Notify() {
  // One notice until the view takes the changes: a burst of writes costs one posted message.
  if (noticePending_.exchange(true)) return;
  std::lock_guard lock(listenerMutex_);
  if (listener_) listener_();
}

void HostTable::MarkRowLocked(int row) {
  if (row < 0) return;
  if (static_cast<std::size_t>(row) >= dirty_.size()) dirty_.resize(rows_.size(), 0);
  if (!dirty_[row]) {
    dirty_[row] = 1;
    dirtyList_.push_back(row);
  }
}

int HostTable::RowCount() const {
  std::shared_lock lock(mutex_);
  return static_cast<int>(rows_.size());
}

int HostTable::AppendRow(const Text& numberText) {
  int index;
  {
    std::unique_lock lock(mutex_);
    HostRow row;
    row.cells[kColNumber] = numberText;
    row.id = static_cast<RowId>(indexOfId_.size() + 1);
    index = static_cast<int>(rows_.size());
    rows_.push_back(std::move(row));
    indexOfId_.push_back(index);
    structureChanged_ = true;
  }
  Notify();
  return index;
}

Text HostTable::GetCell(int row, int col) const {
  std::shared_lock lock(mutex_);
  if (!ValidIndex(row) || col < 0 || col >= kColumnCount) return {};
  return rows_[row].cells[col];
}

void HostTable::SetCell(int row, int col, const Text& text) {
  {
    std::unique_lock lock(mutex_);
    if (!ValidIndex(row) || col < 0 || col >= kColumnCount) return;
    rows_[row].cells[col] = text;
    MarkRowLocked(row);
  }
  Notify();
}

int HostTable::GetCellImage(int row, int col) const {
  std::shared_lock lock(mutex_);
  if (!ValidIndex(row) || col < 0 || col >= kColumnCount) return kNoImage;
  return rows_[row].images[col];
}

void HostTable::SetCellImage(int row, int col, int image) {
  {
    std::unique_lock lock(mutex_);
    if (!ValidIndex(row) || col < 0 || col >= kColumnCount) return;
    rows_[row].images[col] = image;
    MarkRowLocked(row);
  }
  Notify();
}

std::int32_t HostTable::GetItemValue(int row) const {
  std::shared_lock lock(mutex_);
  return ValidIndex(row) ? rows_[row].itemValue : 0;
}

void HostTable::SetItemValue(int row, std::int32_t value) {
  std::unique_lock lock(mutex_);
  if (ValidIndex(row)) rows_[row].itemValue = value;  // not shown: no repaint needed
}

int HostTable::GetStateImage(int row) const {
  std::shared_lock lock(mutex_);
  return ValidIndex(row) ? rows_[row].stateImage : kNoImage;
}

void HostTable::SetStateImage(int row, int image) {
  {
    std::unique_lock lock(mutex_);
    if (!ValidIndex(row)) return;
    rows_[row].stateImage = image;
    MarkRowLocked(row);
  }
  Notify();
}

int HostTable::SelectedRow() const {
  std::shared_lock lock(mutex_);
  return selected_;
}

void HostTable::SetSelectedRow(int row) {
  {
    std::unique_lock lock(mutex_);
    const int next = ValidIndex(row) ? row : -1;
    if (next == selected_) return;
    MarkRowLocked(selected_);
    selected_ = next;
    MarkRowLocked(selected_);
  }
  Notify();
}

void HostTable::BringIntoView(int row) {
  {
    std::unique_lock lock(mutex_);
    if (!ValidIndex(row)) return;
    bringIntoView_ = row;
  }
  Notify();
}

RowId HostTable::IdOfRow(int row) const {
  std::shared_lock lock(mutex_);
  return ValidIndex(row) ? rows_[row].id : kNoRowId;
}

int HostTable::IndexOfIdLocked(RowId id) const {
  if (id == kNoRowId || id > indexOfId_.size()) return -1;
  return indexOfId_[id - 1];
}

int HostTable::RowOfId(RowId id) const {
  std::shared_lock lock(mutex_);
  return IndexOfIdLocked(id);
}

Text HostTable::GetCellById(RowId id, int col) const {
  std::shared_lock lock(mutex_);
  const int row = IndexOfIdLocked(id);
  if (row < 0 || col < 0 || col >= kColumnCount) return {};
  return rows_[row].cells[col];
}

bool HostTable::SetCellById(RowId id, int col, const Text& text) {
  {
    std::unique_lock lock(mutex_);
    const int row = IndexOfIdLocked(id);
    if (row < 0 || col < 0 || col >= kColumnCount) return false;
    rows_[row].cells[col] = text;
    MarkRowLocked(row);
  }
  Notify();
  return true;
}

bool HostTable::BringIntoViewById(RowId id) {
  {
    std::unique_lock lock(mutex_);
    const int row = IndexOfIdLocked(id);
    if (row < 0) return false;
    bringIntoView_ = row;
  }
  Notify();
  return true;
}

bool HostTable::UpdateById(RowId id, const std::function<bool(HostRow&)>& edit) {
  bool changed;
  {
    std::unique_lock lock(mutex_);
    const int row = IndexOfIdLocked(id);
    if (row < 0) return false;
    HostRow& target = rows_[row];
    const RowId keep = target.id;
    changed = edit(target);
    target.id = keep;  // the identity is not the editor's to change
    if (changed) MarkRowLocked(row);
  }
  if (changed) Notify();
  return true;
}

HostRow HostTable::Snapshot(int row) const {
  std::shared_lock lock(mutex_);
  return ValidIndex(row) ? rows_[row] : HostRow{};
}

bool HostTable::Reorder(const std::vector<int>& order) {
  {
    std::unique_lock lock(mutex_);
    const std::size_t n = rows_.size();
    if (order.size() != n) return false;
    std::vector<std::uint8_t> seen(n, 0);
    for (int from : order) {
      if (from < 0 || static_cast<std::size_t>(from) >= n || seen[from]) return false;
      seen[from] = 1;
    }
    std::vector<HostRow> reordered;
    reordered.reserve(n);
    for (int from : order) reordered.push_back(std::move(rows_[from]));
    rows_ = std::move(reordered);
    for (std::size_t t = 0; t < n; ++t) indexOfId_[rows_[t].id - 1] = static_cast<int>(t);
    structureChanged_ = true;
  }
  Notify();
  return true;
}

HostTable::Changes HostTable::TakeChanges() {
  Changes changes;
  {
    std::unique_lock lock(mutex_);
    // Re-arm first: a write after this point posts a new notice.
    noticePending_.store(false);
    changes.rows.swap(dirtyList_);
    for (int row : changes.rows) {
      if (static_cast<std::size_t>(row) < dirty_.size()) dirty_[row] = 0;
    }
    changes.structure = std::exchange(structureChanged_, false);
    changes.bringIntoView = std::exchange(bringIntoView_, -1);
  }
  return changes;
}

}  // namespace uptorra
