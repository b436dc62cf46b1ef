// The watch-list data file: old versions, row order, the empty list, safe
// replacement and refused files.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "core/watch_list.h"
#include "storage/file_errors.h"
#include "storage/file_system.h"
#include "storage/file_system_format.h"
#include "support/test_files.h"
#include "watch_list_fixture.h"

namespace vantrel {
namespace {

using test::ReadFileBytes;
using test::TTempDir;

// Lowers the size limit for files of this process, so that writes beyond it
// fail with EFBIG the way a full disk fails them.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &Saved_);
    OldHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // otherwise the process dies
    rlimit lowered = Saved_;
    lowered.rlim_cur = bytes;
    Active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &Saved_);
    std::signal(SIGXFSZ, OldHandler_);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;
  bool Active() const { return Active_; }

 private:
  rlimit Saved_{};
  void (*OldHandler_)(int) = SIG_DFL;
  bool Active_ = false;
};

// The values of one item record as an older copy of the program wrote it.
struct TOldRecord {
  std::int32_t Id = 0;
  double Created = 45000.5;
  std::string Name = "old";
  std::string Url = "old.example.org";
  std::int32_t Frequency = 300;
  bool Active = true;
  bool AlarmTrigger = true;
  std::int32_t TriggerCount = 3;
  bool AlarmReset = true;
  std::int32_t ResetCount = 2;
  bool CheckExtra = true;       // from 2.10
  bool CheckConnection = true;  // from 1.02
  std::int32_t CheckType = 1;
  std::int32_t PingTimeout = 2500;
  std::int32_t DownloadTimeout = 7000;
  std::string SearchText = "Welcome";
  bool CaseSensitive = true;
  bool LogFailedPages = true;
  std::int32_t ServiceTimeout = 1500;  // from 2.10
  bool PopupAction = false;
  std::string PopupText = "gone";
  bool EmailAction = true;
  std::string EmailAddress = "ops@example.org";
  std::int32_t EmailType = 2;
  std::int32_t ReportId = 6;
  bool CommandAction = true;
  std::string Command = "notify";
  bool SoundAction = true;
  std::string SoundFile = "bell.wav";
  bool SoundRepeat = true;
  std::int32_t ServiceId = 17;  // these four from 2.00
  std::string Username = "jdoe";
  std::string UserEmail = "jane@example.org";
  std::string UserFullName = "Jane Doe";
};

// Writes `records` as a file of `version` (hundredths), with only the fields
// that version held.
void WriteOldFile(const std::filesystem::path& path, int version,
                  const std::vector<TOldRecord>& records, const char* signature = "VTD") {
  TxxFileSystem file(path.string(), signature, version / 100.0, kDataPassPhrase);
  file.Open(omCreate);
  file.WriteInteger(static_cast<std::int32_t>(records.size()));
  for (const TOldRecord& r : records) {
    file.WriteInteger(r.Id);
    file.WriteDouble(r.Created);
    file.WriteString(r.Name);
    file.WriteString(r.Url);
    file.WriteInteger(r.Frequency);
    file.WriteByte(r.Active);
    file.WriteByte(r.AlarmTrigger);
    file.WriteInteger(r.TriggerCount);
    file.WriteByte(r.AlarmReset);
    file.WriteInteger(r.ResetCount);
    if (version >= 210)
      file.WriteByte(r.CheckExtra);
    if (version >= 102)
      file.WriteByte(r.CheckConnection);
    file.WriteInteger(r.CheckType);
    file.WriteInteger(r.PingTimeout);
    file.WriteInteger(r.DownloadTimeout);
    file.WriteString(r.SearchText);
    file.WriteByte(r.CaseSensitive);
    file.WriteByte(r.LogFailedPages);
    if (version >= 210)
      file.WriteInteger(r.ServiceTimeout);
    file.WriteByte(r.PopupAction);
    file.WriteString(r.PopupText);
    file.WriteByte(r.EmailAction);
    file.WriteString(r.EmailAddress);
    file.WriteInteger(r.EmailType);
    file.WriteInteger(r.ReportId);
    file.WriteByte(r.CommandAction);
    file.WriteString(r.Command);
    file.WriteByte(r.SoundAction);
    file.WriteString(r.SoundFile);
    file.WriteByte(r.SoundRepeat);
    if (version >= 200) {
      file.WriteInteger(r.ServiceId);
      file.WriteString(r.Username);
      file.WriteString(r.UserEmail);
      file.WriteString(r.UserFullName);
    }
  }
  file.Close();
}

