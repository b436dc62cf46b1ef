#include "storage/temp_history.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "storage/file_errors.h"
#include "storage/file_system.h"
#include "storage/file_system_format.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ShrinkFile;
using test::TTempDir;

constexpr std::uint64_t kHeader = 9;
constexpr std::uint64_t kBlock = 23;

// The watch list as the temporary history sees it: which items exist and the
// web-service identifier of each.
class TServiceIds : public THistoryTarget {
 public:
  void ApplyResult(const THistoryRecord&) override { ADD_FAILURE() << "not for this history"; }
  void BeginReplay() override { ADD_FAILURE() << "not for this history"; }
  void EndReplay() override { ADD_FAILURE() << "not for this history"; }
  std::vector<TItemInfo> SummaryItems() const override { return {}; }
  std::optional<std::int32_t> ServiceIdOf(std::uint32_t itemId) const override {
    const auto found = Ids.find(itemId);
    if (found == Ids.end())
      return std::nullopt;
    return found->second;
  }
  std::vector<std::uint32_t> SelectedItemIds() const override { return {}; }

  std::map<std::uint32_t, std::int32_t> Ids;
};

THistoryRecord Rec(std::uint32_t id, TDateTime date, bool success = true) {
  return THistoryRecord{id, success, date, 120, success ? 200 : 500};
}

// The record as the temporary history stores it: under the service's id.
THistoryRecord AsService(THistoryRecord record, std::int32_t serviceId) {
  record.ItemId = static_cast<std::uint32_t>(serviceId);
  return record;
}

THistoryArray ReadTempFile(const std::string& path) {
  TxxFileSystem fs(path, kTempHistorySignature, kTempHistoryVersion, kDataPassPhrase);
  fs.Open(omRead);
  THistoryArray records;
  while (!fs.Eof()) {
    unsigned char bytes[kHistoryRecordSize];
    fs.ReadBuffer(bytes, sizeof bytes);
    records.push_back(DecodeHistoryRecord(bytes));
  }
  return records;
}

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
  bool Active() const { return Active_; }

 private:
  rlimit Saved_{};
  void (*OldHandler_)(int) = SIG_DFL;
  bool Active_ = false;
};

struct TTempHistoryFixture : testing::Test {
  TTempHistoryFixture() { Target.Ids = {{1, 101}, {2, 102}, {3, 0}}; }

  TTempDir Dir;
  std::string Vtt = Dir / "vantrel.vtt";
  std::string Vt1 = Dir / "vantrel.vt1";
  TServiceIds Target;
  std::vector<std::string> Reports;
  THistoryErrorReporter Reporter = [this](const std::string& message) {
    Reports.push_back(message);
  };
};

TEST_F(TTempHistoryFixture, BatchIsTheSameNameWithTheExtensionVt1) {
  TTempHistory history(Target, Vtt);
  EXPECT_EQ(history.FileName(), Vtt);
  EXPECT_EQ(history.BatchFileName(), Vt1);
}

TEST_F(TTempHistoryFixture, RecordIsStoredUnderItsItemsServiceIdInAVttFile) {
  {
    TTempHistory history(Target, Vtt);
    history.Add(Rec(2, 45000.25, false));
    history.Flush();
  }
  EXPECT_EQ(ReadTempFile(Vtt), THistoryArray{AsService(Rec(2, 45000.25, false), 102)});
  EXPECT_EQ(ReadFileBytes(Vtt).size(), kHeader + kBlock);
  // The header carries the temporary history's own signature.
  EXPECT_THROW(TxxFileSystem(Vtt, kHistorySignature, kHistoryVersion, kDataPassPhrase).Open(omRead),
               EDataFileError);
}

TEST_F(TTempHistoryFixture, ItemWithoutServiceIdOrUnknownNeverReachesTheTemporaryHistory) {
  TTempHistory history(Target, Vtt);
  history.Add(Rec(3, 10));   // ServiceId 0
  history.Add(Rec(99, 11));  // no such item
  EXPECT_EQ(history.PendingCount(), 0u);
  history.Flush();
  EXPECT_FALSE(fs::exists(Vtt));
}

TEST_F(TTempHistoryFixture, ThousandPendingRecordsWaitAndTheThousandAndFirstFlushes) {
  TTempHistory history(Target, Vtt);
  for (int i = 0; i < 1000; ++i)
    history.Add(Rec(1, i));
  EXPECT_FALSE(fs::exists(Vtt));
  history.Add(Rec(1, 1000));
  EXPECT_EQ(history.PendingCount(), 0u);
  EXPECT_EQ(ReadTempFile(Vtt).size(), 1001u);
}

