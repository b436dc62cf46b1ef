#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/id_set.h"
#include "core/settings.h"
#include "core/watch_item.h"
#include "core/watch_types.h"
#include "core/watch_views.h"
#include "platform/clock.h"
#include "platform/file_ops.h"
#include "storage/history_target.h"

namespace vantrel {

// All watch items, in collection (creation or load) order, and the two views
// kept in step with them. Every change the user or a check makes to an item
// goes through here, and marks the list Modified when it changes what the data
// file holds. Main thread only.
//
// Rows of the item view are in the view's own order: operations started on a
// row find the item through the row, RowOf finds the row of an item, and rows
// without an item are skipped.
class TWatchList final : public THistoryTarget {
 public:
  using TItemEvent = std::function<void(TWatchItem& item)>;

  // `fileName` is the watch-list data file. `settings` give the shown fields,
  // the sender identity and the web-service defaults; `clock` gives "now"
  // (creation moments, activation, run now). Both must outlive the list.
  TWatchList(TItemView& itemView, std::string fileName, TDetailsView& detailsView,
             const TSettings& settings, TClock& clock = SystemClock());
  ~TWatchList() override;
  TWatchList(const TWatchList&) = delete;
  TWatchList& operator=(const TWatchList&) = delete;

  // Raised when an item goes Up -> Down and Down -> Up, from inside SetStatus.
  TItemEvent OnAlarm;
  TItemEvent OnAlarmReset;

  // The collection.
  int Count() const { return static_cast<int>(Items_.size()); }
  TWatchItem& Item(int index) const { return *Items_.at(static_cast<std::size_t>(index)); }

  // One more than the largest identifier of the items and MaxId, at least 1.
  // Past the largest possible one, the lowest identifier that no item and no
  // record of the history holds. Throws std::runtime_error when none is left.
  std::int32_t NextId() const;
  // Collection index of the first item with that identifier, or -1.
  int IndexOfId(std::int32_t id) const;
  int IndexOfServiceId(std::int32_t serviceId) const;
  // The row whose item has collection index `index`, or -1.
  int RowOf(int index) const;
  // The active item with the smallest NextRun (the first of equals in
  // collection order), leaving out items whose check is under way (Checking);
  // null when there is none. From an index kept in step with every item's
  // schedule, so the cost does not grow with the list.
  TWatchItem* FindEarliestDue() const;

  // A new item (with a fresh Id) set up as `source`, in a new row that becomes
  // the only selected one.
  TWatchItem& AddItem(const TWatchItem& source);
  // Removes the row and destroys its item.
  void DeleteRow(int row);
  // Deletes the selected rows from the last to the first, then selects the
  // row that took the place of the deleted ones and shows its details.
  void DeleteSelected();
  // The user edited the row's item.
  void ItemChanged(int row);

  // Makes the row's item due at `moment`, activating it when suspended.
  void RunNow(int row, TDateTime moment);
  void RunSelectedNow();
  void RunAllNow();
  void SetItemActive(int row, bool active);
  void ActivateSelected();
  void SuspendSelected();
  void SuspendAll();
  // Suspends the items owned by web-service users.
  void SuspendServiceItems();

  // Statistics are not in the data file, so these leave Modified alone.
  void ResetAlarmRow(int row);
  void ResetAlarmSelected();
  void ClearStatsRow(int row);
  void ClearStatsSelected();
  void ClearStatsAll();

  // Empties the views and the collection.
  void Clear();

  // True when some item sends e-mail with report `reportId`.
  bool ReportInUse(std::int32_t reportId) const;
  // Switches e-mail off for the items that sent report `reportId`.
  void ReportDeleted(std::int32_t reportId);

  // Adds, updates or deletes the item of a web-service record. Control
  // characters in its name become blanks. A record whose URL holds control
  // characters (a line break, an escape sequence) is not applied, unless it
  // deletes the item: false then.
  bool ApplyServiceRecord(const TServerItem& record);

  // While suppressed, no item may go Down (the history replay).
  void BeginSuppressAlarms() { ++SuppressCount_; }
  void EndSuppressAlarms() { --SuppressCount_; }
  int SuppressCount() const { return SuppressCount_; }
  // While updating, rows are not repainted nor details refreshed row by row.
  void BeginUpdate() { ++UpdateCount_; }
  void EndUpdate() { --UpdateCount_; }
  int UpdateCount() const { return UpdateCount_; }