// The header's version text of a data file.
std::string VersionText(const std::filesystem::path& path) {
  TxxFileSystem file(path.string(), kWatchListSignature, kWatchListVersion, kDataPassPhrase);
  file.Open(omRead);
  const double version = file.Version();
  file.Close();
  return std::to_string(static_cast<int>(version * 100 + 0.5));
}

// The folder comes first, so that it exists when the list is given its file.
struct TDataFolder {
  TTempDir Dir;
};

class WatchListFile : protected TDataFolder, public test::TWatchListFixture {
 protected:
  WatchListFile() : TWatchListFixture((Dir / "vantrel.vtd").string()) {}

  std::filesystem::path Path() const { return List.FileName(); }

  // A second list on the same file, as the next start of the program sees it.
  struct TNextStart {
    explicit TNextStart(const std::string& fileName)
        : List(ItemView, fileName, DetailsView, Clock, [] { return TPreferences(); }) {}
    TManualClock Clock;
    TMemoryItemView ItemView;
    TMemoryDetailsView DetailsView;
    TWatchList List;
  };
};

// Checks the fields every version holds.
void ExpectCommonFields(const TWatchItem& item, const TOldRecord& r) {
  EXPECT_EQ(item.Id(), r.Id);
  EXPECT_EQ(item.Created, r.Created);
  EXPECT_EQ(item.Name, r.Name);
  EXPECT_EQ(item.Url, r.Url);
  EXPECT_EQ(item.Frequency(), r.Frequency);
  EXPECT_EQ(item.Active(), r.Active);
  EXPECT_EQ(item.AlarmTrigger, r.AlarmTrigger);
  EXPECT_EQ(item.TriggerCount, r.TriggerCount);
  EXPECT_EQ(item.AlarmReset, r.AlarmReset);
  EXPECT_EQ(item.ResetCount, r.ResetCount);
  EXPECT_EQ(static_cast<int>(item.CheckType), r.CheckType);
  EXPECT_EQ(item.PingTimeout, r.PingTimeout);
  EXPECT_EQ(item.DownloadTimeout, r.DownloadTimeout);
  EXPECT_EQ(item.SearchText, r.SearchText);
  EXPECT_EQ(item.CaseSensitive, r.CaseSensitive);
  EXPECT_EQ(item.LogFailedPages, r.LogFailedPages);
  EXPECT_EQ(item.PopupAction, r.PopupAction);
  EXPECT_EQ(item.PopupText, r.PopupText);
  EXPECT_EQ(item.EmailAction, r.EmailAction);
  EXPECT_EQ(item.EmailAddress, r.EmailAddress);
  EXPECT_EQ(static_cast<int>(item.EmailType), r.EmailType);
  EXPECT_EQ(item.ReportId, r.ReportId);
  EXPECT_EQ(item.CommandAction, r.CommandAction);
  EXPECT_EQ(item.Command, r.Command);
  EXPECT_EQ(item.SoundAction, r.SoundAction);
  EXPECT_EQ(item.SoundFile, r.SoundFile);
  EXPECT_EQ(item.SoundRepeat, r.SoundRepeat);
}

void ExpectServiceFields(const TWatchItem& item, const TOldRecord& r) {
  EXPECT_EQ(item.ServiceId, r.ServiceId);
  EXPECT_EQ(item.Username, r.Username);
  EXPECT_EQ(item.UserEmail, r.UserEmail);
  EXPECT_EQ(item.UserFullName, r.UserFullName);
}

