#include "core/response_codes.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(HttpCodeText, OwnCodesHaveTheirTexts) {
  EXPECT_EQ(HttpCodeText(kResponseNotResponded), "Not Responded");
  EXPECT_EQ(HttpCodeText(kResponseOk), "OK");
  EXPECT_EQ(HttpCodeText(kResponseSearchFailed), "Search Content Failed");
  EXPECT_EQ(HttpCodeText(kResponseTimeout), "Request Timeout");
  EXPECT_EQ(HttpCodeText(kResponseConnectionFailed), "Connection Failed");
  EXPECT_EQ(HttpCodeText(kResponseRequestFailed), "Internal Server Error");
}

TEST(HttpCodeText, FirstAndLastEntriesOfTheTableAreFound) {
  EXPECT_EQ(HttpCodeText(100), "Continue");
  EXPECT_EQ(HttpCodeText(504), "Gateway Timeout");
  EXPECT_EQ(HttpCodeText(203), "Non-Authoritative");
  EXPECT_EQ(HttpCodeText(406), "None Acceptable");
  EXPECT_EQ(HttpCodeText(407), "Authentication Required");
  EXPECT_EQ(HttpCodeText(412), "Unless True");
  EXPECT_EQ(HttpCodeText(305), "Use Proxy");
}

TEST(HttpCodeText, CodesOutsideTheTableGiveNoText) {
  for (const int code : {-1, 1, 99, 207, 221, 306, 413, 419, 421, 499, 505, 999})
    EXPECT_EQ(HttpCodeText(code), "") << code;
}

}  // namespace
}  // namespace vantrel
