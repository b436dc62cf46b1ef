#include "alerts/recipients.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

using Entries = std::vector<std::string>;

TEST(RecipientsTest, SplitsAtSemicolonsBlanksAndQuotesAsTheMailDoes) {
  EXPECT_EQ(SplitRecipients("a@x.example; b@y.example"), (Entries{"a@x.example", "b@y.example"}));
  EXPECT_EQ(SplitRecipients("  a@x.example;b@y.example  "),
            (Entries{"a@x.example", "b@y.example"}));
  // A display name with a blank falls apart into entries.
  EXPECT_EQ(SplitRecipients("Jo Doe <j@x.example>"), (Entries{"Jo", "Doe", "<j@x.example>"}));
  EXPECT_EQ(SplitRecipients("\"Doe; \"\"Jo\"\"\" ;k@x.example"),
            (Entries{"Doe; \"Jo\"", "k@x.example"}));
  // A trailing separator asks for an empty last recipient.
  EXPECT_EQ(SplitRecipients("a@x.example;"), (Entries{"a@x.example", ""}));
  EXPECT_EQ(SplitRecipients(""), Entries{});
}

}  // namespace
}  // namespace vantrel
