#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/file_ops.h"

namespace vantrel::test {

// The real file system, except for the faults a test arms: writes that stop
// part-way as on a full disk, a sync or a rename that fails. Everything not
// failed reaches the real files, so a test sees on disk exactly what a
// program would find after such a failure.
class TFaultyFileOps : public TPosixFileOps {
 public:
  // Writes take `bytes` more in all (the last of them as a short write), then
  // fail with `error`.
  void FailWritesAfter(std::uint64_t bytes, int error = ENOSPC) {
    WriteBudget_ = bytes;
    WriteError_ = error;
  }
  void FailSyncs(int error = EIO) { SyncError_ = error; }
  void FailRenames(int error = EIO) { RenameError_ = error; }
  // The disk works again.
  void Heal() {
    WriteBudget_.reset();
    SyncError_ = 0;
    RenameError_ = 0;
  }

  ssize_t PWrite(int fd, const void* data, std::size_t count, std::uint64_t offset) override {
    if (!WriteBudget_)
      return TPosixFileOps::PWrite(fd, data, count, offset);
    if (*WriteBudget_ == 0)
      return Fail(WriteError_);
    const std::size_t take =
        count < *WriteBudget_ ? count : static_cast<std::size_t>(*WriteBudget_);
    const ssize_t done = TPosixFileOps::PWrite(fd, data, take, offset);
    if (done > 0)
      *WriteBudget_ -= static_cast<std::uint64_t>(done);
    return done;
  }
  int FSync(int fd) override { return SyncError_ ? Fail(SyncError_) : TPosixFileOps::FSync(fd); }
  int Rename(const char* from, const char* to) override {
    return RenameError_ ? Fail(RenameError_) : TPosixFileOps::Rename(from, to);
  }

 private:
  static int Fail(int error) {
    errno = error;
    return -1;
  }

  std::optional<std::uint64_t> WriteBudget_;
  int WriteError_ = ENOSPC;
  int SyncError_ = 0;
  int RenameError_ = 0;
};

// The three ways a save through a temporary file can fail, each at another
// step: while writing (after `bytes`), at the sync before the rename, at the
// rename.
struct TSaveFault {
  const char* Name;
  void (*Arm)(TFaultyFileOps& ops, std::uint64_t bytes);
};
inline constexpr TSaveFault kSaveFaults[] = {
    {"a write stops part-way",
     [](TFaultyFileOps& ops, std::uint64_t bytes) { ops.FailWritesAfter(bytes); }},
    {"fsync fails", [](TFaultyFileOps& ops, std::uint64_t) { ops.FailSyncs(); }},
    {"rename fails", [](TFaultyFileOps& ops, std::uint64_t) { ops.FailRenames(); }},
};

}  // namespace vantrel::test
