#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/date_time.h"
#include "platform/file_ops.h"
#include "storage/history_file.h"
#include "storage/history_record.h"
#include "storage/history_sum.h"
#include "storage/history_target.h"

namespace vantrel {

// The response history (.vth): every recorded check result, in the order
// added, for the items' statistics and the reports. New records wait in
// memory and are appended in bursts (more than 1000 pending, or Flush).
//
// Queries stream the file a batch of blocks at a time: memory does not grow
// with the history (except the records GetHistory returns). A damaged record
// block costs its record only (THistoryFile); other container errors reach the
// caller; a missing file is an empty history.
class TWatchHistory {
 public:
  // `target` (the watch list) and `ops` must outlive the history.
  TWatchHistory(THistoryTarget& target, std::string fileName, THistoryErrorReporter reporter = {},
                TFileOps& ops = PosixFileOps());
  // Flushes; a failure is handed to the reporter (call Flush first to get it
  // as an exception).
  ~TWatchHistory();

  TWatchHistory(const TWatchHistory&) = delete;
  TWatchHistory& operator=(const TWatchHistory&) = delete;

  // Queues the record, applies it to its item, and flushes when more than
  // 1000 records are pending.
  void Add(const THistoryRecord& record);
  // Appends the pending records to the file. When it fails, the records not
  // written stay pending for the next flush and the error is thrown.
  void Flush();

  // The records of item `itemId` with from <= Date <= to, in file order.
  // Flushes first.
  void GetHistory(std::uint32_t itemId, THistoryArray& result, TDateTime from, TDateTime to);
  // One summary per item of the watch list, in list order, over the records
  // with from <= Date <= to. An empty list touches no file.
  void GetSummary(THistorySumArray& result, TDateTime from, TDateTime to);
  // Rebuilds every item's statistics by replaying the whole file (nothing
  // happens when it does not exist). Flushes first, so that records still
  // pending are part of the replay instead of being cleared away by it.
  void LoadStatistics();
  // Removes every record of these items from the file (flushed first),
  // rewriting it through a temporary file. An empty array does nothing.
  void DeleteItems(const std::vector<std::uint32_t>& itemIds);
  // DeleteItems for the items selected in the item view.
  void DeleteSelected();

  const std::string& FileName() const { return File_.FileName(); }
  std::size_t PendingCount() const { return File_.Pending().size(); }

 private:
  THistoryTarget& Target_;
  THistoryFile File_;
};

}  // namespace vantrel
