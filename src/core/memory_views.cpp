#include "core/memory_views.h"

#include <algorithm>
#include <stdexcept>

namespace vantrel {

int TMemoryItemView::AddRow(TWatchItem* item) {
  TRow row;
  row.Item = item;
  Rows_.push_back(std::move(row));
  return RowCount() - 1;
}

void TMemoryItemView::DeleteRow(int row) {
  At(row);  // range check
  Rows_.erase(Rows_.begin() + row);
}

void TMemoryItemView::SetSubItem(int row, int index, const std::string& text) {
  std::vector<std::string>& subItems = At(row).SubItems;
  if (index < 0 || static_cast<std::size_t>(index) > subItems.size())
    throw std::out_of_range("sub-item index");
  if (static_cast<std::size_t>(index) == subItems.size())
    subItems.push_back(text);
  else
    subItems[static_cast<std::size_t>(index)] = text;
}

void TMemoryItemView::ClearSelection() {
  for (TRow& row : Rows_)
    row.Selected = false;
}

int TMemoryItemView::FirstSelectedRow() const {
  for (int row = 0; row < RowCount(); ++row) {
    if (Rows_[static_cast<std::size_t>(row)].Selected)
      return row;
  }
  return -1;
}

int TMemoryItemView::SelectedCount() const {
  return static_cast<int>(
      std::count_if(Rows_.begin(), Rows_.end(), [](const TRow& row) { return row.Selected; }));
}

void TMemoryItemView::EndUpdate() {
  if (UpdateDepth_ == 0)
    throw std::logic_error("EndUpdate without BeginUpdate");
  --UpdateDepth_;
}

void TMemoryItemView::Sort(const std::function<bool(const TRow&, const TRow&)>& less) {
  std::stable_sort(Rows_.begin(), Rows_.end(), less);
}

void TMemoryItemView::Reorder(const std::vector<int>& order) {
  if (order.size() != Rows_.size())
    throw std::invalid_argument("row order of the wrong length");
  std::vector<bool> used(Rows_.size(), false);
  std::vector<TRow> rows;
  rows.reserve(Rows_.size());
  for (const int from : order) {
    if (from < 0 || from >= RowCount() || used[static_cast<std::size_t>(from)])
      throw std::invalid_argument("row order is not a permutation");
    used[static_cast<std::size_t>(from)] = true;
    rows.push_back(Rows_[static_cast<std::size_t>(from)]);
  }
  Rows_ = std::move(rows);
}

void TMemoryDetailsView::Clear() {
  Rows_.clear();
  ++ClearCount_;
}

void TMemoryDetailsView::AddRow(const std::string& property, const std::string& value) {
  Rows_.emplace_back(property, value);
}

void TMemoryDetailsView::EndUpdate() {
  if (UpdateDepth_ == 0)
    throw std::logic_error("EndUpdate without BeginUpdate");
  --UpdateDepth_;
}

std::string TMemoryDetailsView::Value(const std::string& property) const {
  for (const TRow& row : Rows_) {
    if (row.first == property)
      return row.second;
  }
  return "";
}

}  // namespace vantrel
