#include "platform/data_folder.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

TEST(DataFolder, FirstUsableSourceWinsAndIsCreated) {
  test::TTempDir dir;
  TDataFolderSources sources{dir / "cli" / "nested", (dir / "env").string(), dir.Path(),
                             (dir / "xdg").string(), (dir / "home").string()};
  EXPECT_EQ(ResolveDataFolder(sources), dir / "cli" / "nested");
  EXPECT_TRUE(fs::is_directory(dir / "cli" / "nested"));
  sources.CommandLine.reset();
  EXPECT_EQ(ResolveDataFolder(sources), dir / "env");
  sources.VantrelHome.reset();
  EXPECT_EQ(ResolveDataFolder(sources), dir.Path());  // a writable program folder
  sources.ProgramFolder = dir / "missing-program-folder";
  EXPECT_EQ(ResolveDataFolder(sources), dir / "xdg" / "vantrel");
  sources.XdgDataHome = "relative/path";  // ignored, as relative XDG paths must be
  EXPECT_EQ(ResolveDataFolder(sources), dir / "home" / ".local" / "share" / "vantrel");
  sources.Home.reset();
  EXPECT_THROW(ResolveDataFolder(sources), std::runtime_error);
}

TEST(DataFolder, FolderThatCannotBeMadeIsAnErrorNamingIt) {
  test::TTempDir dir;
  test::WriteFileBytes(dir / "file", "x");
  try {
    ResolveDataFolder({dir / "file" / "sub", {}, {}, {}, {}});
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find((dir / "file" / "sub").string()), std::string::npos);
  }
}

}  // namespace
}  // namespace vantrel
