#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/watch_views.h"

namespace vantrel {

// The item view kept in memory: the headless front's view and the tests'.
// Rows keep the order they were added in until Sort or Reorder moves them, as
// a sorting list widget would between two operations of the list.
class TMemoryItemView final : public TItemView {
 public:
  struct TRow {
    TWatchItem* Item = nullptr;
    std::string Caption;
    std::vector<std::string> SubItems;
    int StateImage = -1;  // -1 until the list sets one
    bool Selected = false;
    int Repaints = 0;  // RepaintRow calls on this row
  };

  explicit TMemoryItemView(int clientWidth = 200) : ClientWidth_(clientWidth) {}

  int RowCount() const override { return static_cast<int>(Rows_.size()); }
  TWatchItem* RowItem(int row) const override { return At(row).Item; }
  int AddRow(TWatchItem* item) override;
  void DeleteRow(int row) override;
  void ClearRows() override { Rows_.clear(); }

  void SetCaption(int row, const std::string& caption) override { At(row).Caption = caption; }
  int SubItemCount(int row) const override { return static_cast<int>(At(row).SubItems.size()); }
  void SetSubItem(int row, int index, const std::string& text) override;
  void SetStateImage(int row, int image) override { At(row).StateImage = image; }

  bool Selected(int row) const override { return At(row).Selected; }
  void SetSelected(int row, bool selected) override { At(row).Selected = selected; }
  void ClearSelection() override;
  int FirstSelectedRow() const override;
  int SelectedCount() const override;

  void BeginUpdate() override { ++UpdateDepth_; }
  void EndUpdate() override;
  void RepaintRow(int row) override { ++At(row).Repaints; }

  void ClearColumns() override { Columns_.clear(); }
  void AddColumn(const TViewColumn& column) override { Columns_.push_back(column); }
  int ClientWidth() const override { return ClientWidth_; }

  // Inspection and rearrangement, for the fronts that show the rows and for tests.
  const TRow& Row(int row) const { return At(row); }
  const std::vector<TRow>& Rows() const { return Rows_; }
  const std::vector<TViewColumn>& Columns() const { return Columns_; }
  int UpdateDepth() const { return UpdateDepth_; }
  void SetClientWidth(int width) { ClientWidth_ = width; }
  // Adds a row that carries no item (the list must skip it).
  int AddEmptyRow() { return AddRow(nullptr); }
  // Stable sort of the rows.
  void Sort(const std::function<bool(const TRow&, const TRow&)>& less);
  // Puts the rows in the order `order` gives: new row k is old row order[k].
  // `order` must be a permutation of the row numbers.
  void Reorder(const std::vector<int>& order);

 private:
  TRow& At(int row) { return Rows_.at(static_cast<std::size_t>(row)); }
  const TRow& At(int row) const { return Rows_.at(static_cast<std::size_t>(row)); }

  std::vector<TRow> Rows_;
  std::vector<TViewColumn> Columns_;
  int ClientWidth_;
  int UpdateDepth_ = 0;
};

// The details view kept in memory.
class TMemoryDetailsView final : public TDetailsView {
 public:
  using TRow = std::pair<std::string, std::string>;  // property, value

  void Clear() override;
  void AddRow(const std::string& property, const std::string& value) override;
  void BeginUpdate() override { ++UpdateDepth_; }
  void EndUpdate() override;

  const std::vector<TRow>& Rows() const { return Rows_; }
  // The value shown for `property`; empty when it is not shown.
  std::string Value(const std::string& property) const;
  int UpdateDepth() const { return UpdateDepth_; }
  int ClearCount() const { return ClearCount_; }

 private:
  std::vector<TRow> Rows_;
  int UpdateDepth_ = 0;
  int ClearCount_ = 0;
};

}  // namespace vantrel
