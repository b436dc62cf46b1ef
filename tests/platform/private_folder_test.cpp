// Documents for the desktop go into a folder no other local user can touch,
// under names that stay one file in it.

#include "platform/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "support/test_env.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

TEST(PrivateFolderTest, IsMadePrivateAndRefusesALinkPlantedInItsPlace) {
  const test::TTempDir tmp;
  const test::TEnvGuard env("TMPDIR", tmp.Path().string());
  const fs::path expected = tmp / ("doc-" + std::to_string(::getuid()));
  fs::create_directory(expected);
  fs::permissions(expected, fs::perms::all);  // left open by someone
  EXPECT_EQ(PrivateTempFolder("doc"), expected);
  struct stat info {};
  ASSERT_EQ(::stat(expected.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  const fs::path planted = tmp / ("other-" + std::to_string(::getuid()));
  fs::create_directory_symlink(tmp / "elsewhere", planted);
  EXPECT_THROW(PrivateTempFolder("other"), std::runtime_error);
}

TEST(PrivateFolderTest, SafeFileNamesStayOneVisibleFileOfBoundedLength) {
  EXPECT_EQ(SafeFileName("../../etc/passwd", "x"), "_._.._etc_passwd");
  EXPECT_EQ(SafeFileName(".hidden\r\nname", "x"), "_hidden__name");
  EXPECT_EQ(SafeFileName("", "report"), "report");
  // Cut at a whole character: "é" is two bytes.
  EXPECT_EQ(SafeFileName("ab\xc3\xa9", "x", 3), "ab");
}

}  // namespace
}  // namespace vantrel
