#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform/unique_fd.h"

namespace vantrel {

// The permission bits files are created with, less the user's umask, like any
// other program's files.
inline constexpr mode_t kNewFileMode = 0666;

// The system calls that the data files are written with, behind one interface,
// so that tests can hand down operations that fail the way a disk does (full,
// failing to sync, refusing a rename) and check that nothing is lost.
//
// Each call behaves as its POSIX namesake: -1 (or an invalid descriptor) with
// errno set on failure. Interrupted calls (EINTR) are retried inside, except
// Close, which must never be retried. New descriptors are close-on-exec.
class TFileOps {
 public:
  virtual ~TFileOps() = default;

  virtual TUniqueFd Open(const char* path, int flags, mode_t mode) = 0;
  virtual ssize_t PRead(int fd, void* data, std::size_t count, std::uint64_t offset) = 0;
  virtual ssize_t PWrite(int fd, const void* data, std::size_t count, std::uint64_t offset) = 0;
  virtual int FStat(int fd, struct stat& info) = 0;
  virtual int Stat(const char* path, struct stat& info) = 0;
  virtual int FTruncate(int fd, std::uint64_t size) = 0;
  virtual int FSync(int fd) = 0;
  virtual int FChmod(int fd, mode_t mode) = 0;
  // Closes and releases the descriptor, also when close fails.
  virtual int Close(TUniqueFd& fd) = 0;
  virtual int Rename(const char* from, const char* to) = 0;
  virtual int Unlink(const char* path) = 0;
};

// The operations of the real file system.
class TPosixFileOps : public TFileOps {
 public:
  TUniqueFd Open(const char* path, int flags, mode_t mode) override;
  ssize_t PRead(int fd, void* data, std::size_t count, std::uint64_t offset) override;
  ssize_t PWrite(int fd, const void* data, std::size_t count, std::uint64_t offset) override;
  int FStat(int fd, struct stat& info) override;
  int Stat(const char* path, struct stat& info) override;
  int FTruncate(int fd, std::uint64_t size) override;
  int FSync(int fd) override;
  int FChmod(int fd, mode_t mode) override;
  int Close(TUniqueFd& fd) override;
  int Rename(const char* from, const char* to) override;
  int Unlink(const char* path) override;
};

// The one real-file-system instance every file uses unless given another. It
// holds no state, so sharing it between threads is safe.
TFileOps& PosixFileOps();

}  // namespace vantrel
