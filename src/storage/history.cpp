#include "storage/history.h"

#include <exception>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "storage/file_system_format.h"

namespace vantrel {

namespace {

// Item identifier -> index of the first summary with that identifier, for a
// lookup per record of the history. Identifiers are handed out in sequence, so
// a table indexed by them serves all but stray large ones, which go to a map.
class TSummaryIndex {
 public:
  static constexpr std::uint32_t kNone = static_cast<std::uint32_t>(-1);

  explicit TSummaryIndex(const std::vector<THistoryTarget::TItemInfo>& items)
      : Dense_(items.size() * kDensePerItem + kDenseMargin, kNone) {
    for (std::size_t index = 0; index < items.size(); ++index) {
      const std::uint32_t id = items[index].ItemId;
      const auto slot = static_cast<std::uint32_t>(index);
      if (id >= Dense_.size())
        Sparse_.emplace(id, slot);  // keeps the first
      else if (Dense_[id] == kNone)
        Dense_[id] = slot;
    }
  }

  // The summary index of `itemId`, or kNone.
  std::uint32_t Lookup(std::uint32_t itemId) const {
    if (itemId < Dense_.size())
      return Dense_[itemId];
    const auto found = Sparse_.find(itemId);
    return found == Sparse_.end() ? kNone : found->second;
  }

 private:
  // Identifiers below this many per item (plus the margin) go into the table.
  static constexpr std::size_t kDensePerItem = 4;
  static constexpr std::size_t kDenseMargin = 1024;

  std::vector<std::uint32_t> Dense_;
  std::unordered_map<std::uint32_t, std::uint32_t> Sparse_;
};

}  // namespace

TWatchHistory::TWatchHistory(THistoryTarget& target, std::string fileName,
                             THistoryErrorReporter reporter, TFileOps& ops)
    : Target_(target),
      File_(std::move(fileName), kHistorySignature, kHistoryVersion, std::move(reporter), ops) {}

TWatchHistory::~TWatchHistory() {
  try {
    File_.Flush();
  } catch (const std::exception& error) {
    File_.Report(error.what());
  } catch (...) {
    File_.Report(File_.FileName() + "\r\nFlush failed.");
  }
}

void TWatchHistory::Add(const THistoryRecord& record) {
  File_.Push(record);
  Target_.ApplyResult(record);
  File_.FlushIfFull();
}

void TWatchHistory::Flush() {
  File_.Flush();
}

void TWatchHistory::GetHistory(std::uint32_t itemId, THistoryArray& result, TDateTime from,
                               TDateTime to) {
  result.clear();
  File_.Flush();
  if (!File_.Exists())
    return;
  THistoryReader reader(File_);
  for (auto batch = reader.NextBatch(); !batch.empty(); batch = reader.NextBatch()) {
    for (const THistoryRecord& record : batch) {
      if (record.ItemId == itemId && record.Date >= from && record.Date <= to)
        result.push_back(record);
    }
  }
}

void TWatchHistory::GetSummary(THistorySumArray& result, TDateTime from, TDateTime to) {
  result.clear();
  const std::vector<THistoryTarget::TItemInfo> items = Target_.SummaryItems();
  if (items.empty())
    return;
  result.reserve(items.size());
  for (const THistoryTarget::TItemInfo& item : items) {
    THistorySum& sum = result.emplace_back();
    sum.ItemId = item.ItemId;
    sum.Name = item.Name;
    sum.Url = item.Url;
  }
  // Records count toward the first summary of their item, as a search from
  // the front would find it, without searching for every record.
  const TSummaryIndex firstIndex(items);

  File_.Flush();
  if (File_.Exists()) {
    THistoryReader reader(File_);
    for (auto batch = reader.NextBatch(); !batch.empty(); batch = reader.NextBatch()) {
      for (const THistoryRecord& record : batch) {
        if (record.Date < from || record.Date > to)
          continue;
        const std::uint32_t index = firstIndex.Lookup(record.ItemId);
        if (index != TSummaryIndex::kNone)
          AddToSummary(result[index], record);
      }
    }
  }
  for (THistorySum& sum : result) {
    if (sum.FirstDate == 0)
      sum.FirstDate = from;
    if (sum.LastDate == 0)
      sum.LastDate = to;
  }
}

void TWatchHistory::LoadStatistics() {
  File_.Flush();
  if (!File_.Exists())
    return;
  Target_.BeginReplay();
  try {
    THistoryReader reader(File_);
    for (auto batch = reader.NextBatch(); !batch.empty(); batch = reader.NextBatch())
      Target_.ApplyResults(batch);
  } catch (...) {
    // The list must not stay without row refreshes and alarms.
    Target_.EndReplay();
    throw;
  }
  Target_.EndReplay();
}

void TWatchHistory::DeleteItems(const std::vector<std::uint32_t>& itemIds) {
  if (itemIds.empty())
    return;
  if (File_.Writing())
    throw std::logic_error("TWatchHistory: " + File_.FileName() + " is being written");
  // Flushed even when no file exists yet, so that pending records of these
  // items do not come back later.
  File_.Flush();
  if (!File_.Exists())
    return;
  const std::unordered_set<std::uint32_t> doomed(itemIds.begin(), itemIds.end());
  File_.Rewrite(
      [&doomed](const THistoryRecord& record) { return !doomed.contains(record.ItemId); });
}

void TWatchHistory::DeleteSelected() {
  DeleteItems(Target_.SelectedItemIds());
}

}  // namespace vantrel
