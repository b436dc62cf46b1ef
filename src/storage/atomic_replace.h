#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace vantrel {

// Rewrites are made safe by writing a temporary file beside the real one,
// flushing it to disk and renaming it over the real one: a crash at any moment
// leaves either the old file or the new one, never a truncated mix.

// The temporary file used for `path`: the same name with ".tmp" appended, in
// the same folder (a rename is only atomic within one file system).
std::filesystem::path TemporaryPathFor(const std::filesystem::path& path);

// Flushes `temporary` to disk and renames it over `path`, then flushes the
// folder so the rename itself survives a crash. Throws EInOutError; on failure
// `path` is unchanged and the temporary file is removed.
void ReplaceWithTemporary(const std::filesystem::path& temporary,
                          const std::filesystem::path& path);

// Writes `content` as the whole new `path` through a temporary file, with the
// permission bits `mode` (e.g. 0600 for files that hold passwords).
void WriteFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode);

}  // namespace vantrel
