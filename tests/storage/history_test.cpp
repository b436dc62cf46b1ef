#include "storage/history.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <bit>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/ui_pump.h"
#include "storage/atomic_replace.h"
#include "storage/file_errors.h"
#include "storage/file_system.h"
#include "storage/file_system_format.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::IncrementByte;
using test::ReadFileBytes;
using test::ShrinkFile;
using test::TTempDir;
using test::WriteFileBytes;

constexpr std::uint64_t kHeader = 9;
constexpr std::uint64_t kBlock = 23;

// The watch list as the history sees it: records it was given, replay
// brackets, items for summaries and a selection.
class TFakeTarget : public THistoryTarget {
 public:
  void ApplyResult(const THistoryRecord& record) override {
    Applied.push_back(record);
    if (InReplay)
      ++AppliedInReplay;
  }
  void BeginReplay() override {
    ++Begins;
    InReplay = true;
  }
  void EndReplay() override {
    ++Ends;
    InReplay = false;
  }
  std::vector<TItemInfo> SummaryItems() const override { return Items; }
  std::optional<std::int32_t> ServiceIdOf(std::uint32_t itemId) const override {
    const auto found = ServiceIds.find(itemId);
    if (found == ServiceIds.end())
      return std::nullopt;
    return found->second;
  }
  std::vector<std::uint32_t> SelectedItemIds() const override { return Selected; }

  THistoryArray Applied;
  int AppliedInReplay = 0;
  int Begins = 0;
  int Ends = 0;
  bool InReplay = false;
  std::vector<TItemInfo> Items;
  std::map<std::uint32_t, std::int32_t> ServiceIds;
  std::vector<std::uint32_t> Selected;
};

THistoryRecord Rec(std::uint32_t id, bool success, TDateTime date, std::int32_t time = 100,
                   std::int32_t code = 200) {
  return THistoryRecord{id, success, date, time, code};
}

// Writes a history file with the container directly, independently of
// TWatchHistory.
void WriteHistoryFile(const std::string& path, const THistoryArray& records) {
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  fs.Open(omCreate);
  for (const auto& record : records) {
    const auto bytes = EncodeHistoryRecord(record);
    fs.WriteBuffer(bytes.data(), bytes.size());
  }
  fs.Close();
}

// Every record of a history file, read with the container directly.
THistoryArray ReadHistoryFile(const std::string& path) {
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  fs.Open(omRead);
  THistoryArray records;
  while (!fs.Eof()) {
    unsigned char bytes[kHistoryRecordSize];
    fs.ReadBuffer(bytes, sizeof bytes);
    records.push_back(DecodeHistoryRecord(bytes));
  }
  return records;
}

// Records 1..count of a few items, one a day.
THistoryArray Sample(int count, std::uint32_t items = 3) {
  THistoryArray records;
  for (int i = 1; i <= count; ++i) {
    records.push_back(Rec(static_cast<std::uint32_t>(i) % items + 1, i % 4 != 0, 45000 + i, i * 10,
                          i % 4 != 0 ? 200 : 500));
  }
  return records;
}

// Lowers the size limit for files of this process, so that writes beyond it
// fail with EFBIG the way a full disk fails them, until Lift() is called.
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
    Lift();
    std::signal(SIGXFSZ, OldHandler_);
  }
  bool Active() const { return Active_; }
  void Lift() { setrlimit(RLIMIT_FSIZE, &Saved_); }

 private:
  rlimit Saved_{};
  void (*OldHandler_)(int) = SIG_DFL;
  bool Active_ = false;
};

struct THistoryFixture : testing::Test {
  TTempDir Dir;
  std::string Path = Dir / "vantrel.vth";
  TFakeTarget Target;
  std::vector<std::string> Reports;
  THistoryErrorReporter Reporter = [this](const std::string& message) {
    Reports.push_back(message);
  };
};

// --- Records on disk ----------------------------------------------------------

