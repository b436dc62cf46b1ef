#pragma once

#include <string>

namespace vantrel {

class TWatchItem;

// A column of the item view.
struct TViewColumn {
  std::string Caption;
  int Width = 0;  // pixels
  bool AutoSize = false;

  bool operator==(const TViewColumn&) const = default;
};

// The main window's list of items as the watch list drives it: one row per
// item, with the item's status as state image and either a name caption or a
// caption plus sub-items (one per shown property). The desktop front draws it
// with a list widget; the headless front and the tests keep it in memory.
//
// Rows are numbered 0 .. RowCount() - 1 in display order, which the view
// chooses (it sorts), so it need not be the order of the items in the list.
// A row number stays valid until rows are added or deleted; the view never
// reorders its rows during a call from the list, only between calls.
class TItemView {
 public:
  virtual ~TItemView() = default;

  virtual int RowCount() const = 0;
  // The item a row carries; null for a row without one.
  virtual TWatchItem* RowItem(int row) const = 0;
  // Adds an unselected row carrying `item`, with no caption or sub-items, and
  // returns its number.
  virtual int AddRow(TWatchItem* item) = 0;
  virtual void DeleteRow(int row) = 0;
  virtual void ClearRows() = 0;

  virtual void SetCaption(int row, const std::string& caption) = 0;
  virtual int SubItemCount(int row) const = 0;
  // Replaces sub-item `index`, or appends it when `index` is SubItemCount(row).
  virtual void SetSubItem(int row, int index, const std::string& text) = 0;
  // `image` is the item's TWatchStatus as a number.
  virtual void SetStateImage(int row, int image) = 0;

  virtual bool Selected(int row) const = 0;
  virtual void SetSelected(int row, bool selected) = 0;
  virtual void ClearSelection() = 0;
  // The first selected row in display order, or -1.
  virtual int FirstSelectedRow() const = 0;
  virtual int SelectedCount() const = 0;

  // Nestable: the view need not show changes until the outermost EndUpdate.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void RepaintRow(int row) = 0;

  virtual void ClearColumns() = 0;
  virtual void AddColumn(const TViewColumn& column) = 0;
  // The width in pixels available to the columns.
  virtual int ClientWidth() const = 0;
};

// The property/value rows of the selected item.
class TDetailsView {
 public:
  virtual ~TDetailsView() = default;

  virtual void Clear() = 0;
  virtual void AddRow(const std::string& property, const std::string& value) = 0;
  // Nestable, as for the item view.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
};

}  // namespace vantrel
