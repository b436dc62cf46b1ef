#pragma once

#include <string>

#include "platform/file_ops.h"
#include "storage/history_file.h"
#include "storage/history_record.h"
#include "storage/history_target.h"

namespace vantrel {

// The temporary history for the web service: the results of items that the
// service knows (ServiceId not 0), with ItemId replaced by the ServiceId,
// collected in the .vtt file and handed over in batches through the .vt1 file
// (same name, other extension), so that no record is lost or sent twice when
// an upload fails:
//
//   PrepareBatch   the .vtt file becomes the .vt1 batch, unless a batch is
//                  still waiting (an upload failed); then that one is sent again
//   ReadBatch      the records of the batch
//   CommitBatch    the upload succeeded: the batch is deleted
//
// Records wait in memory and are appended in bursts like the response
// history's, with the same safety (see THistoryFile).
class TTempHistory {
 public:
  // `target` (the watch list) and `ops` must outlive this object. `fileName`
  // is the .vtt file.
  TTempHistory(const THistoryTarget& target, std::string fileName,
               THistoryErrorReporter reporter = {}, TFileOps& ops = PosixFileOps());
  // Flushes; a failure is handed to the reporter.
  ~TTempHistory();

  TTempHistory(const TTempHistory&) = delete;
  TTempHistory& operator=(const TTempHistory&) = delete;

  // Queues the record under its item's ServiceId; records of unknown items and
  // of items without a ServiceId are dropped. Flushes when more than 1000
  // records are pending.
  void Add(const THistoryRecord& record);
  // Appends the pending records to the .vtt file; on failure those not
  // written stay pending and the error is thrown.
  void Flush();

  // Does nothing while a .vt1 batch exists; otherwise flushes and renames the
  // .vtt file (when there is one) to .vt1.
  void PrepareBatch();
  // The records of the .vt1 batch in file order; none when there is no batch.
  void ReadBatch(THistoryArray& result);
  // Deletes the .vt1 batch.
  void CommitBatch();

  const std::string& FileName() const { return Collecting_.FileName(); }
  const std::string& BatchFileName() const { return Batch_.FileName(); }
  std::size_t PendingCount() const { return Collecting_.Pending().size(); }

 private:
  const THistoryTarget& Target_;
  THistoryFile Collecting_;  // .vtt
  THistoryFile Batch_;       // .vt1
};

}  // namespace vantrel