TEST(HistoryRecord, FieldsAreStoredLittleEndianAtTheirOffsets) {
  const THistoryRecord record = Rec(0x04030201, true, 45000.5, -2, 0x11223344);
  const THistoryRecordBytes bytes = EncodeHistoryRecord(record);
  const std::uint64_t date = std::bit_cast<std::uint64_t>(45000.5);
  EXPECT_EQ(bytes[0], 0x01);
  EXPECT_EQ(bytes[3], 0x04);
  EXPECT_EQ(bytes[4], 1);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(bytes[5 + i], static_cast<unsigned char>(date >> (8 * i))) << i;
  EXPECT_EQ(bytes[13], 0xFE);
  EXPECT_EQ(bytes[16], 0xFF);
  EXPECT_EQ(bytes[17], 0x44);
  EXPECT_EQ(bytes[20], 0x11);
  EXPECT_EQ(DecodeHistoryRecord(bytes.data()), record);
  EXPECT_EQ(EncodeHistoryRecord(Rec(1, false, 0))[4], 0);
}

TEST_F(THistoryFixture, FlushWritesOneBlockPerRecordAfterTheHeader) {
  const THistoryArray records = Sample(5);
  {
    TWatchHistory history(Target, Path);
    for (const auto& record : records)
      history.Add(record);
    history.Flush();
    EXPECT_EQ(history.PendingCount(), 0u);
  }
  EXPECT_EQ(ReadFileBytes(Path).size(), kHeader + 5 * kBlock);
  EXPECT_EQ(ReadHistoryFile(Path), records);
}

// --- Adding and flushing -------------------------------------------------------

TEST_F(THistoryFixture, AddAppliesTheRecordAtOnceAndWritesNothingYet) {
  TWatchHistory history(Target, Path);
  history.Add(Rec(1, true, 45000));
  EXPECT_EQ(Target.Applied, THistoryArray{Rec(1, true, 45000)});
  EXPECT_EQ(history.PendingCount(), 1u);
  EXPECT_FALSE(fs::exists(Path));
}

TEST_F(THistoryFixture, ThousandPendingRecordsWaitAndTheThousandAndFirstFlushesThemAll) {
  TWatchHistory history(Target, Path);
  const THistoryArray records = Sample(1001);
  for (int i = 0; i < 1000; ++i)
    history.Add(records[i]);
  EXPECT_FALSE(fs::exists(Path));
  EXPECT_EQ(history.PendingCount(), 1000u);
  history.Add(records[1000]);
  EXPECT_EQ(history.PendingCount(), 0u);
  EXPECT_EQ(ReadHistoryFile(Path), records);
}

TEST_F(THistoryFixture, DestructionFlushesThePendingRecords) {
  {
    TWatchHistory history(Target, Path);
    history.Add(Rec(1, true, 45000));
  }
  EXPECT_EQ(ReadHistoryFile(Path), THistoryArray{Rec(1, true, 45000)});
}

TEST_F(THistoryFixture, FlushAppendsAfterTheRecordsAlreadyInTheFile) {
  WriteHistoryFile(Path, Sample(2));
  TWatchHistory history(Target, Path);
  history.Add(Rec(9, false, 46000));
  history.Flush();
  THistoryArray expected = Sample(2);
  expected.push_back(Rec(9, false, 46000));
  EXPECT_EQ(ReadHistoryFile(Path), expected);
}

// --- Queries ---------------------------------------------------------------

TEST_F(THistoryFixture, QueryFlushesFirstSoARecordJustAddedIsIncluded) {
  TWatchHistory history(Target, Path);
  history.Add(Rec(4, true, 45000));
  THistoryArray result;
  history.GetHistory(4, result, 0, 50000);
  EXPECT_EQ(result, THistoryArray{Rec(4, true, 45000)});
  EXPECT_EQ(history.PendingCount(), 0u);
}

