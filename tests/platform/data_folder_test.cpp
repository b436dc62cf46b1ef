#include "platform/data_folder.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class DataFolderTest : public ::testing::Test {
 protected:
  test::TTempDir dir_;
  TDataFolderSources sources_{
      std::nullopt, std::nullopt, {}, std::nullopt, (dir_ / "home").string()};
};

TEST_F(DataFolderTest, CommandLineWinsOverEverythingAndIsCreated) {
  sources_.CommandLine = dir_ / "cli" / "nested";
  sources_.VantrelHome = (dir_ / "env").string();
  sources_.ProgramFolder = dir_.Path();
  EXPECT_EQ(ResolveDataFolder(sources_), dir_ / "cli" / "nested");
  EXPECT_TRUE(fs::is_directory(dir_ / "cli" / "nested"));
}

TEST_F(DataFolderTest, EnvironmentWinsOverTheProgramFolder) {
  sources_.VantrelHome = (dir_ / "env").string();
  sources_.ProgramFolder = dir_.Path();
  EXPECT_EQ(ResolveDataFolder(sources_), dir_ / "env");
}

TEST_F(DataFolderTest, WritableProgramFolderIsUsed) {
  sources_.ProgramFolder = dir_.Path();
  EXPECT_EQ(ResolveDataFolder(sources_), dir_.Path());
}

TEST_F(DataFolderTest, UnwritableProgramFolderFallsBackToXdgThenHome) {
  sources_.ProgramFolder = dir_ / "missing-program-folder";
  sources_.XdgDataHome = (dir_ / "xdg").string();
  EXPECT_EQ(ResolveDataFolder(sources_), dir_ / "xdg" / "vantrel");
  sources_.XdgDataHome = "relative/path";  // ignored, as relative XDG paths must be
  EXPECT_EQ(ResolveDataFolder(sources_), dir_ / "home" / ".local" / "share" / "vantrel");
  sources_.Home.reset();
  EXPECT_THROW(ResolveDataFolder(sources_), std::runtime_error);
}

TEST_F(DataFolderTest, FolderThatCannotBeMadeIsAClearError) {
  test::WriteFileBytes(dir_ / "file", "x");
  sources_.CommandLine = dir_ / "file" / "sub";
  try {
    ResolveDataFolder(sources_);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find((dir_ / "file" / "sub").string()), std::string::npos);
  }
}

TEST_F(DataFolderTest, DataFilesShareOneName) {
  SetDataFolder(dir_.Path());
  EXPECT_EQ(DataFile(".ini"), dir_ / "vantrel.ini");
  EXPECT_EQ(DataFile(".vth"), dir_ / "vantrel.vth");
}

}  // namespace
}  // namespace vantrel