void ExpectNoServiceFields(const TWatchItem& item) {
  EXPECT_EQ(item.ServiceId, 0);
  EXPECT_EQ(item.Username, "");
  EXPECT_EQ(item.UserEmail, "");
  EXPECT_EQ(item.UserFullName, "");
}

// --- Versions ---------------------------------------------------------------

TEST_F(WatchListFile, Version100LacksConnectionTestRetriesServiceTimeoutAndUser) {
  TOldRecord r;
  r.Id = 4;
  WriteOldFile(Path(), 100, {r});
  List.LoadFromFile();
  ASSERT_EQ(List.Count(), 1);
  const TWatchItem& item = List.Item(0);
  ExpectCommonFields(item, r);
  EXPECT_FALSE(item.CheckConnection);
  EXPECT_FALSE(item.CheckExtra);
  EXPECT_EQ(item.ServiceTimeout, 4000);
  ExpectNoServiceFields(item);
}

TEST_F(WatchListFile, Version102AddsTheConnectionTest) {
  TOldRecord r;
  r.Id = 4;
  WriteOldFile(Path(), 102, {r});
  List.LoadFromFile();
  ASSERT_EQ(List.Count(), 1);
  const TWatchItem& item = List.Item(0);
  ExpectCommonFields(item, r);
  EXPECT_TRUE(item.CheckConnection);
  EXPECT_FALSE(item.CheckExtra);
  EXPECT_EQ(item.ServiceTimeout, 4000);
  ExpectNoServiceFields(item);

  // The next save writes the current version with every field.
  List.SaveToFile();
  EXPECT_EQ(VersionText(Path()), "210");
  TNextStart next(Path().string());
  next.List.LoadFromFile();
  ASSERT_EQ(next.List.Count(), 1);
  ExpectCommonFields(next.List.Item(0), r);
  EXPECT_EQ(next.List.Item(0).ServiceTimeout, 4000);
}

TEST_F(WatchListFile, Version200AddsTheWebServiceFields) {
  TOldRecord r;
  r.Id = 4;
  WriteOldFile(Path(), 200, {r});
  List.LoadFromFile();
  ASSERT_EQ(List.Count(), 1);
  const TWatchItem& item = List.Item(0);
  ExpectCommonFields(item, r);
  EXPECT_TRUE(item.CheckConnection);
  EXPECT_FALSE(item.CheckExtra);
  EXPECT_EQ(item.ServiceTimeout, 4000);
  ExpectServiceFields(item, r);
}

TEST_F(WatchListFile, Version210HoldsEveryField) {
  TOldRecord r;
  r.Id = 4;
  TOldRecord suspended;
  suspended.Id = 9;
  suspended.Name = "paused";
  suspended.Active = false;
  WriteOldFile(Path(), 210, {r, suspended});
  List.LoadFromFile();
  ASSERT_EQ(List.Count(), 2);
  const TWatchItem& item = List.Item(0);
  ExpectCommonFields(item, r);
  EXPECT_TRUE(item.CheckConnection);
  EXPECT_TRUE(item.CheckExtra);
  EXPECT_EQ(item.ServiceTimeout, 1500);
  ExpectServiceFields(item, r);
  ExpectCommonFields(List.Item(1), suspended);
  EXPECT_EQ(List.Item(1).Status(), TWatchStatus::Suspended);
}

// --- Loading ------------------------------------------------------------------