TEST_F(THistoryFixture, HistoryRangeIncludesBothEndsAndOnlyTheAskedItem) {
  WriteHistoryFile(Path, {Rec(1, true, 9.5), Rec(1, true, 10), Rec(2, true, 11), Rec(1, false, 12),
                          Rec(1, true, 20), Rec(1, true, 20.001)});
  TWatchHistory history(Target, Path);
  THistoryArray result = {Rec(7, true, 1)};  // emptied first
  history.GetHistory(1, result, 10, 20);
  EXPECT_EQ(result, (THistoryArray{Rec(1, true, 10), Rec(1, false, 12), Rec(1, true, 20)}));
}

TEST_F(THistoryFixture, MissingFileIsAnEmptyHistoryNotAnError) {
  TWatchHistory history(Target, Path);
  THistoryArray result = {Rec(7, true, 1)};
  history.GetHistory(1, result, 0, 1e6);
  EXPECT_TRUE(result.empty());
  history.LoadStatistics();
  EXPECT_EQ(Target.Begins, 0);  // the items keep their statistics
  history.DeleteItems({1});
  EXPECT_FALSE(fs::exists(Path));
}

TEST_F(THistoryFixture, DamagedBlockFailsTheQueryWithWrongFileFormat) {
  WriteHistoryFile(Path, Sample(3));
  IncrementByte(Path, kHeader + kBlock + 4);
  TWatchHistory history(Target, Path);
  THistoryArray result;
  try {
    history.GetHistory(1, result, 0, 1e6);
    ADD_FAILURE() << "no error";
  } catch (const EDataFileError& error) {
    EXPECT_EQ(error.Reason(), kWrongFileFormat);
    EXPECT_EQ(error.FileName(), Path);
  }
}

// --- Summaries ---------------------------------------------------------------

TEST_F(THistoryFixture, SummaryAverageIsWeighedDownByAFailureBetweenSuccesses) {
  Target.Items = {{5, "user_Site", "https://site.test/"}};
  WriteHistoryFile(Path,
                   {Rec(5, true, 100, 100), Rec(5, false, 101, 0, 408), Rec(5, true, 102, 300)});
  TWatchHistory history(Target, Path);
  THistorySumArray sums;
  history.GetSummary(sums, 0, 1000);
  ASSERT_EQ(sums.size(), 1u);
  const THistorySum& sum = sums[0];
  EXPECT_EQ(sum.ItemId, 5u);
  EXPECT_EQ(sum.Name, "user_Site");
  EXPECT_EQ(sum.Url, "https://site.test/");
  EXPECT_EQ(sum.AvgResponseTime, 166);  // (100 * 2 + 300) div 3
  EXPECT_EQ(sum.Count, 3);
  EXPECT_EQ(sum.Failures, 1);
  EXPECT_EQ(sum.FirstDate, 100);
  EXPECT_EQ(sum.LastDate, 102);
  EXPECT_EQ(sum.LastFailure, 101);
  EXPECT_EQ(sum.LastSuccess, 102);
}

TEST_F(THistoryFixture, SummaryOfAnItemWithoutRecordsInTheRangeSpansTheRange) {
  Target.Items = {{1, "a", "a.test"}, {2, "b", "b.test"}};
  WriteHistoryFile(Path, {Rec(1, true, 10), Rec(2, true, 5), Rec(2, true, 30)});
  TWatchHistory history(Target, Path);
  THistorySumArray sums;
  history.GetSummary(sums, 10, 20);
  ASSERT_EQ(sums.size(), 2u);
  EXPECT_EQ(sums[0].Count, 1);  // the record at the range start counts
  EXPECT_EQ(sums[0].FirstDate, 10);
  EXPECT_EQ(sums[0].LastDate, 10);
  EXPECT_EQ(sums[1].Count, 0);
  EXPECT_EQ(sums[1].AvgResponseTime, 0);
  EXPECT_EQ(sums[1].FirstDate, 10);
  EXPECT_EQ(sums[1].LastDate, 20);
  EXPECT_EQ(sums[1].LastSuccess, 0);
}

