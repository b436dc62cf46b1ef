#include "storage/log_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

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
  std::uint8_t logType_ = TLogFile::UnlimitedLog;
  std::vector<std::string> reports_;
  const std::string title_ = TLogFile::TitleLine() + "\r\n";
  const std::string stamp_ = "[12/05/26 09:07:03]: ";
};

TEST_F(LogFileTest, LogTypeDecidesWhatHappensToTheOldEntries) {
  const std::string old = title_ + "[old]: entry\r\n";
  const struct {
    std::uint8_t Type;
    bool Existing;
    std::string Expected;
  } cases[] = {{TLogFile::NoLog, false, title_},  // a missing log is still created
               {TLogFile::ResetLog, true, title_ + stamp_ + "new\r\n"},
               {TLogFile::UnlimitedLog, true, old + stamp_ + "new\r\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int{c.Type});
    std::filesystem::remove(path_);
    if (c.Existing)
      WriteFileBytes(path_, old);
    logType_ = c.Type;
    TLogFile log = MakeLog();
    log.Add("new");
    EXPECT_EQ(ReadFileBytes(path_), c.Expected);
  }
}

TEST_F(LogFileTest, LogTypeIsReadAtEveryEntry) {
  TLogFile log = MakeLog();
  log.Add("one");
  logType_ = TLogFile::NoLog;
  log.Add("dropped");
  logType_ = TLogFile::UnlimitedLog;
  log.Add("Response Page: \r\n<html>\r\n</html>");  // one time stamp for every line
  EXPECT_EQ(ReadFileBytes(path_),
            title_ + stamp_ + "one\r\n" + stamp_ + "Response Page: \r\n<html>\r\n</html>\r\n");
}

// The log stays open between entries, yet every entry goes to the file that
// is at the path then.
TEST_F(LogFileTest, AfterItsFileWasDeletedRenamedOrEmptiedTheLogStartsAgainWithItsTitle) {
  const std::filesystem::path rotated = dir_ / "vantrel.log.1";
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"deleted", [&] { std::filesystem::remove(path_); }},
      {"renamed", [&] { std::filesystem::rename(path_, rotated); }},
      {"emptied", [&] { std::filesystem::resize_file(path_, 0); }},
  };
  for (const auto& [change, apply] : changes) {
    SCOPED_TRACE(change);
    std::filesystem::remove(path_);
    std::filesystem::remove(rotated);
    TLogFile log = MakeLog();
    log.Add("before");
    apply();
    log.Add("after");
    EXPECT_EQ(ReadFileBytes(path_), title_ + stamp_ + "after\r\n");
    if (std::filesystem::exists(rotated)) {
      EXPECT_EQ(ReadFileBytes(rotated), title_ + stamp_ + "before\r\n");
    }
  }
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
  EXPECT_EQ(ReadFileBytes(path_), title_ + stamp_ + "back\r\n");

  std::filesystem::remove(path_);
  std::filesystem::create_directory(path_);  // a new failure is news again
  log.Add("lost 3");
  EXPECT_EQ(reports_.size(), 2u);

  TLogFile full("/dev/full", {[] { return TLogFile::UnlimitedLog; }, NowDateTime,
                              [this](const std::string& m) { reports_.push_back(m); }});
  EXPECT_NO_THROW(full.Add("entry"));
  ASSERT_EQ(reports_.size(), 3u);
  EXPECT_NE(reports_[2].find("No space left"), std::string::npos);
}

}  // namespace
}  // namespace vantrel
