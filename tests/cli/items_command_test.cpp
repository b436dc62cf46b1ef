// The items commands, run in this process on a temporary data folder: what
// they leave in the watch list and the history, and what they refuse; and
// how a CSV header names the fields `items import` reads.

#include "cli/items_command.h"
#include "cli/item_records.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/data_folder_lock.h"
#include "cli/loaded_watch_list.h"
#include "every_item_option.h"
#include "platform/date_time.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using Args = std::vector<std::string>;

class ItemsCommandTest : public ::testing::Test {
 protected:
  // `items args...` on `folder` (Folder when none), reading `input` for "-";
  // what it printed is in Out.
  int Items(const Args& args, const test::TTempDir* folder = nullptr,
            const std::string& input = {}) {
    Out.str("");
    std::istringstream in(input);
    return ItemsCommand({.DataDir = (folder != nullptr ? folder : &Folder)->Path(),
                         .Out = Out,
                         .Err = Err,
                         .In = in},
                        args);
  }

  // The new item's Id, as `items add` prints it.
  std::int32_t Add(Args options) {
    options.insert(options.begin(), "add");
    EXPECT_EQ(Items(options), kExitOk) << Err.str();
    return std::stoi(Out.str());
  }

  // The folder's files, as the next command loads them.
  std::unique_ptr<TLoadedWatchList> Files() {
    auto files = std::make_unique<TLoadedWatchList>(Folder.Path(), Settings, Err);
    files->ReplayHistory();
    return files;
  }

  void WriteHistory(const std::vector<THistoryRecord>& records) {
    const auto files = Files();
    for (const THistoryRecord& record : records)
      files->History().Add(record);
    files->History().Flush();
  }

  std::size_t RecordsOf(std::uint32_t id) {
    THistoryArray records;
    Files()->History().GetHistory(id, records, 0, NowDateTime() + 1);
    return records.size();
  }

  static THistoryRecord Record(std::uint32_t id, bool success) {
    return {id, success, NowDateTime() - 0.01, success ? 20 : -1, success ? 200 : 408};
  }

  test::TTempDir Folder;
  TSettings Settings;
  std::ostringstream Out;
  std::ostringstream Err;
};

TEST_F(ItemsCommandTest, AddSetSuspendRemoveRoundTripThroughTheFile) {
  EXPECT_EQ(Add({"--url", "http://127.0.0.1:9/", "--name", "Site"}), 1);
  EXPECT_EQ(Add({"--url", "127.0.0.1", "--frequency", "5m"}), 2);
  ASSERT_EQ(Items({"set", "1", "--name", "Web site", "--frequency", "2h"}), kExitOk);
  ASSERT_EQ(Items({"suspend", "2"}), kExitOk);
  {
    const auto files = Files();
    const TWatchItem& site = files->ItemOfId(1);
    EXPECT_EQ(site.Name, "Web site");
    EXPECT_EQ(site.Url, "http://127.0.0.1:9/");
    EXPECT_EQ(site.CheckType, TCheckType::Download);  // an http URL without --type
    EXPECT_EQ(site.Frequency(), 7200);
    const TWatchItem& host = files->ItemOfId(2);
    EXPECT_EQ(host.Name, "127.0.0.1");  // the URL when no name is given
    EXPECT_EQ(host.CheckType, TCheckType::Ping);
    EXPECT_EQ(host.Status(), TWatchStatus::Suspended);
  }
  ASSERT_EQ(Items({"list"}), kExitOk);
  for (const char* text : {"Web site", "2 hour(s)", "by Download", "Suspended"})
    EXPECT_NE(Out.str().find(text), std::string::npos) << text << " missing in\n" << Out.str();

  ASSERT_EQ(Items({"remove", "1"}), kExitOk);
  ASSERT_EQ(Files()->List().Count(), 1);
  EXPECT_EQ(Files()->List().Item(0).Id(), 2);
}

// Item 7 was deleted without its history.
TEST_F(ItemsCommandTest, ListRebuildsStatisticsAddSkipsIdsInTheHistoryRemoveDeletesOnlyItsOwn) {
  ASSERT_EQ(Add({"--url", "127.0.0.1"}), 1);
  ASSERT_EQ(Add({"--url", "127.0.0.2"}), 2);
  WriteHistory(
      {Record(1, true), Record(1, false), Record(2, true), Record(1, true), Record(7, true)});
  ASSERT_EQ(Items({"list"}), kExitOk);
  EXPECT_NE(Out.str().find("33%"), std::string::npos) << Out.str();
  EXPECT_EQ(Add({"--url", "127.0.0.3"}), 8);

  EXPECT_THROW(Items({"remove", "1", "5"}), std::runtime_error);
  EXPECT_EQ(Files()->List().Count(), 3);
  EXPECT_EQ(RecordsOf(1), 3u);

  ASSERT_EQ(Items({"remove", "1"}), kExitOk);
  EXPECT_EQ(RecordsOf(1), 0u);
  EXPECT_EQ(RecordsOf(2), 1u);
  EXPECT_EQ(RecordsOf(7), 1u);
}

