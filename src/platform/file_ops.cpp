#include "platform/file_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace vantrel {

namespace {

template <class TCall>
auto RetryInterrupted(TCall call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

}  // namespace

TUniqueFd TPosixFileOps::Open(const char* path, int flags, mode_t mode) {
  return TUniqueFd(RetryInterrupted([&] { return ::open(path, flags | O_CLOEXEC, mode); }));
}

ssize_t TPosixFileOps::PRead(int fd, void* data, std::size_t count, std::uint64_t offset) {
  return RetryInterrupted([&] { return ::pread(fd, data, count, static_cast<off_t>(offset)); });
}

ssize_t TPosixFileOps::PWrite(int fd, const void* data, std::size_t count, std::uint64_t offset) {
  return RetryInterrupted([&] { return ::pwrite(fd, data, count, static_cast<off_t>(offset)); });
}

int TPosixFileOps::FStat(int fd, struct stat& info) {
  return ::fstat(fd, &info);
}

int TPosixFileOps::Stat(const char* path, struct stat& info) {
  return ::stat(path, &info);
}

int TPosixFileOps::FTruncate(int fd, std::uint64_t size) {
  return RetryInterrupted([&] { return ::ftruncate(fd, static_cast<off_t>(size)); });
}

int TPosixFileOps::FSync(int fd) {
  return RetryInterrupted([&] { return ::fsync(fd); });
}

int TPosixFileOps::FChmod(int fd, mode_t mode) {
  return ::fchmod(fd, mode);
}

int TPosixFileOps::Close(TUniqueFd& fd) {
  return fd.Close();
}

int TPosixFileOps::Rename(const char* from, const char* to) {
  return std::rename(from, to);
}

int TPosixFileOps::Unlink(const char* path) {
  return ::unlink(path);
}

TFileOps& PosixFileOps() {
  static TPosixFileOps ops;
  return ops;
}

}  // namespace vantrel
