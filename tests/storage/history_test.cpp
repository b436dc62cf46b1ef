#include "storage/history.h"
#include "storage/temp_history.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui_pump.h"
#include "storage/file_errors.h"
#include "storage/file_system.h"
#include "storage/file_system_format.h"
#include "support/faulty_file_ops.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::IncrementByte;
using test::ReadFileBytes;
using test::ShrinkFile;
using test::WriteFileBytes;

constexpr std::uint64_t kHeader = 9;
constexpr std::uint64_t kBlock = 23;

// The watch list as the histories see it. Items 1 and 2 are known to the web
// service as 101 and 102, item 3 is not (ServiceId 0).
class TFakeTarget : public THistoryTarget {
 public:
  void ApplyResult(const THistoryRecord& record) override { Applied.push_back(record); }
  void BeginReplay() override { ++Begins; }
  void EndReplay() override { ++Ends; }
  std::vector<TItemInfo> SummaryItems() const override { return Items; }
  std::optional<std::int32_t> ServiceIdOf(std::uint32_t id) const override {
    if (id > 3)
      return std::nullopt;
    return id == 3 ? 0 : static_cast<std::int32_t>(100 + id);
  }
  std::vector<std::uint32_t> SelectedItemIds() const override { return Selected; }

  THistoryArray Applied;
  int Begins = 0;
  int Ends = 0;
  std::vector<TItemInfo> Items;
  std::vector<std::uint32_t> Selected;
};

THistoryRecord Rec(std::uint32_t id, bool success, TDateTime date, std::int32_t time = 100,
                   std::int32_t code = 200) {
  return THistoryRecord{id, success, date, time, code};
}

// Records 1..count of items 1..3 in turn, one a day, every fourth a failure.
THistoryArray Sample(int count) {
  THistoryArray records;
  for (int i = 1; i <= count; ++i)
    records.push_back(Rec(i % 3 + 1, i % 4 != 0, 45000 + i, i * 10, i % 4 != 0 ? 200 : 500));
  return records;
}