TEST_F(THistoryFixture, SummaryCountsARecordForTheFirstItemWithItsIdOnly) {
  Target.Items = {{3, "first", ""}, {9, "other", ""}, {3, "second", ""}};
  WriteHistoryFile(Path, {Rec(3, true, 10), Rec(4, true, 11), Rec(3, false, 12)});
  TWatchHistory history(Target, Path);
  THistorySumArray sums;
  history.GetSummary(sums, 0, 100);
  ASSERT_EQ(sums.size(), 3u);
  EXPECT_EQ(sums[0].Name, "first");
  EXPECT_EQ(sums[0].Count, 2);
  EXPECT_EQ(sums[1].Count, 0);
  EXPECT_EQ(sums[2].Name, "second");
  EXPECT_EQ(sums[2].Count, 0);  // an item not in the list (4) counts nowhere
}

TEST_F(THistoryFixture, SummaryOfAnEmptyListReadsNoFileAndFlushesNothing) {
  WriteFileBytes(Path, "not a history file");
  TWatchHistory history(Target, Path, Reporter);
  history.Add(Rec(1, true, 10));
  THistorySumArray sums = {THistorySum{}};
  EXPECT_NO_THROW(history.GetSummary(sums, 0, 100));
  EXPECT_TRUE(sums.empty());
  EXPECT_EQ(history.PendingCount(), 1u);
  EXPECT_EQ(ReadFileBytes(Path), "not a history file");
  Target.Items = {{1, "a", ""}};
  EXPECT_THROW(history.GetSummary(sums, 0, 100), EDataFileError);
}

