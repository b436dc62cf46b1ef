#include "storage/atomic_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "storage/file_errors.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

// Closes the descriptor on every path out of a function.
class TFd {
 public:
  explicit TFd(int fd) : Fd_(fd) {}
  ~TFd() {
    if (Fd_ >= 0)
      ::close(Fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return Fd_; }
  // Closes now, so that a failing close (NFS, quotas) is seen.
  int Close() {
    const int rc = ::close(Fd_);
    Fd_ = -1;
    return rc;
  }

 private:
  int Fd_;
};

[[noreturn]] void Fail(const fs::path& file, const char* operation, int error) {
  throw EInOutError(file.string(), error, operation);
}

void SyncFile(const fs::path& file) {
  TFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0)
    Fail(file, "Cannot open", errno);
  if (::fsync(fd.Get()) != 0)
    Fail(file, "Cannot flush to disk", errno);
}

void SyncFolderOf(const fs::path& file) {
  fs::path folder = file.parent_path();
  if (folder.empty())
    folder = ".";
  TFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // Some file systems refuse to sync a folder; the rename has happened then anyway.
  if (fd.Get() >= 0 && ::fsync(fd.Get()) != 0 && errno != EINVAL && errno != EROFS) {
    Fail(folder, "Cannot flush to disk", errno);
  }
}

// Renames the (already flushed) temporary file over `path`; removes it on failure.
void RenameOver(const fs::path& temporary, const fs::path& path) {
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::error_code ignored;  // the rename error is the one that matters
    fs::remove(temporary, ignored);
    Fail(path, "Cannot replace", error);
  }
  SyncFolderOf(path);
}

}  // namespace

fs::path TemporaryPathFor(const fs::path& path) {
  fs::path temporary = path;
  temporary += ".tmp";
  return temporary;
}

void ReplaceWithTemporary(const fs::path& temporary, const fs::path& path) {
  try {
    SyncFile(temporary);
  } catch (...) {
    std::error_code ignored;  // the error being thrown is the one that matters
    fs::remove(temporary, ignored);
    throw;
  }
  RenameOver(temporary, path);
}

void WriteFileAtomically(const fs::path& path, std::string_view content, mode_t mode) {
  const fs::path temporary = TemporaryPathFor(path);
  try {
    TFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (fd.Get() < 0)
      Fail(temporary, "Cannot create", errno);
    // A stale temporary file may carry other permission bits; the new file must not.
    if (::fchmod(fd.Get(), mode) != 0)
      Fail(temporary, "Cannot set permissions", errno);
    std::size_t done = 0;
    while (done < content.size()) {
      const ssize_t n = ::write(fd.Get(), content.data() + done, content.size() - done);
      if (n < 0) {
        if (errno == EINTR)
          continue;
        Fail(temporary, "Cannot write", errno);
      }
      done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.Get()) != 0)
      Fail(temporary, "Cannot flush to disk", errno);
    if (fd.Close() != 0)
      Fail(temporary, "Cannot close", errno);
  } catch (...) {
    std::error_code ignored;  // the error being thrown is the one that matters
    fs::remove(temporary, ignored);
    throw;
  }
  RenameOver(temporary, path);
}

}  // namespace vantrel
