#include "storage/history_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "storage/atomic_file.h"
#include "storage/file_errors.h"
#include "storage/file_system_format.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

// The size of `fileName`, or nothing when it does not exist.
std::optional<std::uint64_t> SizeIfExists(const std::string& fileName) {
  struct stat info {};
  if (::stat(fileName.c_str(), &info) == 0)
    return static_cast<std::uint64_t>(info.st_size);
  if (errno == ENOENT || errno == ENOTDIR)
    return std::nullopt;
  throw EInOutError(fileName, errno, "Open");
}

void TruncateFile(const std::string& fileName, std::uint64_t size) {
  int result;
  do {
    result = ::truncate(fileName.c_str(), static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  if (result != 0)
    throw EInOutError(fileName, errno, "Truncate");
}

// Sets the flag for the lifetime of one write.
class TWritingScope {
 public:
  explicit TWritingScope(bool& flag) : Flag_(flag) { Flag_ = true; }
  ~TWritingScope() { Flag_ = false; }
  TWritingScope(const TWritingScope&) = delete;
  TWritingScope& operator=(const TWritingScope&) = delete;

 private:
  bool& Flag_;
};

}  // namespace

THistoryFile::THistoryFile(std::string fileName, std::string signature, double version,
                           THistoryErrorReporter reporter, TFileOps& ops)
    : FileName_(std::move(fileName)),
      Signature_(std::move(signature)),
      Version_(version),
      Reporter_(std::move(reporter)),
      Ops_(&ops) {}

TxxFileSystem THistoryFile::NewContainer(const std::string& fileName) const {
  return TxxFileSystem(fileName, Signature_, Version_, kDataPassPhrase, *Ops_);
}

bool THistoryFile::Exists() const {
  return SizeIfExists(FileName_).has_value();
}

void THistoryFile::Report(const std::string& message) const {
  if (Reporter_) {
    Reporter_(message);
  } else {
    std::cerr << message << '\n';
  }
}

void THistoryFile::ReportTear(std::uint64_t fileSize, std::uint64_t tornBytes) {
  if (TearReportedAt_ == fileSize)
    return;
  TearReportedAt_ = fileSize;
  Report(FileName_ + "\r\nIncomplete last block of " + std::to_string(tornBytes) +
         " bytes, left by an interrupted write: ignored, and removed before the next record is "
         "written.");
}

void THistoryFile::ReportDamagedBlocks(std::uint64_t end, std::uint64_t blocks) {
  HoldsDamagedBlocks_ = true;
  if (DamageReportedAt_ == end)
    return;
  DamageReportedAt_ = end;
  Report(FileName_ + "\r\n" + std::to_string(blocks) +
         " damaged record block(s), whose check value does not match: skipped, and removed "
         "before the next record is written.");
}

void THistoryFile::FlushIfFull() {
  if (Pending_.size() > FlushAbove_)
    Flush();
}

void THistoryFile::Flush() {
  if (Pending_.empty() || Writing_)
    return;
  TWritingScope writing(Writing_);
  THistoryArray batch;
  batch.swap(Pending_);
  try {
    Append(batch);
  } catch (...) {
    // What did not reach the file goes back ahead of anything added while the
    // user interface ran, so the file order stays the order of adding.
    batch.insert(batch.end(), Pending_.begin(), Pending_.end());
    Pending_.swap(batch);
    FlushAbove_ = Pending_.size() + kMaxPending;
    throw;
  }
  FlushAbove_ = kMaxPending;
}

void THistoryFile::Append(THistoryArray& records) {
  std::optional<std::uint64_t> start;  // where the first new block goes
  try {
    // Damaged blocks go before anything is added: other copies of the
    // program refuse the whole file over one, and every start here would
    // report them again. The good records stay.
    if (HoldsDamagedBlocks_ && Exists())
      WriteKept([](const THistoryRecord&) { return true; });
    HoldsDamagedBlocks_ = false;  // the file is whole, or gone with its damage
    TxxFileSystem container = NewContainer(FileName_);
    const std::uint64_t header = container.HeaderSize();
    const std::uint64_t stored = container.StoredSize(kHistoryRecordSize);
    // A header cut short holds no records; the file starts afresh with a
    // whole one (append mode writes it into an empty file).
    if (const auto size = SizeIfExists(FileName_); size && *size > 0 && *size < header) {
      ReportTear(*size, *size);
      TruncateFile(FileName_, 0);
      TearReportedAt_.reset();
    }
    container.Open(omAppend);
    const std::uint64_t size = container.Size();
    if (size < header)  // shrunk by someone else since it was looked at
      throw EDataFileError(FileName_, kWrongFileFormat);
    if (const std::uint64_t torn = (size - header) % stored; torn != 0) {
      ReportTear(size, torn);
      container.Truncate(size - torn);
      TearReportedAt_.reset();
    }
    start = container.Size();
    for (const THistoryRecord& record : records) {
      const THistoryRecordBytes bytes = EncodeHistoryRecord(record);
      container.WriteBuffer(bytes.data(), bytes.size());
    }
    container.Close();
  } catch (...) {
    // The container is gone by now, so nothing more can reach the file behind
    // this count.
    const std::size_t written = start ? WholeBlocksAfterFailure(*start, records.size()) : 0;
    records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(written));
    throw;
  }
  records.clear();
}

