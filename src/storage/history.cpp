#include "storage/history.h"

#include <exception>
#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "storage/file_system_format.h"

namespace vantrel {

namespace {

// Item identifier -> index of the first summary with that identifier: an
// open-addressing hash table, since the lookup runs for every record of the
// history and a node-based map costs a division and a pointer chase each time.
class TSummaryIndex {
 public:
  explicit TSummaryIndex(std::size_t items) {
    std::size_t capacity = 16;
    while (capacity < 2 * items)
      capacity *= 2;
    Slots_.resize(capacity);
    Mask_ = capacity - 1;
  }

  // Keeps the first index given for an identifier.
  void AddFirst(std::uint32_t itemId, std::size_t index) {
    TSlot& slot = Find(itemId);
    if (slot.Index == kEmpty) {
      slot.ItemId = itemId;
      slot.Index = index;
    }
  }

  // The summary index of `itemId`, or kNone.
  std::size_t Lookup(std::uint32_t itemId) const {
    for (std::size_t i = Hash(itemId);; i = (i + 1) & Mask_) {
      const TSlot& slot = Slots_[i];
      if (slot.Index == kEmpty || slot.ItemId == itemId)
        return slot.Index;
    }
  }

  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

 private:
  static constexpr std::size_t kEmpty = kNone;
  struct TSlot {
    std::uint32_t ItemId = 0;
    std::size_t Index = kEmpty;
  };

  std::size_t Hash(std::uint32_t itemId) const {
    return static_cast<std::size_t>((itemId * 0x9E3779B97F4A7C15ull) >> 32) & Mask_;
  }
  TSlot& Find(std::uint32_t itemId) {
    for (std::size_t i = Hash(itemId);; i = (i + 1) & Mask_) {
      TSlot& slot = Slots_[i];
      if (slot.Index == kEmpty || slot.ItemId == itemId)
        return slot;
    }
  }

  std::vector<TSlot> Slots_;
  std::size_t Mask_ = 0;
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
  THistoryRecord record;
  while (reader.Next(record)) {
    if (record.ItemId == itemId && record.Date >= from && record.Date <= to)
      result.push_back(record);
  }
}

void TWatchHistory::GetSummary(THistorySumArray& result, TDateTime from, TDateTime to) {
  result.clear();
  const std::vector<THistoryTarget::TItemInfo> items = Target_.SummaryItems();
  if (items.empty())
    return;
  result.reserve(items.size());
  // Records count toward the first summary of their item, as a search from
  // the front would find it, without searching for every record.
  TSummaryIndex firstIndex(items.size());
  for (const THistoryTarget::TItemInfo& item : items) {
    firstIndex.AddFirst(item.ItemId, result.size());
    THistorySum& sum = result.emplace_back();
    sum.ItemId = item.ItemId;
    sum.Name = item.Name;
    sum.Url = item.Url;
  }

  File_.Flush();
  if (File_.Exists()) {
    THistoryReader reader(File_);
    THistoryRecord record;
    while (reader.Next(record)) {
      if (record.Date < from || record.Date > to)
        continue;
      const std::size_t index = firstIndex.Lookup(record.ItemId);
      if (index != TSummaryIndex::kNone)
        AddToSummary(result[index], record);
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
    THistoryRecord record;
    while (reader.Next(record))
      Target_.ApplyResult(record);
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
