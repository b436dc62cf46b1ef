// Documents for the desktop: one file in the private folder, readable by the
// user only, its extension kept however long its name.

#include "storage/private_document.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_env.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

TEST(PrivateDocumentTest, StaysInThePrivateFolderKeepsItsExtensionAndIsTheUsersAlone) {
  const test::TTempDir tmp;
  const test::TEnvGuard env("TMPDIR", tmp.Path().string());
  const std::filesystem::path folder = tmp / ("vantrel-" + std::to_string(::getuid()));
  const std::filesystem::path path =
      WritePrivateDocument("../" + std::string(300, 'n') + ".html", "<p>page</p>", "page");
  EXPECT_EQ(path.parent_path(), folder);
  EXPECT_EQ(path.extension(), ".html");
  EXPECT_EQ(path.filename().string().size(), 205u);
  EXPECT_EQ(test::ReadFileBytes(path), "<p>page</p>");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(WritePrivateDocument(".html", "x", "page").filename(), "page.html");
}

}  // namespace
}  // namespace vantrel