TEST(HistoryAverage, ProductOfAverageAndALongCountDoesNotOverflow) {
  // 1000 ms times 3,000,000 checks is beyond 32 bits: a 32-bit product wraps
  // and the average goes negative.
  EXPECT_EQ(RunningAverage(1000, 3'000'000, 3'001'001), 1001);
  EXPECT_EQ(RunningAverage(30000, 2'147'483'646, 30000), 30000);
  THistorySum sum;
  sum.AvgResponseTime = 1000;
  sum.Count = 2'147'483'647 / 1000 + 1;
  AddToSummary(sum, Rec(1, true, 5, 1000));
  EXPECT_EQ(sum.AvgResponseTime, 1000);
  EXPECT_EQ(sum.Count, 2'147'483'647 / 1000 + 2);
}

TEST(HistoryAverage, DivisionTruncatesTowardZeroAndFailuresAddWeight) {
  EXPECT_EQ(RunningAverage(100, 2, 300), 166);
  EXPECT_EQ(RunningAverage(150, 3, 300), 187);
  EXPECT_EQ(RunningAverage(0, 0, 250), 250);
  EXPECT_EQ(RunningAverage(-5, 1, 0), -2);  // not -3
}

// --- Replay ------------------------------------------------------------------

TEST_F(THistoryFixture, LoadStatisticsReplaysEveryRecordInFileOrderInsideTheBrackets) {
  const THistoryArray records = Sample(50);
  WriteHistoryFile(Path, records);
  TWatchHistory history(Target, Path);
  history.LoadStatistics();
  EXPECT_EQ(Target.Applied, records);
  EXPECT_EQ(Target.AppliedInReplay, 50);
  EXPECT_EQ(Target.Begins, 1);
  EXPECT_EQ(Target.Ends, 1);
}

TEST_F(THistoryFixture, LoadStatisticsKeepsPendingRecordsInTheRebuiltStatistics) {
  WriteHistoryFile(Path, Sample(2));
  TWatchHistory history(Target, Path);
  history.Add(Rec(8, true, 47000));
  Target.Applied.clear();
  history.LoadStatistics();  // clears every item first, so the pending one must be replayed
  THistoryArray expected = Sample(2);
  expected.push_back(Rec(8, true, 47000));
  EXPECT_EQ(Target.Applied, expected);
}

TEST_F(THistoryFixture, LoadStatisticsEndsTheReplayWhenTheFileIsDamaged) {
  WriteHistoryFile(Path, Sample(3));
  IncrementByte(Path, kHeader + 2 * kBlock);
  TWatchHistory history(Target, Path);
  EXPECT_THROW(history.LoadStatistics(), EDataFileError);
  EXPECT_EQ(Target.Applied.size(), 2u);
  EXPECT_EQ(Target.Ends, 1);
  EXPECT_FALSE(Target.InReplay);
}

// --- Deleting --------------------------------------------------------------

TEST_F(THistoryFixture, DeleteItemsWithAnEmptyArrayLeavesTheFileUntouched) {
  WriteHistoryFile(Path, Sample(4));
  const std::string before = ReadFileBytes(Path);
  TWatchHistory history(Target, Path);
  history.Add(Rec(1, true, 50000));
  history.DeleteItems({});
  EXPECT_EQ(ReadFileBytes(Path), before);
  EXPECT_EQ(history.PendingCount(), 1u);
}

TEST_F(THistoryFixture, DeleteItemsKeepsTheOtherItemsRecordsInOrderPendingOnesIncluded) {
  WriteHistoryFile(Path, Sample(12));
  TWatchHistory history(Target, Path);
  history.Add(Rec(2, true, 50000));
  history.Add(Rec(3, true, 50001));
  history.DeleteItems({2, 99});
  THistoryArray expected;
  for (const auto& record : Sample(12)) {
    if (record.ItemId != 2)
      expected.push_back(record);
  }
  expected.push_back(Rec(3, true, 50001));
  EXPECT_EQ(ReadHistoryFile(Path), expected);
  EXPECT_FALSE(fs::exists(TemporaryPathFor(Path)));
}

TEST_F(THistoryFixture, DeletingEveryItemLeavesOnlyTheHeader) {
  WriteHistoryFile(Path, Sample(9));
  TWatchHistory history(Target, Path);
  history.DeleteItems({1, 2, 3});
  EXPECT_EQ(ReadFileBytes(Path).size(), kHeader);
  EXPECT_TRUE(ReadHistoryFile(Path).empty());
}

TEST_F(THistoryFixture, DeleteItemsBeforeAnyFileExistsStillRemovesPendingRecords) {
  TWatchHistory history(Target, Path);
  history.Add(Rec(1, true, 10));
  history.Add(Rec(2, true, 11));
  history.DeleteItems({1});
  EXPECT_EQ(ReadHistoryFile(Path), THistoryArray{Rec(2, true, 11)});
}

TEST_F(THistoryFixture, DeleteSelectedDeletesTheRecordsOfTheSelectedItems) {
  WriteHistoryFile(Path, {Rec(1, true, 10), Rec(2, true, 11), Rec(3, true, 12)});
  Target.Selected = {3, 1};
  TWatchHistory history(Target, Path);
  history.DeleteSelected();
  EXPECT_EQ(ReadHistoryFile(Path), THistoryArray{Rec(2, true, 11)});
}

TEST_F(THistoryFixture, DeleteThatFailsHalfWayLeavesTheOldFileIntact) {
  WriteHistoryFile(Path, Sample(200));
  const std::string before = ReadFileBytes(Path);
  TWatchHistory history(Target, Path);
  {
    // The rewrite runs out of room long before it is done.
    TFileSizeLimit limit(kHeader + 20 * kBlock);
    ASSERT_TRUE(limit.Active());
    EXPECT_THROW(history.DeleteItems({1}), EInOutError);
  }
  EXPECT_EQ(ReadFileBytes(Path), before);
  EXPECT_FALSE(fs::exists(TemporaryPathFor(Path)));
  history.DeleteItems({1});                             // and it works once there is room
  EXPECT_EQ(ReadHistoryFile(Path).size(), 200u - 66u);  // item 1 has every third record
}

// --- A failing disk ------------------------------------------------------------

TEST_F(THistoryFixture, FailedFlushKeepsTheUnwrittenRecordsAndWritesEachOnceLater) {
  WriteHistoryFile(Path, Sample(2));
  const THistoryArray records = Sample(30);
  TWatchHistory history(Target, Path);
  for (const auto& record : records)
    history.Add(record);
  {
    // Room for 10 whole blocks and half of the 11th.
    TFileSizeLimit limit(kHeader + 12 * kBlock + 11);
    ASSERT_TRUE(limit.Active());
    try {
      history.Flush();
      ADD_FAILURE() << "no error from a full disk";
    } catch (const EInOutError& error) {
      EXPECT_EQ(error.ErrorNumber(), EFBIG);
      EXPECT_EQ(error.FileName(), Path);
    }
    EXPECT_EQ(history.PendingCount(), 20u);
    // The half block is cut off again, so the file stays aligned.
    EXPECT_EQ(ReadFileBytes(Path).size(), kHeader + 12 * kBlock);
    EXPECT_THROW(history.Flush(), EInOutError);  // still no room: nothing changes
    EXPECT_EQ(history.PendingCount(), 20u);
  }
  history.Flush();
  THistoryArray expected = Sample(2);
  expected.insert(expected.end(), records.begin(), records.end());
  EXPECT_EQ(ReadHistoryFile(Path), expected);
  EXPECT_TRUE(Reports.empty());
}

TEST_F(THistoryFixture, FailedFirstFlushOfANewFileKeepsEveryRecord) {
  TWatchHistory history(Target, Path);
  history.Add(Rec(1, true, 10));
  history.Add(Rec(2, true, 11));
  {
    TFileSizeLimit limit(5);  // not even the header fits
    ASSERT_TRUE(limit.Active());
    EXPECT_THROW(history.Flush(), EInOutError);
  }
  EXPECT_EQ(history.PendingCount(), 2u);
  history.Flush();
  EXPECT_EQ(ReadHistoryFile(Path), (THistoryArray{Rec(1, true, 10), Rec(2, true, 11)}));
}

TEST_F(THistoryFixture, FlushToAFullDeviceThrowsAndKeepsEveryRecordPending) {
  TWatchHistory history(Target, "/dev/full", Reporter);
  history.Add(Rec(1, true, 10));
  try {
    history.Flush();
    ADD_FAILURE() << "no error from a full device";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorNumber(), ENOSPC);
  }
  EXPECT_EQ(history.PendingCount(), 1u);
}

TEST_F(THistoryFixture, AutomaticFlushAfterAFailureWaitsForAThousandMoreRecords) {
  const THistoryArray records = Sample(2100);
  TWatchHistory history(Target, Path);
  std::size_t next = 0;
  {
    TFileSizeLimit limit(kHeader + 100 * kBlock);
    ASSERT_TRUE(limit.Active());
    for (; next < 1000; ++next)
      history.Add(records[next]);
    EXPECT_THROW(history.Add(records[next++]), EInOutError);  // the 1001st
    EXPECT_EQ(history.PendingCount(), 901u);
    // Not every check of a full disk fails: the next try is 1000 records on.
    for (; next < 1001 + 1000; ++next)
      history.Add(records[next]);
    EXPECT_THROW(history.Add(records[next++]), EInOutError);
  }
  for (; next < records.size(); ++next)
    history.Add(records[next]);
  history.Flush();
  EXPECT_EQ(ReadHistoryFile(Path), records);
  EXPECT_EQ(Target.Applied, records);  // every record reached its item once
}

TEST_F(THistoryFixture, DestructionHandsAFailedFlushToTheReporter) {
  {
    TWatchHistory history(Target, "/dev/full", Reporter);
    history.Add(Rec(1, true, 10));
  }
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_NE(Reports[0].find("/dev/full"), std::string::npos);
}

// --- Torn last block -------------------------------------------------------

TEST_F(THistoryFixture, TornLastBlockIsIgnoredByReadersAndReportedOnce) {
  const THistoryArray records = Sample(3);
  WriteHistoryFile(Path, records);
  ShrinkFile(Path, kHeader + 2 * kBlock + 10);  // a crash while the third was appended
  Target.Items = {{1, "a", ""}, {2, "b", ""}, {3, "c", ""}, {4, "d", ""}};
  TWatchHistory history(Target, Path, Reporter);
  THistoryArray result;
  history.GetHistory(records[1].ItemId, result, 0, 1e6);
  EXPECT_EQ(result, THistoryArray{records[1]});
  history.LoadStatistics();
  EXPECT_EQ(Target.Applied, (THistoryArray{records[0], records[1]}));
  THistorySumArray sums;
  history.GetSummary(sums, 0, 1e6);
  EXPECT_EQ(sums[records[0].ItemId - 1].Count + sums[records[1].ItemId - 1].Count, 2);
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].rfind(Path + "\r\n", 0), 0u) << Reports[0];
  EXPECT_NE(Reports[0].find("10 bytes"), std::string::npos) << Reports[0];
}