TEST_F(TTempHistoryFixture, DestructionFlushes) {
  {
    TTempHistory history(Target, Vtt);
    history.Add(Rec(1, 10));
  }
  EXPECT_EQ(ReadTempFile(Vtt), THistoryArray{AsService(Rec(1, 10), 101)});
}

TEST_F(TTempHistoryFixture, PrepareBatchHandsOverEverythingCollectedPendingRecordsIncluded) {
  TTempHistory history(Target, Vtt);
  history.Add(Rec(1, 10));
  history.Flush();
  history.Add(Rec(2, 11));
  history.PrepareBatch();
  EXPECT_FALSE(fs::exists(Vtt));
  THistoryArray batch = {Rec(7, 7)};  // emptied first
  history.ReadBatch(batch);
  EXPECT_EQ(batch, (THistoryArray{AsService(Rec(1, 10), 101), AsService(Rec(2, 11), 102)}));
  history.CommitBatch();
  EXPECT_FALSE(fs::exists(Vt1));
  history.ReadBatch(batch);
  EXPECT_TRUE(batch.empty());
}

TEST_F(TTempHistoryFixture, UndeliveredBatchIsKeptAndNewRecordsWaitUntilItIsCommitted) {
  TTempHistory history(Target, Vtt);
  history.Add(Rec(1, 10));
  history.PrepareBatch();
  // The upload failed: no commit. New results keep coming.
  history.Add(Rec(2, 11));
  history.PrepareBatch();
  THistoryArray batch;
  history.ReadBatch(batch);
  EXPECT_EQ(batch, THistoryArray{AsService(Rec(1, 10), 101)});  // the same batch again
  history.Flush();
  EXPECT_EQ(ReadTempFile(Vtt), THistoryArray{AsService(Rec(2, 11), 102)});

  history.CommitBatch();
  history.PrepareBatch();
  history.ReadBatch(batch);
  EXPECT_EQ(batch, THistoryArray{AsService(Rec(2, 11), 102)});
}

TEST_F(TTempHistoryFixture, PrepareBatchWithNothingCollectedMakesNoBatch) {
  TTempHistory history(Target, Vtt);
  history.PrepareBatch();
  EXPECT_FALSE(fs::exists(Vt1));
  THistoryArray batch;
  history.ReadBatch(batch);
  EXPECT_TRUE(batch.empty());
  EXPECT_NO_THROW(history.CommitBatch());
}

TEST_F(TTempHistoryFixture, FailedFlushKeepsTheUnwrittenRecordsForTheNextBatch) {
  TTempHistory history(Target, Vtt);
  for (int i = 0; i < 10; ++i)
    history.Add(Rec(1, i));
  {
    TFileSizeLimit limit(kHeader + 4 * kBlock + 3);
    ASSERT_TRUE(limit.Active());
    EXPECT_THROW(history.PrepareBatch(), EInOutError);
    EXPECT_EQ(history.PendingCount(), 6u);
    EXPECT_FALSE(fs::exists(Vt1));  // no batch handed over half-written
  }
  history.PrepareBatch();
  THistoryArray batch;
  history.ReadBatch(batch);
  ASSERT_EQ(batch.size(), 10u);
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(batch[i], AsService(Rec(1, i), 101)) << i;
}

TEST_F(TTempHistoryFixture, TornLastBlockOfTheBatchIsIgnoredAndReportedOnce) {
  TTempHistory history(Target, Vtt, Reporter);
  for (int i = 0; i < 3; ++i)
    history.Add(Rec(1, i));
  history.PrepareBatch();
  ShrinkFile(Vt1, kHeader + 2 * kBlock + 7);
  THistoryArray batch;
  history.ReadBatch(batch);
  EXPECT_EQ(batch, (THistoryArray{AsService(Rec(1, 0), 101), AsService(Rec(1, 1), 101)}));
  history.ReadBatch(batch);  // the upload failed; read again
  EXPECT_EQ(batch.size(), 2u);
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].rfind(Vt1 + "\r\n", 0), 0u) << Reports[0];
}

TEST_F(TTempHistoryFixture, TornLastBlockOfTheVttIsCutBeforeTheNextAppend) {
  {
    TTempHistory history(Target, Vtt);
    history.Add(Rec(1, 10));
    history.Add(Rec(1, 11));
  }
  ShrinkFile(Vtt, kHeader + kBlock + 1);
  TTempHistory history(Target, Vtt, Reporter);
  history.Add(Rec(2, 12));
  history.PrepareBatch();
  THistoryArray batch;
  history.ReadBatch(batch);
  EXPECT_EQ(batch, (THistoryArray{AsService(Rec(1, 10), 101), AsService(Rec(2, 12), 102)}));
  EXPECT_EQ(Reports.size(), 1u);
}

}  // namespace
}  // namespace vantrel
