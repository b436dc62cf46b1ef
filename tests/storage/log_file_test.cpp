#include "storage/log_file.h"

#include <gtest/gtest.h>

#include <vector>

#include "storage/settings.h"
#include "support/test_env.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

class LogFileTest : public ::testing::Test {
 protected:
  TLogFile MakeLog() {
    return TLogFile(
        path_, {[this] { return logType_; }, [] { return EncodeDateTime(2026, 12, 5, 9, 7, 3); },
                [this](const std::string& m) { reports_.push_back(m); }});
  }

  test::TLocaleGuard locale_{"C"};  // short date %m/%d/%y, long time %H:%M:%S
  test::TTempDir dir_;
  std::filesystem::path path_ = dir_ / "vantrel.log";
  std::uint8_t logType_ = TPreferences::UnlimitedLog;
  std::vector<std::string> reports_;
  const std::string title_ = TLogFile::TitleLine() + "\r\n";
};

TEST_F(LogFileTest, TitleIsProgramNameAndFourPartVersion) {
  EXPECT_TRUE(title_.rfind("Vantrel ", 0) == 0);
  EXPECT_EQ(std::count(title_.begin(), title_.end(), '.'), 3);
}

TEST_F(LogFileTest, NoLogStillCreatesAMissingFileWithItsTitleOnly) {
  logType_ = TPreferences::NoLog;
  TLogFile log = MakeLog();
  log.Add("Start checking x");
  EXPECT_EQ(ReadFileBytes(path_), title_);
}

TEST_F(LogFileTest, ResetLogKeepsOnlyThisRunsEntries) {
  WriteFileBytes(path_, title_ + "[old]: entry\r\n");
  logType_ = TPreferences::ResetLog;
  TLogFile log = MakeLog();
  log.Add("new");
  EXPECT_EQ(ReadFileBytes(path_), title_ + "[12/05/26 09:07:03]: new\r\n");
}

TEST_F(LogFileTest, UnlimitedLogAppendsToWhatIsThere) {
  WriteFileBytes(path_, title_ + "[old]: entry\r\n");
  TLogFile log = MakeLog();
  log.Add("new");
  EXPECT_EQ(ReadFileBytes(path_), title_ + "[old]: entry\r\n[12/05/26 09:07:03]: new\r\n");
}

TEST_F(LogFileTest, LogTypeIsReadAtEveryEntry) {
  TLogFile log = MakeLog();
  log.Add("one");
  logType_ = TPreferences::NoLog;
  log.Add("dropped");
  logType_ = TPreferences::UnlimitedLog;
  log.Add("two");
  EXPECT_EQ(ReadFileBytes(path_),
            title_ + "[12/05/26 09:07:03]: one\r\n[12/05/26 09:07:03]: two\r\n");
}

TEST_F(LogFileTest, MultiLineEntryHasOneTimeStamp) {
  TLogFile log = MakeLog();
  log.Add("Response Page: \r\n<html>\r\n</html>");
  EXPECT_EQ(ReadFileBytes(path_),
            title_ + "[12/05/26 09:07:03]: Response Page: \r\n<html>\r\n</html>\r\n");
}

TEST_F(LogFileTest, LogDeletedBetweenEntriesStartsAgainWithItsTitle) {
  TLogFile log = MakeLog();
  std::filesystem::remove(path_);
  log.Add("after");
  EXPECT_EQ(ReadFileBytes(path_), title_ + "[12/05/26 09:07:03]: after\r\n");
}

TEST_F(LogFileTest, FailedWritesAreReportedOnceAndNeverThrow) {
  std::filesystem::create_directory(path_);  // opening a folder for writing fails
  TLogFile log = MakeLog();                  // creating the title line fails: first report
  EXPECT_NO_THROW(log.Add("lost 1"));
  EXPECT_NO_THROW(log.Add("lost 2"));
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find(path_.string()), std::string::npos);
  EXPECT_TRUE(log.Failing());

  std::filesystem::remove(path_);  // the cause goes away: the next entry is written
  log.Add("back");
  EXPECT_FALSE(log.Failing());
  EXPECT_EQ(ReadFileBytes(path_), title_ + "[12/05/26 09:07:03]: back\r\n");

  std::filesystem::remove(path_);
  std::filesystem::create_directory(path_);  // a new failure is news again
  log.Add("lost 3");
  EXPECT_EQ(reports_.size(), 2u);
}

TEST_F(LogFileTest, FullDiskIsReportedNotThrown) {
  TLogFile log("/dev/full", {[] { return TPreferences::UnlimitedLog; }, NowDateTime,
                             [this](const std::string& m) { reports_.push_back(m); }});
  log.Add("entry");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("No space left"), std::string::npos);
}

}  // namespace
}  // namespace vantrel