std::size_t THistoryFile::WholeBlocksAfterFailure(std::uint64_t start, std::size_t count) const {
  struct stat info {};
  if (::stat(FileName_.c_str(), &info) != 0)
    return 0;  // nothing known to be written: keep every record
  const auto size = static_cast<std::uint64_t>(info.st_size);
  const std::uint64_t stored = NewContainer(FileName_).StoredSize(kHistoryRecordSize);
  const std::size_t whole =
      size <= start
          ? 0
          : static_cast<std::size_t>(std::min<std::uint64_t>((size - start) / stored, count));
  if (whole < count) {
    // A block written in part would misalign every later one. Cutting it now
    // saves a damage report later; if that fails too, the next append cuts it.
    // Short of the start only our own new header can be missing.
    const std::uint64_t keep = size < start ? 0 : start + whole * stored;
    if (size != keep) {
      std::error_code ignored;
      fs::resize_file(FileName_, keep, ignored);
    }
  }
  return whole;
}

void THistoryFile::Rewrite(const std::function<bool(const THistoryRecord&)>& keep) {
  if (Writing_)
    throw std::logic_error("THistoryFile: " + FileName_ + " is being written");
  TWritingScope writing(Writing_);
  WriteKept(keep);
}

void THistoryFile::WriteKept(const std::function<bool(const THistoryRecord&)>& keep) {
  TAtomicFile file(FileName_, TFilePermissions::KeepOr(kNewFileMode), *Ops_);
  THistoryReader reader(*this);
  TxxFileSystem out = NewContainer(file.TemporaryPath());
  out.Open(omCreate);
  THistoryRecord record;
  while (reader.Next(record)) {
    if (keep(record)) {
      const THistoryRecordBytes bytes = EncodeHistoryRecord(record);
      out.WriteBuffer(bytes.data(), bytes.size());
    }
  }
  out.Close();
  file.Commit();
  // The new file ends with a whole block and holds good ones only.
  TearReportedAt_.reset();
  DamageReportedAt_.reset();
  HoldsDamagedBlocks_ = false;
}

void THistoryFile::MoveTo(const std::string& newName) {
  if (Writing_)
    throw std::logic_error("THistoryFile: " + FileName_ + " is being written");
  if (std::rename(FileName_.c_str(), newName.c_str()) != 0)
    throw EInOutError(FileName_, errno, "Rename to " + newName);
  // Damage went with the file.
  TearReportedAt_.reset();
  DamageReportedAt_.reset();
  HoldsDamagedBlocks_ = false;
}

void THistoryFile::Remove() {
  if (Writing_)
    throw std::logic_error("THistoryFile: " + FileName_ + " is being written");
  if (std::remove(FileName_.c_str()) != 0 && errno != ENOENT)
    throw EInOutError(FileName_, errno, "Delete");
  TearReportedAt_.reset();
  DamageReportedAt_.reset();
  HoldsDamagedBlocks_ = false;
}

THistoryReader::THistoryReader(THistoryFile& file)
    : File_(file), Container_(file.NewContainer(file.FileName())) {
  const std::uint64_t header = Container_.HeaderSize();
  Stored_ = Container_.StoredSize(kHistoryRecordSize);
  const auto size = SizeIfExists(file.FileName());
  if (!size)
    throw EInOutError(file.FileName(), ENOENT, "Open for reading");
  if (*size == 0)
    return;  // created, but the header never got written: no records
  if (*size < header) {
    file.ReportTear(*size, *size);
    return;
  }
  Container_.Open(omRead);
  Position_ = Container_.Position();
  const std::uint64_t end = Container_.Size();
  End_ = end - (end - Position_) % Stored_;
  if (End_ != end)
    file.ReportTear(end, end - End_);
  // A small file gets buffers of its own size.
  const auto batch = static_cast<std::size_t>(
      std::min<std::uint64_t>(kBatchRecords, (End_ - Position_) / Stored_));
  Bytes_.resize(batch * kHistoryRecordSize);
  Records_.resize(batch);
}

static_assert(THistoryReader::kBatchRecords * (kHistoryRecordSize + kCheckValueSize) >
                  2 * TBufferedFile::kBufferSize,
              "a batch is read through the file buffer");

bool THistoryReader::Fill() {
  Taken_ = Count_ = 0;
  while (Position_ < End_) {
    const auto wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(Records_.size(), (End_ - Position_) / Stored_));
    const TxxFileSystem::TBlockRun run =
        Container_.SalvageBuffers(Bytes_.data(), kHistoryRecordSize, wanted);
    Position_ += wanted * Stored_;
    Damaged_ += run.Damaged;
    if (Position_ >= End_ && Damaged_ != 0)
      File_.ReportDamagedBlocks(End_, Damaged_);
    const unsigned char* bytes = Bytes_.data();
    for (std::size_t i = 0; i < run.Good; ++i, bytes += kHistoryRecordSize)
      Records_[i] = DecodeHistoryRecord(bytes);
    Count_ = run.Good;
    if (Count_ != 0)
      return true;
    // A batch of damaged blocks only: read on.
  }
  return false;
}

}  // namespace vantrel
