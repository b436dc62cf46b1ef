#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace vantrel {

// The process that holds a data folder, as its lock file names it.
struct TLockHolder {
  std::int64_t Pid = 0;  // 0: not known (it has locked and not yet written its name)
  std::string Host;
  std::string Program;

  bool operator==(const TLockHolder&) const = default;
};

// "process 1234 (vantrel-cli run on alpha)"; "an unnamed process" when the
// holder has not written its name yet.
std::string DescribeHolder(const TLockHolder& holder);

// The name this process gives itself in lock files (its short program name).
std::string CurrentProgramName();

// One monitor per data folder: whoever changes the data files holds an
// exclusive lock on "vantrel.lock" in the folder for as long as it may write
// them. That is the monitor while it runs, and a command-line tool for the
// moment of its edit, so each refuses while the other works.
//
// The lock is the system's advisory file lock (flock), so it ends with its
// holder: a monitor that crashed or was killed leaves a free lock behind, and
// the next one takes it over without any test of stale process numbers. The
// file itself only says who holds it: "pid N", "host H" and "program P", one
// per line. It is never deleted, because a lock file removed while another
// process opens it would let two processes lock two different files.
class TDataFolderLock {
 public:
  static constexpr const char* kFileName = "vantrel.lock";

  // Locks nothing yet; `program` is what other processes are told.
  explicit TDataFolderLock(std::filesystem::path folder,
                           std::string program = CurrentProgramName());
  // Unlocks.
  ~TDataFolderLock();
  TDataFolderLock(const TDataFolderLock&) = delete;
  TDataFolderLock& operator=(const TDataFolderLock&) = delete;

  // Takes the lock and writes this process's name into the file; true when
  // this object holds it (also when it did already). False when another
  // holder has it, even another object of this process: Holder() then says
  // who. Throws std::system_error naming the file when it cannot be opened,
  // locked or written for any other reason.
  [[nodiscard]] bool TryLock();
  // Empties the file and lets the lock go; harmless when not held.
  void Unlock();
  bool Locked() const { return Fd_.Valid(); }

  // The holder the last failed TryLock found; nothing after a success.
  const std::optional<TLockHolder>& Holder() const { return Holder_; }
  // "The data folder DIR is in use by process N (...)." after a failed TryLock.
  std::string InUseMessage() const;

  const std::filesystem::path& Folder() const { return Folder_; }
  std::filesystem::path FileName() const { return Folder_ / kFileName; }

 private:
  std::filesystem::path Folder_;
  std::string Program_;
  TUniqueFd Fd_;
  std::optional<TLockHolder> Holder_;
};

}  // namespace vantrel
