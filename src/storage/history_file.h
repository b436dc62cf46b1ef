#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file_ops.h"
#include "storage/file_system.h"
#include "storage/history_record.h"

namespace vantrel {

// Hears of damage that the histories work around instead of failing: the
// message is the file name, CR LF, and what was skipped. The program writes it
// to the event log; the default writes it to standard error.
using THistoryErrorReporter = std::function<void(const std::string& message)>;

// One file of history records (.vth, .vtt or .vt1: a container header, then
// one 21-byte block per record) and the records waiting to be appended to it.
//
// Writing is made safe against failures and crashes:
// - a flush that fails keeps the records whose blocks did not reach the file
//   and writes them at the next flush; none is written twice;
// - a crash during an append can leave a torn last block (fewer bytes than a
//   whole block). Readers stop before it and the next append cuts it off, so
//   later blocks stay aligned. It is reported once through the reporter;
// - a block damaged on disk (its check value does not match) costs its record
//   only: readers pass over it, the count of such blocks is reported once, and
//   the next write (append or rewrite) first rewrites the file without them;
// - a rewrite goes to a temporary file that is renamed over the old one.
//
// The container lets the user interface run during file work, and an event
// handled then may add records or flush again: records added meanwhile wait
// for the next flush, and a flush asked for while one is writing does nothing.
class THistoryFile {
 public:
  // More pending records than this are flushed by FlushIfFull.
  static constexpr std::size_t kMaxPending = 1000;

  // Appends and rewrites reach the file through `ops`, which must outlive
  // this object.
  THistoryFile(std::string fileName, std::string signature, double version,
               THistoryErrorReporter reporter, TFileOps& ops = PosixFileOps());

  const std::string& FileName() const { return FileName_; }
  // Throws EInOutError when the file's state cannot be learned.
  bool Exists() const;

  // Queues a record for the next flush; no file access.
  void Push(const THistoryRecord& record) { Pending_.push_back(record); }
  // Flushes when more than kMaxPending records wait. After a failed flush the
  // next automatic attempt waits for kMaxPending more, so that a full disk
  // does not fail every single check.
  void FlushIfFull();
  // Appends the pending records (opening the file in append mode, creating it
  // with its header when missing). On failure the error is thrown and the
  // records that did not reach the file stay pending, in order.
  void Flush();
  const THistoryArray& Pending() const { return Pending_; }
  // True while a flush or rewrite is writing this file.
  bool Writing() const { return Writing_; }

  // Rewrites the file (which must exist) with the records `keep` accepts, in
  // order, through a temporary file renamed over it (TAtomicFile), keeping its
  // permission bits: on failure the old file is left as it was. Throws
  // std::logic_error while the file is being written.
  void Rewrite(const std::function<bool(const THistoryRecord&)>& keep);

  // Renames the file (which must exist and not be being written).
  void MoveTo(const std::string& newName);
  // Deletes the file; a missing one is fine.
  void Remove();

  // Reports the damage of a file of `fileSize` bytes that ends in a torn block
  // of `tornBytes`, unless this very tear was reported already.
  void ReportTear(std::uint64_t fileSize, std::uint64_t tornBytes);
  // A reader of the file, whose whole blocks end at `end`, passed over
  // `blocks` damaged ones: reported unless already reported for that file,
  // and the next write rewrites the file without them.
  void ReportDamagedBlocks(std::uint64_t end, std::uint64_t blocks);
  // Hands a message to the reporter (standard error when there is none).
  void Report(const std::string& message) const;

  // A closed container for `fileName` with this file's signature and version.
  TxxFileSystem NewContainer(const std::string& fileName) const;

 private:
  // Appends `records`; on failure removes from it those whose blocks reached
  // the file and throws.
  void Append(THistoryArray& records);
  // Rewrite, once the caller has marked the file as being written.
  void WriteKept(const std::function<bool(const THistoryRecord&)>& keep);
  // How many of `count` blocks appended from offset `start` are whole in the
  // file after a failure; cuts off a block written in part.
  std::size_t WholeBlocksAfterFailure(std::uint64_t start, std::size_t count) const;

  std::string FileName_;
  std::string Signature_;
  double Version_;
  THistoryErrorReporter Reporter_;
  TFileOps* Ops_;
  THistoryArray Pending_;
  std::size_t FlushAbove_ = kMaxPending;
  bool Writing_ = false;
  // The file size at which the current tear was reported, so that reading
  // the same file again does not report it again.
  std::optional<std::uint64_t> TearReportedAt_;
  // The same for damaged blocks, and whether the file still holds some.
  std::optional<std::uint64_t> DamageReportedAt_;
  bool HoldsDamagedBlocks_ = false;
};

// Reads the records of a history file in file order, passing over damaged
// blocks and stopping before a torn last block; both are reported through the
// file. The file is read and decoded a batch of records at a time, so memory
// does not grow with the file and a record costs no call of its own.
class THistoryReader {
 public:
  // Records decoded per read of the file. Their blocks span more than twice
  // the file buffer, so that after the first batch the file is read straight
  // into place instead of through that buffer.
  static constexpr std::size_t kBatchRecords = 8192;

  // Opens the file, which must exist (EInOutError otherwise). An empty file
  // has no records. Container errors propagate.
  explicit THistoryReader(THistoryFile& file);

  // The records after those handed out so far, at most kBatchRecords; empty at
  // the end. Valid until the next call.
  std::span<const THistoryRecord> NextBatch() {
    if (Taken_ == Count_ && !Fill())
      return {};
    const std::span<const THistoryRecord> batch(Records_.data() + Taken_, Count_ - Taken_);
    Taken_ = Count_;
    return batch;
  }

  // The next record; false at the end.
  bool Next(THistoryRecord& record) {
    if (Taken_ == Count_ && !Fill())
      return false;
    record = Records_[Taken_++];
    return true;
  }

 private:
  // Decodes the next batch; false at the end.
  bool Fill();

  THistoryFile& File_;
  TxxFileSystem Container_;
  std::uint64_t Position_ = 0;
  // The end of the last whole block.
  std::uint64_t End_ = 0;
  std::uint64_t Stored_ = 0;
  // Damaged blocks passed over so far.
  std::uint64_t Damaged_ = 0;
  // The plain bytes of the current batch and its records, of which the first
  // Taken_ were handed out.
  std::vector<unsigned char> Bytes_;
  std::vector<THistoryRecord> Records_;
  std::size_t Count_ = 0;
  std::size_t Taken_ = 0;
};

}  // namespace vantrel
