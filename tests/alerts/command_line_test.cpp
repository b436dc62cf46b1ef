// Commands of alarms are started without a shell: what an item's texts hold
// stays text.

#include "alerts/command_line.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "alerts/headless_desktop.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using Words = std::vector<std::string>;

TEST(CommandLineTest, ProgramThenShellLikeWordsWithoutTheShell) {
  const TCommandParts quoted = SplitCommandLine("  \"/opt/my tools/notify\" -x  'a b' ");
  EXPECT_EQ(quoted.Program, "/opt/my tools/notify");
  EXPECT_EQ(SplitArguments(quoted.Parameters), (Words{"-x", "a b"}));
  EXPECT_EQ(SplitCommandLine("notify").Program, "notify");
  EXPECT_EQ(SplitArguments(R"(a\ b "c \"d\" \x" ; $(rm -rf x) |y)"),
            (Words{"a b", "c \"d\" \\x", ";", "$(rm", "-rf", "x)", "|y"}));
  EXPECT_TRUE(IsWebAddress("HTTPS://example.test/"));
  EXPECT_FALSE(IsWebAddress("/usr/bin/http://"));
}

TEST(CommandLineTest, SpawnedCommandGetsItsArgumentsAndVariablesVerbatim) {
  const test::TTempDir dir;
  const std::string out = (dir / "out").string();
  // The arguments reach the program as they are: nothing in them is run.
  const pid_t pid = SpawnCommand(
      "/bin/sh",
      {"-c", "printf '%s|' \"$1\" \"$VANTREL_ITEM_NAME\" > \"$2\"", "sh", "$(touch x);`id`", out},
      {{"VANTREL_ITEM_NAME", "a;b $(c)"}});
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_EQ(test::ReadFileBytes(out), "$(touch x);`id`|a;b $(c)|");
  EXPECT_EQ(SpawnCommand("/nonexistent/program", {}, {}), -1);
}

}  // namespace
}  // namespace vantrel
