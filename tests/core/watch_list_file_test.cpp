// The watch-list data file: files of older versions (checked in under
// tests/data), row order, the empty list, safe replacement and refused files.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/watch_list.h"
#include "storage/file_errors.h"
#include "storage/file_system.h"
#include "storage/file_system_format.h"
#include "support/faulty_file_ops.h"
#include "support/test_files.h"
#include "watch_list_fixture.h"

namespace vantrel {
namespace {

using Texts = std::vector<std::string>;
using test::ReadFileBytes;

int VersionOf(const std::filesystem::path& path) {
  TxxFileSystem file(path.string(), kWatchListSignature, kWatchListVersion, kDataPassPhrase);
  file.Open(omRead);
  const double version = file.Version();
  file.Close();
  return static_cast<int>(version * 100 + 0.5);
}

// The folder comes first, so that it exists when the list is given its file.
struct TDataFolder {
  test::TTempDir Dir;
};

class WatchListFile : protected TDataFolder, public test::TWatchListFixture {
 protected:
  WatchListFile() : TWatchListFixture((Dir / "vantrel.vtd").string()) {}

  std::filesystem::path Path() const { return List.FileName(); }

  // A watch list an older version wrote (tests/data), as the list's file.
  void UseOldFile(const std::string& version) const {
    std::filesystem::copy_file(test::TestDataFile("watch_list_v" + version + ".vtd"), Path(),
                               std::filesystem::copy_options::overwrite_existing);
  }
};

TEST_F(WatchListFile, EachOldVersionIsReadWithTheFieldsItHeldAndRewrittenAsTheCurrentOne) {
  const std::pair<const char*, int> versions[] = {
      {"1_00", 100}, {"1_02", 102}, {"2_00", 200}, {"2_10", 210}};
  for (const auto& [file, version] : versions) {
    SCOPED_TRACE(file);
    UseOldFile(file);
    List.LoadFromFile();
    ASSERT_EQ(List.Count(), 2);
    TWatchItem expected(Clock);
    test::FillSettings(expected);
    if (version < 102)
      expected.CheckConnection = false;
    if (version < 200) {
      expected.ServiceId = 0;
      expected.Username = expected.UserEmail = expected.UserFullName = "";
    }
    if (version < 210) {
      expected.CheckExtra = false;
      expected.ServiceTimeout = 4000;
    }
    EXPECT_EQ(List.Item(0).Id(), 3);
    EXPECT_EQ(test::SettingsOf(List.Item(0)), test::SettingsOf(expected));
    EXPECT_EQ(List.Item(0).Status(), TWatchStatus::Suspended);
    // Loaded unchanged, the list is still rewritten in the current version.
    EXPECT_TRUE(List.Modified());
    List.SaveToFile();
    EXPECT_EQ(VersionOf(Path()), 210);
    test::TSavedList next(Dir.Path());
    ASSERT_EQ(next.List.Count(), 2);
    EXPECT_EQ(test::SettingsOf(next.List.Item(0)), test::SettingsOf(expected));
  }
}

TEST_F(WatchListFile, LoadedItemsAreDueAtOnceTheFirstRowIsSelectedAndIdsFollowTheHighest) {
  UseOldFile("2_10");
  Add("replaced");
  List.LoadFromFile();
  EXPECT_EQ(CollectionNames(), (Texts{"shop", "b"}));
  EXPECT_EQ(RowNames(), (Texts{"shop", "b"}));
  EXPECT_EQ(List.Item(1).NextRun(), Clock.Now());
  EXPECT_EQ(List.Item(1).LastChecked(), 0);
  EXPECT_EQ(ItemView.FirstSelectedRow(), 0);
  EXPECT_EQ(ItemView.SelectedCount(), 1);
  EXPECT_EQ(DetailsView.Value("URL/IP"), "https://shop.example.org/");
  EXPECT_EQ(ItemView.Row(0).Caption, "jdoe_shop");
  EXPECT_EQ(List.UpdateCount(), 0);
  EXPECT_EQ(ItemView.UpdateDepth(), 0);
  EXPECT_EQ(Add("new").Id(), 13);
  EXPECT_EQ(List.IndexOfId(12), 1);
}

TEST_F(WatchListFile, RefusedOrCutFileLeavesTheItemsReadSoFar) {
  UseOldFile("2_10");
  test::ShrinkFile(Path(), ReadFileBytes(Path()).size() - 20);  // inside the second record
  EXPECT_THROW(List.LoadFromFile(), EInOutError);
  EXPECT_EQ(CollectionNames(), Texts{"shop"});
  EXPECT_EQ(RowNames(), Texts{"shop"});

  const struct {
    const char* Signature;
    double Version;
    std::string Reason;
  } cases[] = {{"VTX", 2.1, kWrongFileFormat}, {"VTD", 2.2, kWrongFileVersion}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Signature);
    TxxFileSystem header(Path().string(), c.Signature, c.Version, kDataPassPhrase);
    header.Open(omCreate);
    header.Close();
    try {
      List.LoadFromFile();
      ADD_FAILURE() << "no error";
    } catch (const EDataFileError& error) {
      EXPECT_EQ(error.Reason(), c.Reason);
      EXPECT_EQ(error.FileName(), Path().string());
      EXPECT_NE(std::string(error.what()).find(Path().string()), std::string::npos);
    }
    EXPECT_EQ(List.Count(), 0);
    EXPECT_EQ(ItemView.RowCount(), 0);
    EXPECT_EQ(List.UpdateCount(), 0);
    EXPECT_EQ(ItemView.UpdateDepth(), 0);
  }
}

// A count below the records that follow it is damage, not the end of the list: the counted
// items load, and the load fails so that the file is not saved over.
TEST_F(WatchListFile, RecordsAfterTheCountedItemsFailTheLoad) {
  for (const std::int32_t count : {0, -1, 1}) {
    SCOPED_TRACE(count);
    const std::filesystem::path start = Dir / "start";  // header and count only
    TxxFileSystem file(start.string(), kWatchListSignature, kWatchListVersion, kDataPassPhrase);
    file.Open(omCreate);
    file.WriteInteger(count);
    file.Close();
    List.Clear();
    Add("a");
    Add("b");
    List.SaveToFile();
    std::string bytes = ReadFileBytes(Path());
    bytes.replace(0, ReadFileBytes(start).size(), ReadFileBytes(start));
    test::WriteFileBytes(Path(), bytes);
    try {
      List.LoadFromFile();
      ADD_FAILURE() << "no error";
    } catch (const EDataFileError& error) {
      EXPECT_EQ(error.Reason(), kWrongFileFormat);
    }
    EXPECT_EQ(CollectionNames(), count > 0 ? Texts{"a"} : Texts{});
  }
}

TEST_F(WatchListFile, SaveWritesEverySettingInRowOrder) {
  TWatchItem source(Clock);
  test::FillSettings(source);
  source.PopupText = std::string(70'000, 'x');  // longer than a short text
  const TWatchItem& full = List.AddItem(source);
  Add("b");
  Add("c");
  ItemView.Reorder({2, 0, 1});
  List.SaveToFile();
  EXPECT_FALSE(List.Modified());
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Path()) += ".tmp"));

  test::TSavedList next(Dir.Path());
  ASSERT_EQ(next.List.Count(), 3);
  EXPECT_EQ(next.List.Item(0).Name, "c");
  EXPECT_EQ(next.List.Item(0).Id(), 3);
  EXPECT_EQ(next.List.Item(1).Id(), full.Id());
  EXPECT_EQ(test::SettingsOf(next.List.Item(1)), test::SettingsOf(full));
  EXPECT_EQ(next.List.Item(2).Name, "b");
}