TEST_F(WatchListFile, LoadedItemsAreDueAtOnceAndTheFirstRowIsSelected) {
  TOldRecord a;
  a.Id = 3;
  a.Name = "a";
  TOldRecord b;
  b.Id = 12;
  b.Name = "b";
  WriteOldFile(Path(), 210, {a, b});
  Add("replaced");
  List.LoadFromFile();
  EXPECT_EQ(CollectionNames(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(List.Item(0).NextRun(), Clock.Now());
  EXPECT_EQ(List.Item(0).LastChecked(), 0);
  EXPECT_EQ(ItemView.FirstSelectedRow(), 0);
  EXPECT_EQ(ItemView.SelectedCount(), 1);
  EXPECT_EQ(DetailsView.Value("Name"), "Jane Doe_a");
  EXPECT_EQ(ItemView.Row(0).Caption, "jdoe_a");
  EXPECT_EQ(List.UpdateCount(), 0);
  EXPECT_EQ(ItemView.UpdateDepth(), 0);
  // The next Id follows the highest in the file.
  EXPECT_EQ(Add("new").Id(), 13);
  EXPECT_EQ(List.IndexOfId(12), 1);
}

TEST_F(WatchListFile, MissingFileLeavesTheListAsItIs) {
  Add("kept");
  List.SetModified(false);
  List.LoadFromFile();
  EXPECT_EQ(CollectionNames(), std::vector<std::string>{"kept"});
  EXPECT_FALSE(List.Modified());
}

TEST_F(WatchListFile, WrongSignatureIsRefusedWithTheFileName) {
  WriteOldFile(Path(), 210, {TOldRecord{}}, "VTX");
  Add("gone");
  try {
    List.LoadFromFile();
    ADD_FAILURE() << "no error";
  } catch (const EDataFileError& error) {
    EXPECT_EQ(error.Reason(), kWrongFileFormat);
    EXPECT_EQ(error.FileName(), Path().string());
    EXPECT_NE(std::string(error.what()).find(Path().string()), std::string::npos);
    EXPECT_NE(std::string(error.what()).find("Wrong file format."), std::string::npos);
  }
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(ItemView.RowCount(), 0);
  EXPECT_EQ(List.UpdateCount(), 0);
  EXPECT_EQ(ItemView.UpdateDepth(), 0);
}

TEST_F(WatchListFile, NewerVersionIsRefused) {
  WriteOldFile(Path(), 220, {TOldRecord{}});
  EXPECT_THROW(
      {
        try {
          List.LoadFromFile();
        } catch (const EDataFileError& error) {
          EXPECT_EQ(error.Reason(), kWrongFileVersion);
          throw;
        }
      },
      EDataFileError);
}

TEST_F(WatchListFile, LoadThatFailsPartWayKeepsTheItemsReadSoFar) {
  TOldRecord a;
  a.Id = 1;
  a.Name = "a";
  TOldRecord b;
  b.Id = 2;
  b.Name = "b";
  WriteOldFile(Path(), 210, {a, b});
  // Cut the file inside the second record.
  const std::string bytes = ReadFileBytes(Path());
  test::ShrinkFile(Path(), bytes.size() - 20);
  EXPECT_THROW(List.LoadFromFile(), EInOutError);
  EXPECT_EQ(CollectionNames(), std::vector<std::string>{"a"});
  EXPECT_EQ(RowNames(), std::vector<std::string>{"a"});
  EXPECT_EQ(List.UpdateCount(), 0);
  EXPECT_EQ(ItemView.UpdateDepth(), 0);
}

// --- Saving -------------------------------------------------------------------

TEST_F(WatchListFile, SaveWritesTheItemsInRowOrder) {
  for (const char* name : {"a", "b", "c"})
    Add(name);
  ItemView.Reorder({2, 0, 1});
  List.SaveToFile();
  EXPECT_FALSE(List.Modified());
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Path()) += ".tmp"));

  TNextStart next(Path().string());
  next.List.LoadFromFile();
  ASSERT_EQ(next.List.Count(), 3);
  EXPECT_EQ(next.List.Item(0).Name, "c");
  EXPECT_EQ(next.List.Item(1).Name, "a");
  EXPECT_EQ(next.List.Item(2).Name, "b");
  EXPECT_EQ(next.List.Item(0).Id(), 3);
  EXPECT_EQ(next.List.Item(1).Id(), 1);
}

