#include "storage/atomic_replace.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "storage/file_errors.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

TEST(AtomicReplace, NewContentReplacesOldWithItsModeEvenOverAStaleTemporary) {
  test::TTempDir dir;
  const auto path = dir / "list.ini";
  test::WriteFileBytes(path, "old");
  test::WriteFileBytes(TemporaryPathFor(path), "leftover from a crash, much longer than new");
  ::chmod(TemporaryPathFor(path).c_str(), 0666);
  WriteFileAtomically(path, "new", 0600);
  EXPECT_EQ(test::ReadFileBytes(path), "new");
  EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(path)));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AtomicReplace, FailedReplaceKeepsTheOldFileAndRemovesTheTemporary) {
  test::TTempDir dir;
  const auto path = dir / "target";
  std::filesystem::create_directory(path);  // a non-empty folder cannot be renamed over
  test::WriteFileBytes(path / "inside", "x");
  EXPECT_THROW(WriteFileAtomically(path, "new", 0600), EInOutError);
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(path)));
}

}  // namespace
}  // namespace vantrel