TEST_F(WatchListFile, ListWithEveryItemDeletedIsSavedEmptyAndAnUnmodifiedOneNotAtAll) {
  Add("a");
  Add("b");
  List.SaveToFile();
  SelectOnly({0, 1});
  List.DeleteSelected();
  List.SaveToFile();
  EXPECT_FALSE(List.Modified());
  EXPECT_EQ(test::TSavedList(Dir.Path()).List.Count(), 0);

  std::filesystem::remove(Path());
  List.SaveToFile();
  EXPECT_FALSE(std::filesystem::exists(Path()));
}

// The save fails while writing, syncing or renaming: the old file stays whole,
// no temporary file is left, and the list stays modified for the next save.
TEST_F(WatchListFile, FailedSaveKeepsTheOldFileAndTheModifiedFlag) {
  Add("a");
  List.SaveToFile();
  const std::string before = ReadFileBytes(Path());
  for (int i = 0; i < 20; ++i)
    Add("more" + std::to_string(i));
  test::TFaultyFileOps ops;
  for (const test::TSaveFault& fault : test::kSaveFaults) {
    SCOPED_TRACE(fault.Name);
    fault.Arm(ops, before.size() + 10);
    EXPECT_THROW(List.SaveToFile(ops), EInOutError);
    ops.Heal();
    EXPECT_TRUE(List.Modified());
    EXPECT_EQ(ReadFileBytes(Path()), before);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Path()) += ".tmp"));
  }
  List.SaveToFile(ops);  // the disk works again
  EXPECT_EQ(test::TSavedList(Dir.Path()).List.Count(), 21);
}

}  // namespace
}  // namespace vantrel
