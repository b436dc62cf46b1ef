#include "core/watch_list.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include "core/property_format.h"
#include "core/update_scope.h"
#include "text/escape.h"

namespace vantrel {

namespace {

// Ids below this many times the item count (plus a margin) go into the
// lookup table; the rest into the map, so a stray huge Id costs no memory.
constexpr std::size_t kDenseIdsPerItem = 4;
constexpr std::size_t kDenseIdsMargin = 1024;

constexpr int kTableColumnWidth = 90;
// The name column leaves this much of the view's width free.
constexpr int kNameColumnMargin = 4;

}  // namespace

TWatchList::TWatchList(TItemView& itemView, std::string fileName, TDetailsView& detailsView,
                       const TSettings& settings, TClock& clock)
    : ItemView_(itemView),
      DetailsView_(detailsView),
      FileName_(std::move(fileName)),
      Clock_(clock),
      Settings_(settings) {}

TWatchList::~TWatchList() = default;

// --- Collection -------------------------------------------------------------

TWatchItem& TWatchList::NewItem() {
  // Before the item joins: when no Id is left, nothing has changed.
  const std::int32_t id = NextId();
  // Private constructor: make_unique cannot reach it.
  Items_.push_back(std::unique_ptr<TWatchItem>(new TWatchItem(*this)));
  TWatchItem& item = *Items_.back();
  item.ListOrder_ = NextOrder_++;
  item.SetId(id);
  // A new item is active: it enters the due index.
  ScheduleChanged(item, item.NextRun(), false);
  return item;
}

void TWatchList::DestroyItem(int index) {
  TWatchItem& item = *Items_[static_cast<std::size_t>(index)];
  if (DueIndexValid_ && item.MayFallDue())
    Due_.erase(DueKey(item.NextRun(), item));
  Items_.erase(Items_.begin() + index);
  IdsChanged();
}

std::int32_t TWatchList::NextId() const {
  // As if the new item took part with Id 0: the first Id is never below 1.
  std::int32_t highest = std::max(MaxId_, 0);
  for (const auto& item : Items_)
    highest = std::max(highest, item->Id());
  if (highest < std::numeric_limits<std::int32_t>::max())
    return highest + 1;
  // Nothing follows the largest Id (a damaged or foreign file put it there):
  // a free one from below, never one that records of the history still hold.
  std::vector<std::int32_t> taken;
  taken.reserve(Items_.size());
  for (const auto& item : Items_)
    taken.push_back(item->Id());
  if (const std::optional<std::int32_t> id = HistoryIds_.LowestFree(std::move(taken)))
    return *id;
  throw std::runtime_error(
      "No item identifier is left: every one from 1 to 2147483647 belongs to an item or to "
      "records of the response history.");
}

void TWatchList::BuildIdIndex() const {
  DenseIds_.assign(Items_.size() * kDenseIdsPerItem + kDenseIdsMargin, 0);
  SparseIds_.clear();
  for (std::size_t index = 0; index < Items_.size(); ++index) {
    const std::int32_t id = Items_[index]->Id();
    const int slotValue = static_cast<int>(index) + 1;
    if (id >= 0 && static_cast<std::size_t>(id) < DenseIds_.size()) {
      if (DenseIds_[static_cast<std::size_t>(id)] == 0)
        DenseIds_[static_cast<std::size_t>(id)] = slotValue;
    } else {
      SparseIds_.emplace(id, static_cast<int>(index));  // keeps the first
    }
  }
  IdIndexValid_ = true;
}

int TWatchList::IndexOfId(std::int32_t id) const {
  if (!IdIndexValid_)
    BuildIdIndex();
  if (id >= 0 && static_cast<std::size_t>(id) < DenseIds_.size())
    return DenseIds_[static_cast<std::size_t>(id)] - 1;
  const auto found = SparseIds_.find(id);
  return found == SparseIds_.end() ? -1 : found->second;
}

int TWatchList::IndexOfServiceId(std::int32_t serviceId) const {
  for (std::size_t index = 0; index < Items_.size(); ++index) {
    if (Items_[index]->ServiceId == serviceId)
      return static_cast<int>(index);
  }
  return -1;
}

int TWatchList::IndexOfItem(const TWatchItem* item) const {
  for (std::size_t index = 0; index < Items_.size(); ++index) {
    if (Items_[index].get() == item)
      return static_cast<int>(index);
  }
  return -1;
}

int TWatchList::RowOfItem(const TWatchItem* item) const {
  if (item == nullptr)
    return -1;
  const int rows = ItemView_.RowCount();
  for (int row = 0; row < rows; ++row) {
    if (ItemView_.RowItem(row) == item)
      return row;
  }
  return -1;
}

int TWatchList::RowOf(int index) const {
  if (index < 0 || index >= Count())
    return -1;
  return RowOfItem(Items_[static_cast<std::size_t>(index)].get());
}

TWatchList::TDueKey TWatchList::DueKey(TDateTime nextRun, TWatchItem& item) {
  // A NaN (from a damaged history record) would break the order: such an
  // item counts as due at once, and its next check gives it a real schedule.
  if (std::isnan(nextRun))
    nextRun = -std::numeric_limits<TDateTime>::infinity();
  return TDueKey{nextRun, item.ListOrder_, &item};
}

void TWatchList::BuildDueIndex() const {
  Due_.clear();
  for (const auto& item : Items_) {
    if (item->MayFallDue())
      Due_.insert(DueKey(item->NextRun(), *item));
  }
  DueIndexValid_ = true;
}

void TWatchList::ScheduleChanged(TWatchItem& item, TDateTime oldNextRun, bool wasDue) {
  if (!DueIndexValid_)
    return;
  // Invalid until done: an insertion that throws leaves an index to rebuild,
  // not a wrong one.
  DueIndexValid_ = false;
  // The node is moved to its new place, not freed and allocated again.
  std::set<TDueKey>::node_type node;
  if (wasDue)
    node = Due_.extract(DueKey(oldNextRun, item));
  if (item.MayFallDue()) {
    if (node) {
      node.value() = DueKey(item.NextRun(), item);
      Due_.insert(std::move(node));
    } else {
      Due_.insert(DueKey(item.NextRun(), item));
    }
  }
  DueIndexValid_ = true;
}

TWatchItem* TWatchList::FindEarliestDue() const {
  if (!DueIndexValid_)
    BuildDueIndex();
  return Due_.empty() ? nullptr : Due_.begin()->Item;
}

void TWatchList::ForEachItemRow(bool selectedOnly, const std::function<void(int row)>& action) {
  for (int row = 0; row < ItemView_.RowCount(); ++row) {
    if (ItemView_.RowItem(row) != nullptr && (!selectedOnly || ItemView_.Selected(row)))
      action(row);
  }
}

// --- Editing ----------------------------------------------------------------

TWatchItem& TWatchList::AddItem(const TWatchItem& source) {
  TWatchItem& item = NewItem();
  Modified_ = true;
  item.Assign(source);
  TUpdateScope<TItemView> update(ItemView_);
  const int row = ItemView_.AddRow(&item);
  ItemView_.ClearSelection();
  ItemView_.SetSelected(row, true);
  UpdateRow(row);
  return item;
}

void TWatchList::DeleteRow(int row) {
  TWatchItem* item = ItemView_.RowItem(row);
  // The row goes first: a view reacting to the deletion must not meet a
  // destroyed item.
  ItemView_.DeleteRow(row);
  if (item == nullptr)
    return;
  Modified_ = true;
  const int index = IndexOfItem(item);
  if (index >= 0)
    DestroyItem(index);
}

void TWatchList::DeleteSelected() {
  int shown = -1;  // the row to show afterwards, tracked as rows before it go
  for (int row = ItemView_.RowCount() - 1; row >= 0; --row) {
    if (!ItemView_.Selected(row))
      continue;
    if (shown < 0)
      shown = row < ItemView_.RowCount() - 1 ? row + 1 : row - 1;
    else if (shown == row)
      shown = row - 1;  // -1 past row 0: nothing left to show
    DeleteRow(row);
    if (shown > row)
      --shown;
  }
  if (shown >= 0) {
    ItemView_.SetSelected(shown, true);
    ShowDetails(shown);
  } else {
    ClearDetails();
  }
}

void TWatchList::ItemChanged(int row) {
  Modified_ = true;
  UpdateRow(row);
}

void TWatchList::RunNow(int row, TDateTime moment) {
  TWatchItem* item = ItemView_.RowItem(row);
  if (item == nullptr)
    return;
  if (!item->Active()) {
    Modified_ = true;
    item->SetActive(true);
  }
  item->SetNextRun(moment);
  UpdateRow(row);
}

void TWatchList::RunSelectedNow() {
  const TDateTime now = Clock_.Now();
  ForEachItemRow(true, [&](int row) { RunNow(row, now); });
}

void TWatchList::RunAllNow() {
  const TDateTime now = Clock_.Now();
  ForEachItemRow(false, [&](int row) { RunNow(row, now); });
}

void TWatchList::SetItemActive(int row, bool active) {
  TWatchItem* item = ItemView_.RowItem(row);
  if (item == nullptr || item->Active() == active)
    return;
  Modified_ = true;
  item->SetActive(active);
  UpdateRow(row);
}

void TWatchList::ActivateSelected() {
  ForEachItemRow(true, [&](int row) { SetItemActive(row, true); });
}

void TWatchList::SuspendSelected() {
  ForEachItemRow(true, [&](int row) { SetItemActive(row, false); });
}

void TWatchList::SuspendAll() {
  ForEachItemRow(false, [&](int row) { SetItemActive(row, false); });
}

void TWatchList::SuspendServiceItems() {
  ForEachItemRow(false, [&](int row) {
    if (!ItemView_.RowItem(row)->Username.empty())
      SetItemActive(row, false);
  });
}

void TWatchList::ResetAlarmRow(int row) {
  TWatchItem* item = ItemView_.RowItem(row);
  if (item == nullptr)
    return;
  item->ResetAlarm();
  UpdateRow(row);
}

void TWatchList::ResetAlarmSelected() {
  ForEachItemRow(true, [&](int row) { ResetAlarmRow(row); });
}

void TWatchList::ClearStatsRow(int row) {
  TWatchItem* item = ItemView_.RowItem(row);
  if (item == nullptr)
    return;
  item->ClearStats();
  UpdateRow(row);
}

void TWatchList::ClearStatsSelected() {
  ForEachItemRow(true, [&](int row) { ClearStatsRow(row); });
}

void TWatchList::ClearStatsAll() {
  ForEachItemRow(false, [&](int row) { ClearStatsRow(row); });
}

void TWatchList::Clear() {
  Modified_ = true;
  // Views first, so no row outlives its item.
  ItemView_.ClearRows();
  DetailsView_.Clear();
  Items_.clear();
  IdsChanged();
  DueChanged();
}

bool TWatchList::ReportInUse(std::int32_t reportId) const {
  for (const auto& item : Items_) {
    if (item->EmailAction && item->ReportId == reportId)
      return true;
  }
  return false;
}

void TWatchList::ReportDeleted(std::int32_t reportId) {
  for (const auto& item : Items_) {
    if (item->ReportId == reportId) {
      item->EmailAction = false;
      item->ReportId = -1;
      Modified_ = true;
    }
  }
}

bool TWatchList::ApplyServiceRecord(const TServerItem& record) {
  const bool deletedInService = record.State < 0;
  // The URL is what gets checked: one that is not a single line of text is
  // not guessed at.
  if (!deletedInService && HasControls(record.Url))
    return false;
  TServerItem cleaned = record;
  cleaned.Name = BlankControls(record.Name);
  Modified_ = true;
  const int index = IndexOfServiceId(record.ServiceId);
  if (index < 0) {
    if (deletedInService)
      return true;
    TWatchItem& item = NewItem();
    item.ApplyServiceDefaults(Settings_.GetPreferences());
    item.AssignFromServiceRecord(cleaned);
    UpdateRow(ItemView_.AddRow(&item));
    return true;
  }
  if (deletedInService) {
    const int row = RowOf(index);
    if (row >= 0)
      DeleteRow(row);
    else
      DestroyItem(index);  // an item without a row goes all the same
    return true;
  }
  Item(index).AssignFromServiceRecord(cleaned);
  if (UpdateCount_ == 0)
    UpdateRow(RowOf(index));
  return true;
}

// --- Status -----------------------------------------------------------------

void TWatchList::StatusChanged(TWatchItem& item, TWatchStatus oldStatus) {
  const TWatchStatus status = item.Status();
  const int row = RowOfItem(&item);
  if (row >= 0)
    ItemView_.SetStateImage(row, static_cast<int>(status));
  if (oldStatus == TWatchStatus::Up && status == TWatchStatus::Down && OnAlarm)
    OnAlarm(item);
  if (oldStatus == TWatchStatus::Down && status == TWatchStatus::Up && OnAlarmReset)
    OnAlarmReset(item);
}

void TWatchList::ApplyResult(const THistoryRecord& record) {
  // Signed: Ids are signed numbers even though the record holds them unsigned.
  const auto id = static_cast<std::int32_t>(record.ItemId);
  if (id > MaxId_)
    MaxId_ = id;
  HistoryIds_.Add(id);
  const int index = IndexOfId(id);
  if (index < 0)
    return;  // the item was deleted; its Id is still never given again
  TWatchItem& item = Item(index);
  item.ProcessResult(record);
  if (UpdateCount_ == 0)
    UpdateRow(RowOfItem(&item));
}

void TWatchList::ApplyResults(std::span<const THistoryRecord> records) {
  // The list is final, so these calls are direct.
  for (const THistoryRecord& record : records)
    ApplyResult(record);
}

void TWatchList::BeginReplay() {
  // Every record moves its item's schedule: the index is rebuilt once after.
  DueChanged();
  ClearStatsAll();
  BeginUpdate();
  BeginSuppressAlarms();
}

void TWatchList::EndReplay() {
  EndSuppressAlarms();
  EndUpdate();
  // The rows were not refreshed record by record.
  if (UpdateCount_ == 0)
    RefreshAll();
  ShowSelectedDetails();
}

std::vector<THistoryTarget::TItemInfo> TWatchList::SummaryItems() const {
  std::vector<TItemInfo> items;
  items.reserve(Items_.size());
  for (const auto& item : Items_)
    items.push_back({static_cast<std::uint32_t>(item->Id()), item->DisplayName(), item->Url});
  return items;
}

std::optional<std::int32_t> TWatchList::ServiceIdOf(std::uint32_t itemId) const {
  const int index = IndexOfId(static_cast<std::int32_t>(itemId));
  if (index < 0)
    return std::nullopt;
  return Item(index).ServiceId;
}

std::vector<std::uint32_t> TWatchList::SelectedItemIds() const {
  std::vector<std::uint32_t> ids;
  for (int row = 0; row < ItemView_.RowCount(); ++row) {
    const TWatchItem* item = ItemView_.RowItem(row);
    if (item != nullptr && ItemView_.Selected(row))
      ids.push_back(static_cast<std::uint32_t>(item->Id()));
  }
  return ids;
}

// --- Views ------------------------------------------------------------------

void TWatchList::SetupColumns() {
  const TPreferences preferences = Settings_.GetPreferences();
  TUpdateScope<TItemView> update(ItemView_);
  ItemView_.ClearColumns();
  if (TableView_) {
    for (const std::int32_t field : preferences.Fields) {
      if (field > 0)
        ItemView_.AddColumn({PropertyCaption(field), kTableColumnWidth, false});
    }
  } else {
    ItemView_.AddColumn(
        {"Status/Name", ItemView_.ClientWidth() - kNameColumnMargin, preferences.ItemAutosize});
  }
  RefreshAll();
}

void TWatchList::RefreshAll() {
  for (int row = 0; row < ItemView_.RowCount(); ++row)
    UpdateRow(row);
}

void TWatchList::UpdateRow(int row) {
  if (row < 0 || row >= ItemView_.RowCount())
    return;
  const TWatchItem* item = ItemView_.RowItem(row);
  if (item == nullptr)
    return;
  ItemView_.SetStateImage(row, static_cast<int>(item->Status()));
  if (TableView_) {
    const TPreferences preferences = Settings_.GetPreferences();
    TUpdateScope<TItemView> update(ItemView_);
    int column = 0;
    for (const std::int32_t field : preferences.Fields) {
      if (field <= 0)
        continue;
      const std::string text = vantrel::FormatProperty(*item, field, preferences);
      if (column == 0) {
        ItemView_.SetCaption(row, text);
      } else {
        // Replaces the sub-item where it exists, appends it where missing.
        ItemView_.SetSubItem(row, column - 1, text);
      }
      ++column;
    }
  } else {
    {
      TUpdateScope<TItemView> update(ItemView_);
      ItemView_.SetCaption(row, item->DisplayName());
    }
    if (UpdateCount_ == 0)
      ShowDetails(row);
  }
  if (UpdateCount_ == 0)
    ItemView_.RepaintRow(row);
}

void TWatchList::ShowDetails(int row) {
  if (TableView_ || row < 0 || row != ItemView_.FirstSelectedRow())
    return;
  DetailsView_.Clear();
  const TWatchItem* item = ItemView_.RowItem(row);
  if (item == nullptr)
    return;
  const TPreferences preferences = Settings_.GetPreferences();
  TUpdateScope<TDetailsView> update(DetailsView_);
  for (const std::int32_t field : preferences.Fields) {
    if (field > 0)
      DetailsView_.AddRow(PropertyCaption(field),
                          vantrel::FormatProperty(*item, field, preferences));
  }
}

void TWatchList::ShowSelectedDetails() {
  const int row = ItemView_.FirstSelectedRow();
  if (row >= 0)
    ShowDetails(row);
}

void TWatchList::ClearDetails() {
  DetailsView_.Clear();
}

std::string TWatchList::FormatProperty(const TWatchItem& item, int propertyId) const {
  return vantrel::FormatProperty(item, propertyId, Settings_.GetPreferences());
}

}  // namespace vantrel