// Every setting an item can have survives export and import into an empty
// folder: texts with commas, quotes and line breaks included, and actions
// switched off that keep their values.
TEST_F(ItemsCommandTest, ExportThenImportIntoAnEmptyFolderGivesTheSameItemsAndSettings) {
  ASSERT_EQ(Add(test::EveryItemOption()), 1);
  ASSERT_EQ(Add({"--url", "192.0.2.1", "--alarm-trigger", "3", "--no-alarm-trigger", "--email",
                 "c@x.test", "--no-email", "--command", "x", "--no-command"}),
            2);
  ASSERT_EQ(Items({"export", "--out", (Folder / "list.json").string()}), kExitOk);

  test::TTempDir other;
  ASSERT_EQ(Items({"import", (Folder / "list.json").string()}, &other), kExitOk) << Err.str();
  EXPECT_EQ(Out.str(), "1\n2\n");
  ASSERT_EQ(Items({"export"}, &other), kExitOk);
  const auto settings = [](const std::string& json) {
    QJsonArray items = QJsonDocument::fromJson(QByteArray::fromStdString(json)).array();
    for (QJsonValueRef item : items) {
      QJsonObject object = item.toObject();
      for (const char* identity : {"Id", "Created", "NextRun"})
        object.remove(identity);
      item = object;
    }
    return items;
  };
  const QJsonArray imported = settings(Out.str());
  ASSERT_EQ(imported.size(), 2);
  EXPECT_EQ(imported, settings(test::ReadFileBytes(Folder / "list.json")));
}

TEST_F(ItemsCommandTest, ImportOfABadRecordAddsNothingAndNamesTheRecordAndTheField) {
  ASSERT_EQ(Add({"--url", "127.0.0.1"}), 1);
  const std::string before = test::ReadFileBytes(Folder / "vantrel.vtd");
  const std::pair<std::string, std::string> files[] = {
      {"Url,Name,Frequency\na.test,A,5m\nb.test,B,60h\nc.test,C,5m\n",
       "standard input: record 2: Frequency: 60h is out of range (1 second to 59 hours)"},
      {R"([{"Url": "a.test"}, {"Url": "b.test", "Active": "yes"}, {"Url": "c.test"}])",
       "standard input: record 2: Active: 'yes' is not true or false"},
  };
  for (const auto& [file, message] : files) {
    try {
      Items({"import", "-"}, nullptr, file);
      ADD_FAILURE() << "accepted " << file;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
    EXPECT_EQ(test::ReadFileBytes(Folder / "vantrel.vtd"), before);
  }
}

// Which option values are wrong is the option tests'; one of them stands for all here.
TEST_F(ItemsCommandTest, WrongCommandLineIsRefusedBeforeTheFolderIsTouched) {
  for (const Args& args : std::vector<Args>{{"add", "--url", "x", "--frequency", "0"},
                                            {"add", "--name", "no address"},
                                            {"set", "1"},
                                            {"set", "one", "--name", "x"},
                                            {"suspend"},
                                            {"list", "now"},
                                            {"frobnicate"},
                                            {}}) {
    EXPECT_THROW(Items(args), EUsageError) << testing::PrintToString(args);
    EXPECT_FALSE(std::filesystem::exists(Folder / "vantrel.vtd"));
  }
}

TEST_F(ItemsCommandTest, EveryEditRefusesWhileAnotherHolderHasTheFolderAndNamesIt) {
  ASSERT_EQ(Add({"--url", "127.0.0.1"}), 1);
  TDataFolderLock holder(Folder.Path(), "test holder");
  ASSERT_TRUE(holder.TryLock());
  for (const Args& args : std::vector<Args>{{"add", "--url", "127.0.0.2"},
                                            {"set", "1", "--name", "x"},
                                            {"remove", "1"},
                                            {"suspend", "1"},
                                            {"activate", "1"}}) {
    try {
      Items(args);
      ADD_FAILURE() << args[0] << " was not refused";
    } catch (const EFolderInUse& refused) {
      EXPECT_NE(std::string(refused.what()).find("(test holder on "), std::string::npos)
          << refused.what();
    }
  }
  holder.Unlock();
  ASSERT_EQ(Files()->List().Count(), 1);
  EXPECT_EQ(Files()->List().Item(0).Name, "127.0.0.1");
}

TEST(ItemRecords, CsvHeaderNamesKnownFieldsOnceAndTheUrl) {
  const std::pair<std::string, std::string> cases[] = {
      {"Url,Name\nx.test,X\n", "Name=X Url=x.test "},
      // Any letter case; blanks around names; a byte-order mark; CR LF.
      {"\xEF\xBB\xBF url , NAME\r\nx.test,X\r\n", "Name=X Url=x.test "},
      // Columns of the export that are no setting are skipped; empty cells too.
      {"Id,Url,TimesChecked,Name\n7,x.test,3,\n", "Url=x.test "},
      {"Name,\"Url\"\n\"X, \"\"the\"\"\nsite\",x.test\n", "Name=X, \"the\"\nsite Url=x.test "},
      {"Url,Nmae\nx.test,X\n", "header: unknown field 'Nmae' (did you mean Name?)"},
      {"Url,Name,url\n", "header: field url named twice"},
      {"Url,,Name\n", "header: column 2 has no name"},
      {"Name,Frequency\nX,60\n", "header: no Url column (the URL or host of each item)"},
      {"Url,Name\nx.test\n", "record 1: 1 cells where the header names 2"},
      {"Url,Name\nx.test,\"X\n", "record 1: a quoted cell is not closed"},
      {"Url,Name\nx.test,\"X\"Y\n", "record 1: text after the closing quote of a cell"},
      {"\n\n", "no header row naming the fields (Url, Name, Frequency ...)"},
  };
  for (const auto& [csv, expected] : cases) {
    std::string read;
    try {
      for (const TItemRecord& record : ReadCsvRecords(csv)) {
        for (const auto& [field, value] : record.Fields)
          read += field + "=" + value + " ";
      }
    } catch (const EImportError& e) {
      read = e.what();
    }
    EXPECT_EQ(read, expected) << csv;
  }
}

}  // namespace
}  // namespace vantrel
