#include "storage/atomic_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_files.h"

namespace vantrel {
namespace {

mode_t ModeOf(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// A temporary file left by a crash, with other bits and longer content, must
// not lend either to the new file. (Forced bits: the settings' own test.)
TEST(AtomicFile, ReplacementKeepsTheOldBitsOrGetsTheDefaultNeverAStaleTemporarysOnes) {
  const struct {
    const char* Name;
    mode_t Old;  // 0: no old file
    mode_t Expected;
  } cases[] = {{"old bits kept", 0640, 0640}, {"new file: the default less the umask", 0, 0644}};
  const mode_t savedUmask = ::umask(022);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    test::TTempDir dir;
    const std::string path = dir / "vantrel.ini";
    if (c.Old != 0) {
      test::WriteFileBytes(path, "old");
      ::chmod(path.c_str(), c.Old);
    }
    test::WriteFileBytes(path + ".tmp", "leftover from a crash, much longer than new");
    ::chmod((path + ".tmp").c_str(), 0666);
    TAtomicFile file(path, TFilePermissions::KeepOr(0666));
    file.Write("new");
    file.Commit();
    EXPECT_EQ(test::ReadFileBytes(path), "new");
    EXPECT_EQ(ModeOf(path), c.Expected);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  }
  ::umask(savedUmask);
}

}  // namespace
}  // namespace vantrel