TEST_F(THistoryFixture, NextAppendCutsATornBlockOffSoLaterRecordsReadBackAligned) {
  const THistoryArray records = Sample(3);
  WriteHistoryFile(Path, records);
  ShrinkFile(Path, kHeader + 2 * kBlock + 10);
  {
    TWatchHistory history(Target, Path, Reporter);
    history.Add(Rec(7, true, 50000));
    history.Flush();
  }
  EXPECT_EQ(ReadFileBytes(Path).size(), kHeader + 3 * kBlock);
  EXPECT_EQ(ReadHistoryFile(Path), (THistoryArray{records[0], records[1], Rec(7, true, 50000)}));
  EXPECT_EQ(Reports.size(), 1u);
}

TEST_F(THistoryFixture, TornHeaderIsAnEmptyHistoryAndTheNextAppendStartsTheFileAfresh) {
  WriteHistoryFile(Path, {});
  ShrinkFile(Path, 5);
  TWatchHistory history(Target, Path, Reporter);
  THistoryArray result;
  history.GetHistory(1, result, 0, 1e6);
  EXPECT_TRUE(result.empty());
  EXPECT_EQ(Reports.size(), 1u);
  history.Add(Rec(1, true, 10));
  history.Flush();
  EXPECT_EQ(ReadHistoryFile(Path), THistoryArray{Rec(1, true, 10)});
  EXPECT_EQ(Reports.size(), 1u);
}

TEST_F(THistoryFixture, DeleteDropsATornLastBlock) {
  WriteHistoryFile(Path, {Rec(1, true, 10), Rec(2, true, 11), Rec(1, true, 12)});
  ShrinkFile(Path, kHeader + 2 * kBlock + 22);
  TWatchHistory history(Target, Path, Reporter);
  history.DeleteItems({2});
  EXPECT_EQ(ReadFileBytes(Path).size(), kHeader + kBlock);
  EXPECT_EQ(ReadHistoryFile(Path), THistoryArray{Rec(1, true, 10)});
  EXPECT_EQ(Reports.size(), 1u);
}

// --- The user interface running inside file work ---------------------------------

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
  EXPECT_EQ(ReadHistoryFile(Path), Sample(3));
  EXPECT_EQ(history.PendingCount(), 1u);
  history.Flush();
  THistoryArray expected = Sample(3);
  expected.push_back(Rec(9, true, 60000));
  EXPECT_EQ(ReadHistoryFile(Path), expected);
}

}  // namespace
}  // namespace vantrel
