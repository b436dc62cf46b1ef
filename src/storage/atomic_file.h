#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_ops.h"
#include "platform/unique_fd.h"

namespace vantrel {

// The permission bits a file written through TAtomicFile ends up with.
class TFilePermissions {
 public:
  // Those of the file being replaced; a new file gets `mode` less the umask,
  // as any file created.
  static constexpr TFilePermissions KeepOr(mode_t mode) { return {mode, false}; }
  // Always `mode`, whatever the replaced file had and whatever the umask: for
  // files that hold passwords.
  static constexpr TFilePermissions Exactly(mode_t mode) { return {mode, true}; }

  mode_t Mode() const { return Mode_; }
  bool Forced() const { return Forced_; }

 private:
  constexpr TFilePermissions(mode_t mode, bool forced) : Mode_(mode), Forced_(forced) {}
  mode_t Mode_;
  bool Forced_;
};

// Writes a file anew so that a crash or a failure at any moment leaves either
// the old file whole or the new one, never a mix: the new content goes to a
// temporary file beside it (TemporaryPath(), the name with ".tmp" appended, in
// the same folder, since only there a rename is atomic), and Commit puts it on
// the disk and renames it over the old one.
//
// The content is written either with Write, or by another writer (the
// record-file container) that opens TemporaryPath() itself and closes it
// before Commit. Either way the temporary file is synced once, by Commit.
//
// Until Commit succeeds, destruction removes the temporary file, so an
// exception that leaves the scope leaves no temporary file behind and the old
// file untouched. Errors throw EInOutError naming the file.
class TAtomicFile {
 public:
  // Creates the temporary file (replacing one a crash left behind) with the
  // permission bits `permissions` gives. `ops` must outlive this object.
  TAtomicFile(std::string path, TFilePermissions permissions, TFileOps& ops = PosixFileOps());
  // Removes the temporary file unless committed; errors are not reported.
  ~TAtomicFile();

  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  const std::string& Path() const { return Path_; }
  const std::string& TemporaryPath() const { return TemporaryPath_; }

  // Appends `bytes` to the temporary file.
  void Write(std::string_view bytes);
  // Syncs and closes the temporary file, renames it over Path() and syncs the
  // folder so the rename too survives a crash. Once only.
  void Commit();

 private:
  void RemoveTemporary() noexcept;
  void SyncFolder();

  TFileOps& Ops_;
  std::string Path_;
  std::string TemporaryPath_;
  TUniqueFd Fd_;
  std::uint64_t Written_ = 0;
  bool Committed_ = false;
};

}  // namespace vantrel