  // The views.
  void SetupColumns();
  void RefreshAll();
  void UpdateRow(int row);
  void ShowDetails(int row);
  void ShowSelectedDetails();
  void ClearDetails();
  // The display text of property `propertyId` (1 to 21) of `item`.
  std::string FormatProperty(const TWatchItem& item, int propertyId) const;

  // The data file. Load reads it when it exists, replacing the items; Save
  // writes it through a temporary file (TAtomicFile) when the list is
  // Modified. A failed save throws and leaves the old file and Modified set.
  void LoadFromFile();
  void SaveToFile(TFileOps& ops = PosixFileOps());

  // THistoryTarget
  void ApplyResult(const THistoryRecord& record) override;
  void ApplyResults(std::span<const THistoryRecord> records) override;
  void BeginReplay() override;
  void EndReplay() override;
  std::vector<TItemInfo> SummaryItems() const override;
  std::optional<std::int32_t> ServiceIdOf(std::uint32_t itemId) const override;
  std::vector<std::uint32_t> SelectedItemIds() const override;

  const std::string& FileName() const { return FileName_; }
  // The highest identifier the history has shown; -1 before any.
  std::int32_t MaxId() const { return MaxId_; }
  bool Modified() const { return Modified_; }
  void SetModified(bool modified) { Modified_ = modified; }
  // One column per shown property instead of one name column; SetupColumns
  // applies a change.
  bool TableView() const { return TableView_; }
  void SetTableView(bool tableView) { TableView_ = tableView; }

  TItemView& ItemView() const { return ItemView_; }
  TDetailsView& DetailsView() const { return DetailsView_; }
  TClock& Clock() const { return Clock_; }
  const TSettings& Settings() const { return Settings_; }

 private:
  friend class TWatchItem;

  // A new item at the end of the collection, with a fresh Id.
  TWatchItem& NewItem();
  // Removes and destroys the item at collection `index`.
  void DestroyItem(int index);
  int IndexOfItem(const TWatchItem* item) const;
  int RowOfItem(const TWatchItem* item) const;
  // From TWatchItem::SetStatus, after Status changed.
  void StatusChanged(TWatchItem& item, TWatchStatus oldStatus);
  // From TWatchItem, after its NextRun, Active or Checking changed; `wasDue`:
  // the index held it before.
  void ScheduleChanged(TWatchItem& item, TDateTime oldNextRun, bool wasDue);
  // The due index is rebuilt at its next use; changes until then cost nothing
  // (loading the file, replaying the history).
  void DueChanged() {
    DueIndexValid_ = false;
    Due_.clear();
  }
  void BuildDueIndex() const;
  // The Id lookup is rebuilt at its next use.
  void IdsChanged() { IdIndexValid_ = false; }
  void BuildIdIndex() const;
  // Applies `action` to every row that carries an item (selected ones only
  // when `selectedOnly`).
  void ForEachItemRow(bool selectedOnly, const std::function<void(int row)>& action);

  TItemView& ItemView_;
  TDetailsView& DetailsView_;
  std::string FileName_;
  TClock& Clock_;
  const TSettings& Settings_;
  std::vector<std::unique_ptr<TWatchItem>> Items_;
  std::int32_t MaxId_ = -1;
  // Every identifier the history has shown, for when MaxId is the largest one.
  TIdSet HistoryIds_;
  int SuppressCount_ = 0;
  int UpdateCount_ = 0;
  bool Modified_ = false;
  bool TableView_ = false;

  // Id -> collection index of the first item with it: results arrive by Id,
  // millions of them when the history is replayed. Small Ids go straight into
  // a table, others into a map.
  mutable bool IdIndexValid_ = false;
  mutable std::vector<int> DenseIds_;  // Id -> index + 1, 0 when absent
  mutable std::unordered_map<std::int32_t, int> SparseIds_;

  // The active items not being checked, by NextRun, equal ones in collection
  // order: the scheduler asks for the earliest at every check it starts.
  struct TDueKey {
    TDateTime NextRun;
    std::uint64_t Order;  // TWatchItem::ListOrder_
    TWatchItem* Item;
    bool operator<(const TDueKey& other) const {
      return NextRun < other.NextRun || (NextRun == other.NextRun && Order < other.Order);
    }
  };
  static TDueKey DueKey(TDateTime nextRun, TWatchItem& item);
  std::uint64_t NextOrder_ = 0;
  mutable bool DueIndexValid_ = false;
  mutable std::set<TDueKey> Due_;
};

}  // namespace vantrel
