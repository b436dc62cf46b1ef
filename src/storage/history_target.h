#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "storage/history_record.h"

namespace vantrel {

// What the response histories need of the watch list they feed. The watch list
// implements it; the histories never see items or views themselves.
class THistoryTarget {
 public:
  struct TItemInfo {
    std::uint32_t ItemId = 0;
    std::string Name;  // display name: "Username_Name" when the item has a Username
    std::string Url;
  };

  virtual ~THistoryTarget() = default;

  // Applies one recorded result to its item's statistics and status.
  virtual void ApplyResult(const THistoryRecord& record) = 0;
  // Applies records in order, each as ApplyResult does: the replay hands over
  // the history a batch at a time, so that a target can apply millions of
  // records without a virtual call for each.
  virtual void ApplyResults(std::span<const THistoryRecord> records) {
    for (const THistoryRecord& record : records)
      ApplyResult(record);
  }

  // Replay brackets: clear every item's statistics, hold back row refreshes and
  // alarms; afterwards, release them and refresh the selected item's details.
  virtual void BeginReplay() = 0;
  virtual void EndReplay() = 0;

  // The items in list order, for summaries.
  virtual std::vector<TItemInfo> SummaryItems() const = 0;

  // The web-service identifier of the item with local identifier `itemId`;
  // nothing when the item does not exist.
  virtual std::optional<std::int32_t> ServiceIdOf(std::uint32_t itemId) const = 0;

  // Identifiers of the items selected in the item view.
  virtual std::vector<std::uint32_t> SelectedItemIds() const = 0;
};

}  // namespace vantrel