THistoryArray Concat(THistoryArray a, const THistoryArray& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct THistoryFixture : testing::Test {
  // Written and read with the container directly, independently of the histories.
  void WriteFile(const THistoryArray& records) {
    TxxFileSystem file(Path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    file.Open(omCreate);
    for (const auto& record : records)
      file.WriteBuffer(EncodeHistoryRecord(record).data(), kHistoryRecordSize);
    file.Close();
  }
  THistoryArray ReadFile(const std::string& path = {}, const char* signature = kHistorySignature) {
    TxxFileSystem file(path.empty() ? Path : path, signature, 1.0, kDataPassPhrase);
    file.Open(omRead);
    THistoryArray records;
    for (unsigned char bytes[kHistoryRecordSize]; !file.Eof();) {
      file.ReadBuffer(bytes, sizeof bytes);
      records.push_back(DecodeHistoryRecord(bytes));
    }
    return records;
  }
  std::uint64_t FileSize() { return ReadFileBytes(Path).size(); }

  test::TTempDir Dir;
  std::string Path = Dir / "vantrel.vth";
  std::string Vtt = Dir / "vantrel.vtt";
  std::string Vt1 = Dir / "vantrel.vt1";
  std::string Temporary = Path + ".tmp";
  TFakeTarget Target;
  test::TFaultyFileOps Ops;
  std::vector<std::string> Reports;
  THistoryErrorReporter Reporter = [this](const std::string& message) {
    Reports.push_back(message);
  };
};

TEST(HistoryRecord, FieldsAreStoredLittleEndianAtTheirOffsets) {
  const THistoryRecord record = Rec(0x04030201, true, 45000.5, -2, 0x11223344);
  const THistoryRecordBytes bytes = EncodeHistoryRecord(record);
  std::string expected = "\x01\x02\x03\x04\x01";
  for (int i = 0; i < 8; ++i)
    expected += static_cast<char>(std::bit_cast<std::uint64_t>(45000.5) >> (8 * i));
  expected += std::string("\xFE\xFF\xFF\xFF\x44\x33\x22\x11", 8);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
  EXPECT_EQ(DecodeHistoryRecord(bytes.data()), record);
  EXPECT_EQ(EncodeHistoryRecord(Rec(1, false, 0))[4], 0);
}

// --- Adding, flushing, querying ------------------------------------------

TEST_F(THistoryFixture, DestructionFlushesAndAFailureGoesToTheReporter) {
  for (const char* path : {Path.c_str(), "/dev/full"}) {
    TWatchHistory history(Target, path, Reporter);
    history.Add(Rec(1, true, 45000));
  }
  EXPECT_EQ(ReadFile(), THistoryArray{Rec(1, true, 45000)});
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_NE(Reports[0].find("/dev/full"), std::string::npos);
}

TEST_F(THistoryFixture, HistoryFlushesFirstAndIncludesBothRangeEndsOfTheAskedItemOnly) {
  WriteFile({Rec(1, true, 9.5), Rec(1, true, 10), Rec(2, true, 11), Rec(1, false, 12),
             Rec(1, true, 20.001)});
  TWatchHistory history(Target, Path);
  history.Add(Rec(1, true, 20));
  THistoryArray result = {Rec(7, true, 1)};  // emptied first
  history.GetHistory(1, result, 10, 20);
  EXPECT_EQ(result, (THistoryArray{Rec(1, true, 10), Rec(1, false, 12), Rec(1, true, 20)}));
}

TEST_F(THistoryFixture, MissingFileIsAnEmptyHistoryAndDeletingStillDropsPendingRecords) {
  TWatchHistory history(Target, Path);
  THistoryArray result = {Rec(7, true, 1)};
  history.GetHistory(1, result, 0, 1e6);
  EXPECT_TRUE(result.empty());
  history.LoadStatistics();
  EXPECT_EQ(Target.Begins, 0);  // the items keep their statistics
  history.DeleteItems({1});
  EXPECT_FALSE(fs::exists(Path));
  history.Add(Rec(1, true, 10));
  history.Add(Rec(2, true, 11));
  history.DeleteItems({1});  // flushed first, so that they do not come back later
  EXPECT_EQ(ReadFile(), THistoryArray{Rec(2, true, 11)});
}

// --- Summaries -----------------------------------------------------------

// Records count for the first item of their id only, however large the id; an item without
// records in the range spans the range. A failure weighs the average down.
TEST_F(THistoryFixture, SummaryOfEveryItemOverTheRangeIncludingBothEnds) {
  Target.Items = {{5, "user_Site", "https://site.test/"},
                  {3, "first", ""},
                  {9, "other", ""},
                  {3, "second", ""},
                  {1u << 31, "large", ""}};
  WriteFile({Rec(5, true, 10, 100), Rec(5, false, 11, 0, 408), Rec(5, true, 12, 300),
             Rec(3, true, 5), Rec(3, true, 20), Rec(4, true, 11), Rec(9, true, 30),
             Rec(1u << 31, false, 15, 0, 500), Rec((1u << 31) + 1, true, 15)});
  TWatchHistory history(Target, Path);
  THistorySumArray sums;
  history.GetSummary(sums, 10, 20);
  EXPECT_EQ(sums,
            (THistorySumArray{{5, "user_Site", "https://site.test/", 10, 12, 166, 3, 1, 11, 12},
                              {3, "first", "", 20, 20, 100, 1, 0, 0, 20},
                              {9, "other", "", 10, 20},
                              {3, "second", "", 10, 20},
                              {1u << 31, "large", "", 15, 15, 0, 1, 1, 15, 0}}));
}

TEST_F(THistoryFixture, SummaryOfAnEmptyListReadsNoFileAndFlushesNothing) {
  WriteFileBytes(Path, "not a history file");
  TWatchHistory history(Target, Path, Reporter);
  history.Add(Rec(1, true, 10));
  THistorySumArray sums = {THistorySum{}};
  EXPECT_NO_THROW(history.GetSummary(sums, 0, 100));
  EXPECT_TRUE(sums.empty());
  EXPECT_EQ(history.PendingCount(), 1u);
  Target.Items = {{1, "a", ""}};
  EXPECT_THROW(history.GetSummary(sums, 0, 100), EDataFileError);
}

TEST(HistoryAverage, ProductIsSixtyFourBitAndDivisionTruncatesTowardZero) {
  const struct {
    std::int32_t Average, Count, Time, Expected;
  } cases[] = {{1000, 3'000'000, 3'001'001, 1001},  // 1000 * 3,000,000 is beyond 32 bits
               {30000, 2'147'483'646, 30000, 30000},
               {100, 2, 300, 166},
               {0, 0, 250, 250},
               {-5, 1, 0, -2}};
  for (const auto& c : cases)
    EXPECT_EQ(RunningAverage(c.Average, c.Count, c.Time), c.Expected)
        << c.Average << " " << c.Count;
}

// --- Replay --------------------------------------------------------------

// Whatever the file's size against a batch of records, every record arrives once and in order.
TEST_F(THistoryFixture, LoadStatisticsReplaysEveryRecordAcrossBatchesPendingOnesIncluded) {
  constexpr int kBatch = THistoryReader::kBatchRecords;
  for (const int size : {50, kBatch - 1, kBatch, 2 * kBatch + 2}) {
    SCOPED_TRACE(size);
    WriteFile(Sample(size));
    TWatchHistory history(Target, Path);
    history.Add(Rec(8, true, 1));
    Target.Applied.clear();
    history.LoadStatistics();  // clears every item first, so the pending one must be replayed
    EXPECT_EQ(Target.Applied, Concat(Sample(size), {Rec(8, true, 1)}));
  }
  EXPECT_EQ(Target.Begins, 4);
  EXPECT_EQ(Target.Ends, 4);
}

// A byte changed on disk costs the record of its block only: the replay gets every other record,
// the damage is reported once, and the next write leaves a file that reads clean.
TEST_F(THistoryFixture, DamagedBlocksCostTheirRecordsOnlyAndTheNextWriteDropsThem) {
  constexpr int kBatch = THistoryReader::kBatchRecords;
  const struct {
    const char* Name;
    int Records;
    std::vector<std::pair<int, int>>
        Damaged;  // block, byte within it (21, 22: check value), in order
    bool WriteByDeleting;
  } cases[] = {
      {"first block", 50, {{0, 0}}, false},
      {"middle block", 50, {{25, 13}}, true},
      {"last block", 50, {{49, 22}}, false},
      {"several, in a row and across batches",
       2 * kBatch + 2,
       {{3, 4}, {4, 21}, {kBatch - 1, 20}, {kBatch, 0}, {2 * kBatch + 1, 5}},
       true},
      {"every block", 3, {{0, 1}, {1, 2}, {2, 3}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Reports.clear();
    const THistoryArray records = Sample(c.Records);
    WriteFile(records);
    THistoryArray good = records;
    for (auto damage = c.Damaged.rbegin(); damage != c.Damaged.rend(); ++damage) {
      good.erase(good.begin() + damage->first);
      IncrementByte(Path, kHeader + damage->first * kBlock + damage->second);
    }

    TWatchHistory history(Target, Path, Reporter);
    Target.Applied.clear();
    history.LoadStatistics();
    EXPECT_EQ(Target.Applied, good);
    THistoryArray result;
    history.GetHistory(1, result, 0, 1e6);  // reads it again: no second report
    ASSERT_EQ(Reports.size(), 1u);
    EXPECT_EQ(Reports[0].rfind(Path + "\r\n" + std::to_string(c.Damaged.size()) + " damaged", 0),
              0u)
        << Reports[0];

    if (c.WriteByDeleting) {
      history.DeleteItems({99});
    } else {
      history.Add(Rec(8, true, 1));
      history.Flush();
      good.push_back(Rec(8, true, 1));
    }
    EXPECT_EQ(ReadFile(), good);
    EXPECT_FALSE(fs::exists(Temporary));
    EXPECT_EQ(Reports.size(), 1u);
  }
}

// --- Deleting ------------------------------------------------------------

// The rewrite fails while writing, syncing or renaming: the old file stays
// whole with every record, no temporary file is left, and the next try works.
TEST_F(THistoryFixture, DeleteKeepsTheOtherItemsRecordsInOrderAndAFailedOneTheOldFileWhole) {
  WriteFile(Sample(200));
  const std::string before = ReadFileBytes(Path);
  for (const test::TSaveFault& fault : test::kSaveFaults) {
    SCOPED_TRACE(fault.Name);
    TWatchHistory history(Target, Path, Reporter, Ops);
    fault.Arm(Ops, kHeader + 20 * kBlock);
    EXPECT_THROW(history.DeleteItems({2}), EInOutError);
    Ops.Heal();
    EXPECT_EQ(ReadFileBytes(Path), before);
    EXPECT_FALSE(fs::exists(Temporary));
  }
  TWatchHistory history(Target, Path, Reporter, Ops);
  history.Add(Rec(2, true, 50000));
  history.Add(Rec(3, true, 50001));
  history.DeleteItems({});
  EXPECT_EQ(ReadFileBytes(Path), before);
  EXPECT_EQ(history.PendingCount(), 2u);
  Target.Selected = {2, 99};
  history.DeleteSelected();
  THistoryArray expected;
  for (const auto& record : Concat(Sample(200), {Rec(3, true, 50001)})) {
    if (record.ItemId != 2)
      expected.push_back(record);
  }
  EXPECT_EQ(ReadFile(), expected);
  EXPECT_FALSE(fs::exists(Temporary));
  EXPECT_TRUE(Reports.empty());
}

// --- A failing disk ------------------------------------------------------

// The disk fills up part-way through a flush: the records whose blocks did not
// reach the file stay pending, a half-written block is cut off again, and once
// there is room every record is in the file exactly once.
TEST_F(THistoryFixture, FailedFlushKeepsTheUnwrittenRecordsAndWritesEachOnceLater) {
  const struct {
    const char* Name;
    int Existing, Added;
    std::uint64_t Room;
    std::size_t PendingAfter;
    std::uint64_t SizeAfter;
  } cases[] = {
      {"room for 10 blocks and a half", 2, 30, 10 * kBlock + 11, 20, kHeader + 12 * kBlock},
      {"not even the header of a new file fits", 0, 2, 5, 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    fs::remove(Path);
    if (c.Existing > 0)
      WriteFile(Sample(c.Existing));
    const THistoryArray records = Sample(c.Added);
    TWatchHistory history(Target, Path, Reporter, Ops);
    for (const auto& record : records)
      history.Add(record);
    Ops.FailWritesAfter(c.Room);
    for (int attempt = 0; attempt < 2; ++attempt) {  // the second changes nothing
      try {
        history.Flush();
        ADD_FAILURE() << "no error from a full disk";
      } catch (const EInOutError& error) {
        EXPECT_EQ(error.ErrorNumber(), ENOSPC);
        EXPECT_EQ(error.FileName(), Path);
      }
      EXPECT_EQ(history.PendingCount(), c.PendingAfter);
      EXPECT_EQ(FileSize(), c.SizeAfter);
    }
    Ops.Heal();
    history.Flush();
    EXPECT_EQ(ReadFile(), Concat(Sample(c.Existing), records));
  }
  EXPECT_TRUE(Reports.empty());
}

// A thousand records wait; the thousand and first flushes them all.
TEST_F(THistoryFixture, AutomaticFlushAfterAFailureWaitsForAThousandMoreRecords) {
  const THistoryArray records = Sample(2100);
  TWatchHistory history(Target, Path, {}, Ops);
  std::size_t next = 0;
  Ops.FailWritesAfter(kHeader + 100 * kBlock);
  for (; next < 1000; ++next)
    history.Add(records[next]);
  EXPECT_EQ(Target.Applied.size(), 1000u);  // applied at once
  EXPECT_FALSE(fs::exists(Path));
  EXPECT_THROW(history.Add(records[next++]), EInOutError);  // the 1001st
  EXPECT_EQ(history.PendingCount(), 901u);
  for (; next < 1001 + 1000; ++next)  // not every check of a full disk fails
    history.Add(records[next]);
  EXPECT_THROW(history.Add(records[next++]), EInOutError);
  Ops.Heal();
  for (; next < records.size(); ++next)
    history.Add(records[next]);
  history.Flush();
  EXPECT_EQ(ReadFile(), records);
  EXPECT_EQ(Target.Applied, records);  // every record reached its item once
}

// A crash while a block was appended leaves a torn one, or even a torn header.
TEST_F(THistoryFixture, TornBlockOrHeaderIsReadAsMissingReportedOnceAndCutOffByTheNextAppend) {
  for (std::uint64_t cut : {kHeader + 2 * kBlock + 10, std::uint64_t{5}}) {
    SCOPED_TRACE(cut);
    Reports.clear();
    Target.Applied.clear();
    WriteFile(Sample(3));  // items 2, 3, 1
    ShrinkFile(Path, cut);
    const THistoryArray whole = cut > kHeader ? Sample(2) : THistoryArray{};
    TWatchHistory history(Target, Path, Reporter);
    THistoryArray result;
    history.GetHistory(3, result, 0, 1e6);
    EXPECT_EQ(result, THistoryArray(whole.begin() + (whole.empty() ? 0 : 1), whole.end()));
    history.LoadStatistics();  // every query reads through the same reader
    EXPECT_EQ(Target.Applied, whole);
    ASSERT_EQ(Reports.size(), 1u);
    EXPECT_EQ(Reports[0].rfind(Path + "\r\n", 0), 0u) << Reports[0];
    EXPECT_TRUE(cut < kHeader || Reports[0].find("10 bytes") != std::string::npos) << Reports[0];
    history.Add(Rec(7, true, 50000));
    history.Flush();
    EXPECT_EQ(ReadFile(), Concat(whole, {Rec(7, true, 50000)}));
    EXPECT_EQ(Reports.size(), 1u);
  }
}

// --- The user interface running inside file work ------------------------

// The container lets the user interface run before every block, and a check
// result handled then adds a record and may ask for a flush.
TEST_F(THistoryFixture, RecordAddedWhileAFlushLetsTheUserInterfaceRunIsWrittenOnceLater) {
  TWatchHistory history(Target, Path);
  for (const auto& record : Sample(3))
    history.Add(record);
  bool added = false;
  SetUiPump([&] {
    if (added)
      return;
    added = true;
    history.Add(Rec(9, true, 60000));
    history.Flush();  // a flush is running already: this one waits
  });
  history.Flush();
  SetUiPump({});
  EXPECT_TRUE(added);
  EXPECT_EQ(ReadFile(), Sample(3));
  EXPECT_EQ(history.PendingCount(), 1u);
  history.Flush();
  EXPECT_EQ(ReadFile(), Concat(Sample(3), {Rec(9, true, 60000)}));
}

// --- The temporary history for the web service ---------------------------

TEST_F(THistoryFixture, TemporaryHistoryStoresOnlyItemsWithAServiceIdUnderIt) {
  {
    TTempHistory history(Target, Vtt);
    history.Add(Rec(3, true, 10));   // ServiceId 0
    history.Add(Rec(99, true, 11));  // no such item
    EXPECT_EQ(history.PendingCount(), 0u);
    for (int i = 0; i < 1000; ++i)
      history.Add(Rec(1, true, i));
    EXPECT_FALSE(fs::exists(Vtt));
    history.Add(Rec(1, true, 1000));
    EXPECT_EQ(history.PendingCount(), 0u);
    EXPECT_EQ(ReadFile(Vtt, kTempHistorySignature).size(), 1001u);
    history.Add(Rec(2, false, 45000.25));
  }  // destruction flushes
  const THistoryArray records = ReadFile(Vtt, kTempHistorySignature);
  EXPECT_EQ(records.front(), Rec(101, true, 0));
  EXPECT_EQ(records.back(), Rec(102, false, 45000.25));
  EXPECT_THROW(ReadFile(Vtt), EDataFileError);  // a signature of its own
}

TEST_F(THistoryFixture, PrepareBatchHandsOverEverythingCollectedOnceAndResendsAnUndeliveredOne) {
  TTempHistory history(Target, Vtt);
  auto batch = [&] {
    THistoryArray records = {Rec(7, true, 7)};  // emptied first
    history.ReadBatch(records);
    return records;
  };
  EXPECT_EQ(history.BatchFileName(), Vt1);
  history.PrepareBatch();  // nothing collected: no batch
  EXPECT_FALSE(fs::exists(Vt1));
  EXPECT_TRUE(batch().empty());
  EXPECT_NO_THROW(history.CommitBatch());

  history.Add(Rec(1, true, 10));
  fs::create_directory(Vtt);  // the .vtt file cannot be written
  EXPECT_THROW(history.PrepareBatch(), EInOutError);
  EXPECT_EQ(history.PendingCount(), 1u);
  EXPECT_FALSE(fs::exists(Vt1));  // no batch handed over half-written
  fs::remove(Vtt);
  history.Flush();
  history.Add(Rec(2, true, 11));
  history.PrepareBatch();  // the pending record goes too
  EXPECT_FALSE(fs::exists(Vtt));
  EXPECT_EQ(batch(), (THistoryArray{Rec(101, true, 10), Rec(102, true, 11)}));
  history.Add(Rec(1, true, 12));  // the upload failed: no commit; new results keep coming
  history.PrepareBatch();
  EXPECT_EQ(batch(), (THistoryArray{Rec(101, true, 10), Rec(102, true, 11)}));
  history.CommitBatch();
  EXPECT_TRUE(batch().empty());
  history.PrepareBatch();
  EXPECT_EQ(batch(), THistoryArray{Rec(101, true, 12)});
}

}  // namespace
}  // namespace vantrel
