#include "storage/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "storage/file_errors.h"

namespace vantrel {

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

TAtomicFile::TAtomicFile(std::string path, TFilePermissions permissions, TFileOps& ops)
    : Ops_(ops), Path_(std::move(path)), TemporaryPath_(Path_ + ".tmp") {
  mode_t mode = permissions.Mode();
  bool setMode = permissions.Forced();
  if (!setMode) {
    struct stat old {};
    if (Ops_.Stat(Path_.c_str(), old) == 0) {
      mode = old.st_mode & 07777;
      setMode = true;
    } else if (errno != ENOENT) {
      throw EInOutError(Path_, errno, "Cannot open");
    }
  }
  // A temporary file left by a crash may carry other permission bits, or be
  // a link planted to redirect the write: it is replaced, not reused.
  if (Ops_.Unlink(TemporaryPath_.c_str()) != 0 && errno != ENOENT)
    throw EInOutError(TemporaryPath_, errno, "Cannot delete");
  Fd_ = Ops_.Open(TemporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
  if (!Fd_)
    throw EInOutError(TemporaryPath_, errno, "Cannot create");
  // The umask has had its say over `mode` only for a file that is new.
  if (setMode && Ops_.FChmod(Fd_.Get(), mode) != 0) {
    const int error = errno;
    RemoveTemporary();
    throw EInOutError(TemporaryPath_, error, "Cannot set permissions");
  }
}

TAtomicFile::~TAtomicFile() {
  if (!Committed_)
    RemoveTemporary();
}

void TAtomicFile::RemoveTemporary() noexcept {
  Fd_.Reset();
  // Nothing to add to the error that brought us here; at worst a stale
  // temporary file stays, and the next write replaces it.
  [[maybe_unused]] const int removed = Ops_.Unlink(TemporaryPath_.c_str());
}

void TAtomicFile::Write(std::string_view bytes) {
  if (!Fd_)
    throw EInOutError(TemporaryPath_, EBADF, "Cannot write");
  while (!bytes.empty()) {
    const ssize_t done = Ops_.PWrite(Fd_.Get(), bytes.data(), bytes.size(), Written_);
    if (done < 0)
      throw EInOutError(TemporaryPath_, errno, "Cannot write");
    if (done == 0)
      throw EInOutError(TemporaryPath_, EIO, "Cannot write");  // would loop forever
    bytes.remove_prefix(static_cast<std::size_t>(done));
    Written_ += static_cast<std::uint64_t>(done);
  }
}

void TAtomicFile::Commit() {
  if (!Fd_)
    throw EInOutError(TemporaryPath_, EBADF, "Cannot flush to disk");
  // Synced before the rename: renamed first, a crash could leave the new name
  // on a file whose blocks never reached the disk.
  if (Ops_.FSync(Fd_.Get()) != 0)
    throw EInOutError(TemporaryPath_, errno, "Cannot flush to disk");
  if (Ops_.Close(Fd_) != 0)
    throw EInOutError(TemporaryPath_, errno, "Cannot close");
  if (Ops_.Rename(TemporaryPath_.c_str(), Path_.c_str()) != 0)
    throw EInOutError(Path_, errno, "Cannot replace");
  Committed_ = true;
  SyncFolder();
}

void TAtomicFile::SyncFolder() {
  const std::string folder = FolderOf(Path_);
  TUniqueFd fd = Ops_.Open(folder.c_str(), O_RDONLY | O_DIRECTORY, 0);
  // A folder we may write but not read cannot be synced, and some file
  // systems refuse to sync folders; the rename has happened then anyway.
  if (fd && Ops_.FSync(fd.Get()) != 0 && errno != EINVAL && errno != EROFS)
    throw EInOutError(folder, errno, "Cannot flush to disk");
}

}  // namespace vantrel
