#include "text/escape.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

TEST(EscapeControls, ForgedLinesAndTerminalSequencesBecomeVisibleText) {
  struct TCase {
    std::string Text, Escaped, KeepingLines;
  };
  const std::vector<TCase> cases = {
      {"plain name", "plain name", "plain name"},
      {"a\r\n*** b DOWN", "a\\r\\n*** b DOWN", "a\r\n*** b DOWN"},
      {"\x1b[2J\tx", "\\x1b[2J\\tx", "\\x1b[2J\tx"},
      {std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f", "nul\\x00del\\x7f"},
      {"caf\xc3\xa9 \\x41", "caf\xc3\xa9 \\x41",
       "caf\xc3\xa9 \\x41"},  // UTF-8 and backslashes kept
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(EscapeControls(c.Text), c.Escaped);
    EXPECT_EQ(EscapeControlsKeepingLines(c.Text), c.KeepingLines);
    EXPECT_EQ(HasControls(c.Text), c.Escaped != c.Text);
  }
}

}  // namespace
}  // namespace vantrel
