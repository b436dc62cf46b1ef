#pragma once

#include <QIcon>
#include <QList>
#include <QTreeWidget>
#include <string>

#include "core/watch_views.h"

namespace vantrel {

// The item list of the window (lvWatch) as the watch list drives it: a row per
// item with its status image, the name column or one column per field.
//
// Rows sort by the text of the second column in the table view and by the
// caption in the name view, ASCII letters without case. A list call never
// sees its row numbers move: changes made by the list are sorted in once
// control is back in the event loop (or at SortNow).
class TListItemView final : public TItemView {
 public:
  // `tree` must outlive the view; `stateImages` are up, down and suspended.
  TListItemView(QTreeWidget& tree, QList<QIcon> stateImages);

  int RowCount() const override;
  TWatchItem* RowItem(int row) const override;
  int AddRow(TWatchItem* item) override;
  void DeleteRow(int row) override;
  void ClearRows() override;

  void SetCaption(int row, const std::string& caption) override;
  int SubItemCount(int row) const override;
  void SetSubItem(int row, int index, const std::string& text) override;
  void SetStateImage(int row, int image) override;

  bool Selected(int row) const override;
  void SetSelected(int row, bool selected) override;
  void ClearSelection() override;
  int FirstSelectedRow() const override;
  int SelectedCount() const override;

  void BeginUpdate() override;
  void EndUpdate() override;
  void RepaintRow(int row) override;

  void ClearColumns() override;
  void AddColumn(const TViewColumn& column) override;
  int ClientWidth() const override;

  // The table view sorts by the second column.
  void SetTableView(bool on);
  // The row of a tree item the user clicked, or -1.
  int RowOf(const QTreeWidgetItem* item) const;
  // Puts the rows in order now (otherwise done from the event loop).
  void SortNow();
  // Which state image a row shows (-1 for none): what the user sees.
  int StateImage(int row) const;

 private:
  QTreeWidgetItem* At(int row) const;
  void ScheduleSort();

  QTreeWidget& Tree_;
  QList<QIcon> StateImages_;
  bool TableView_ = false;
  int UpdateDepth_ = 0;
  bool SortPending_ = false;
};

// The details pane (lvDetail): property and value rows.
class TListDetailsView final : public TDetailsView {
 public:
  explicit TListDetailsView(QTreeWidget& tree);

  void Clear() override { Tree_.clear(); }
  void AddRow(const std::string& property, const std::string& value) override;
  void BeginUpdate() override;
  void EndUpdate() override;

 private:
  QTreeWidget& Tree_;
  int UpdateDepth_ = 0;
};

}  // namespace vantrel
