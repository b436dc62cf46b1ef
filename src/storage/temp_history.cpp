#include "storage/temp_history.h"

#include <exception>
#include <filesystem>
#include <utility>

#include "storage/file_system_format.h"

namespace vantrel {

namespace {

std::string BatchNameFor(const std::string& fileName) {
  return std::filesystem::path(fileName).replace_extension(".vt1").string();
}

}  // namespace

TTempHistory::TTempHistory(const THistoryTarget& target, std::string fileName,
                           THistoryErrorReporter reporter, TFileOps& ops)
    : Target_(target),
      Collecting_(fileName, kTempHistorySignature, kTempHistoryVersion, reporter, ops),
      Batch_(BatchNameFor(fileName), kTempHistorySignature, kTempHistoryVersion,
             std::move(reporter), ops) {}

TTempHistory::~TTempHistory() {
  try {
    Collecting_.Flush();
  } catch (const std::exception& error) {
    Collecting_.Report(error.what());
  } catch (...) {
    Collecting_.Report(Collecting_.FileName() + "\r\nFlush failed.");
  }
}

void TTempHistory::Add(const THistoryRecord& record) {
  const std::optional<std::int32_t> serviceId = Target_.ServiceIdOf(record.ItemId);
  if (!serviceId || *serviceId == 0)
    return;
  THistoryRecord queued = record;
  queued.ItemId = static_cast<std::uint32_t>(*serviceId);
  Collecting_.Push(queued);
  Collecting_.FlushIfFull();
}

void TTempHistory::Flush() {
  Collecting_.Flush();
}

void TTempHistory::PrepareBatch() {
  // A batch still there was not delivered; it goes again, unchanged.
  if (Batch_.Exists())
    return;
  Collecting_.Flush();
  // While the user interface runs inside a flush of the .vtt file, renaming it
  // would send the rest of that flush into the batch after it was read.
  if (Collecting_.Writing() || !Collecting_.Exists())
    return;
  Collecting_.MoveTo(Batch_.FileName());
}

void TTempHistory::ReadBatch(THistoryArray& result) {
  result.clear();
  if (!Batch_.Exists())
    return;
  THistoryReader reader(Batch_);
  THistoryRecord record;
  while (reader.Next(record))
    result.push_back(record);
}

void TTempHistory::CommitBatch() {
  Batch_.Remove();
}

}  // namespace vantrel