TEST_F(WatchListFile, EverySettingSurvivesSaveAndLoad) {
  TWatchItem source(Clock);
  source.Name = "shop";
  source.Url = "https://shop.example.org/";
  source.SetFrequency(90);
  source.AlarmTrigger = true;
  source.TriggerCount = 4;
  source.CheckExtra = true;
  source.CheckType = TCheckType::Ftp;
  source.ServiceTimeout = 3500;
  source.EmailType = TEmailType::Sms;
  source.ReportId = 2;
  source.SoundFile = "ring.wav";
  source.ServiceId = 8;
  source.Username = "jdoe";
  source.UserFullName = "Jane Doe";
  source.PopupText = std::string(70'000, 'x');  // longer than a short text
  source.SetActive(false);
  const TWatchItem& saved = List.AddItem(source);
  List.SaveToFile();

  TNextStart next(Path().string());
  next.List.LoadFromFile();
  ASSERT_EQ(next.List.Count(), 1);
  const TWatchItem& item = next.List.Item(0);
  EXPECT_EQ(item.Id(), saved.Id());
  EXPECT_EQ(item.Created, saved.Created);
  EXPECT_EQ(item.Url, "https://shop.example.org/");
  EXPECT_EQ(item.Frequency(), 90);
  EXPECT_TRUE(item.AlarmTrigger);
  EXPECT_EQ(item.TriggerCount, 4);
  EXPECT_TRUE(item.CheckExtra);
  EXPECT_EQ(item.CheckType, TCheckType::Ftp);
  EXPECT_EQ(item.ServiceTimeout, 3500);
  EXPECT_EQ(item.EmailType, TEmailType::Sms);
  EXPECT_EQ(item.ReportId, 2);
  EXPECT_EQ(item.SoundFile, "ring.wav");
  EXPECT_EQ(item.ServiceId, 8);
  EXPECT_EQ(item.UserFullName, "Jane Doe");
  EXPECT_EQ(item.PopupText.size(), 70'000u);
  EXPECT_FALSE(item.Active());
  EXPECT_EQ(item.Status(), TWatchStatus::Suspended);
}

TEST_F(WatchListFile, ListWithEveryItemDeletedIsSavedEmpty) {
  Add("a");
  Add("b");
  List.SaveToFile();
  SelectOnly({0, 1});
  List.DeleteSelected();
  List.SaveToFile();
  EXPECT_FALSE(List.Modified());

  TNextStart next(Path().string());
  next.List.LoadFromFile();
  EXPECT_EQ(next.List.Count(), 0);
  EXPECT_EQ(next.ItemView.RowCount(), 0);
}

TEST_F(WatchListFile, UnmodifiedListIsNotWritten) {
  Add("a");
  List.SaveToFile();
  std::filesystem::remove(Path());
  List.SaveToFile();
  EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_F(WatchListFile, LoadedListIsRewrittenEvenUnchanged) {
  WriteOldFile(Path(), 102, {TOldRecord{}});
  List.LoadFromFile();
  EXPECT_TRUE(List.Modified());
  List.SaveToFile();
  EXPECT_EQ(VersionText(Path()), "210");
}

TEST_F(WatchListFile, FailedSaveKeepsTheOldFileAndTheModifiedFlag) {
  Add("a");
  List.SaveToFile();
  const std::string before = ReadFileBytes(Path());
  for (int i = 0; i < 20; ++i)
    Add("more" + std::to_string(i));
  ASSERT_TRUE(List.Modified());
  {
    TFileSizeLimit limit(before.size() + 10);
    ASSERT_TRUE(limit.Active());
    EXPECT_THROW(List.SaveToFile(), EInOutError);
  }
  EXPECT_TRUE(List.Modified());
  EXPECT_EQ(ReadFileBytes(Path()), before);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Path()) += ".tmp"));
  // Once the disk has room again, the save goes through.
  List.SaveToFile();
  TNextStart next(Path().string());
  next.List.LoadFromFile();
  EXPECT_EQ(next.List.Count(), 21);
}

}  // namespace
}  // namespace vantrel
