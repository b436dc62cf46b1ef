// Item lists of the web service, well-formed and broken.

#include "sync/service_items.h"
#include "sync/service_results.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "text/codings.h"

namespace vantrel {
namespace {

// One record's lines: the last is "-" or a frequency and a separator.
std::string Record(const std::string& id, const std::string& state, const std::string& tail,
                   const std::string& type = "1") {
  return id + "\r\nann\nann@x.test\rAnn Example\n" + state + "\nShop\nhttp://shop.test/\n" + type +
         "\n" + EncodeBase64("Welcome, ann") + "\n" + tail + "\n";
}

TEST(ServiceItemsTest, RecordsWithAndWithoutAFrequency) {
  const TServiceItems read = ParseServiceItems(EncodeBase64(
      Record("7", "0", " - ") + Record("8", "-1", "300\n-") + Record("9", "2", "\n-")));
  ASSERT_EQ(read.Error, "");
  ASSERT_EQ(read.Items.size(), 3u);
  EXPECT_EQ(read.Items[0],
            (TServerItem{7, "ann", "ann@x.test", "Ann Example", 0, "Shop", "http://shop.test/",
                         TCheckType::Download, "Welcome, ann", 0}));
  EXPECT_EQ(read.Items[1].State, -1);
  EXPECT_EQ(read.Items[1].Frequency, 300);
  EXPECT_EQ(read.Items[2].Frequency, 0);  // an empty frequency line
  EXPECT_TRUE(ParseServiceItems("").Items.empty());
}

TEST(ServiceItemsTest, BrokenAnswersSayWhyAndBoundedAnswersRefuseTheRest) {
  const struct {
    const char* Name;
    std::string Text;
  } broken[] = {
      {"id that is no number", Record("x7", "0", "-")},
      {"state that is no number", Record("7", "up", "-")},
      {"frequency that is no number", Record("7", "0", "often\n-")},
      {"cut before its tenth line", Record("7", "0", "-").substr(0, 20)},
      {"frequency without its separator", Record("7", "0", "-") + Record("8", "0", "60")},
  };
  for (const auto& c : broken) {
    SCOPED_TRACE(c.Name);
    EXPECT_NE(ParseServiceItems(EncodeBase64(c.Text)).Error, "");
  }
  const TServiceItems bounded = ParseServiceItems(
      EncodeBase64(Record("1", "0", "-") + Record("2", "0", "-") + Record("3", "0", "-")), 2);
  EXPECT_EQ(bounded.Items.size(), 2u);
  EXPECT_EQ(bounded.Refused, 1u);
}

TEST(ServiceItemsTest, ResultsGoAsLocalSecondsInRequestsOfAThousand) {
  const TDateTime noon = EncodeDateTime(2024, 3, 1, 12, 0, 0);
  EXPECT_EQ(ServiceTime(noon), 1709294400);  // the local time read as UTC
  std::vector<THistoryRecord> records(2500, THistoryRecord{42, false, noon, 0, 408});
  records[0] = {7, true, noon, 120, 200};
  const std::vector<std::string> bodies = ServiceResultBodies(records);
  ASSERT_EQ(bodies.size(), 3u);
  const std::string first = DecodeBase64(bodies[0].substr(4));
  EXPECT_EQ(bodies[0].substr(0, 4), "his=");
  EXPECT_EQ(first.substr(0, 54), "7, -1, 1709294400, 120, 200\n42, 0, 1709294400, 0, 408\n");
  EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1000);
  const std::string last = DecodeBase64(bodies[2].substr(4));
  EXPECT_EQ(std::count(last.begin(), last.end(), '\n'), 500);
  EXPECT_TRUE(ServiceResultBodies({}).empty());
}

}  // namespace
}  // namespace vantrel
