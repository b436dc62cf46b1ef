// The option parser: what it accepts, and what its errors say.

#include "cli/cli_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

const std::vector<TOptionSpec> kSpecs = {
    {"--name", "TEXT"}, {"--frequency", "SECONDS"}, {"--report-id", "ID"}, {"--json", ""},
    {"--help", ""},
};

std::string ErrorOf(const std::vector<std::string>& args) {
  try {
    ParseArgs(args, kSpecs);
  } catch (const EUsageError& e) {
    return e.what();
  }
  return "no error";
}

TEST(CliArgs, OptionsKeepTheirOrderValuesAndPositionals) {
  const TParsedArgs args = ParseArgs(
      {"--name", "a b", "5", "--frequency=30", "--json", "--report-id", "-1", "--name=", "-h"},
      kSpecs);
  EXPECT_EQ(args.Positionals, std::vector<std::string>{"5"});
  ASSERT_EQ(args.Options.size(), 6u);
  EXPECT_EQ(args.Options[2].Name, "--json");
  EXPECT_EQ(args.Value("--frequency"), "30");
  EXPECT_EQ(args.Value("--report-id"), "-1");  // a negative number is a value
  EXPECT_EQ(args.Value("--name"), "");         // the last one counts
  EXPECT_TRUE(args.Has("--help"));             // -h
  EXPECT_EQ(args.Value("--colour"), std::nullopt);
}

TEST(CliArgs, DoubleDashEndsTheOptions) {
  const TParsedArgs args = ParseArgs({"--json", "--", "--name", "-"}, kSpecs);
  EXPECT_EQ(args.Positionals, (std::vector<std::string>{"--name", "-"}));
}

TEST(CliArgs, MistakesAreNamedWithAClosePossibleName) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--name"}, "--name needs a value (--name TEXT)"},
      // A forgotten value does not swallow the next option.
      {{"--name", "--json"}, "--name needs a value (--name TEXT)"},
      {{"--json=yes"}, "--json takes no value"},
      {{"--frequncy=5"}, "unknown option '--frequncy' (did you mean --frequency?)"},
      {{"--nmae", "x"}, "unknown option '--nmae' (did you mean --name?)"},
      {{"--report"}, "unknown option '--report'"},
      {{"-x"}, "unknown option '-x'"},
  };
  for (const auto& [args, message] : cases)
    EXPECT_EQ(ErrorOf(args), message);
  EXPECT_THROW(ParseArgs({"-h"}, {{"--json", ""}}), EUsageError);  // no --help, no -h
}

TEST(CliArgs, NumbersWithinTheirRangeIncludingTheBoundsAndOthersNameTheOption) {
  const auto parsed = [](const char* text) {
    try {
      return std::to_string(ParseNumber("--count", text, -1, 9999));
    } catch (const EUsageError& e) {
      return std::string(e.what());
    }
  };
  for (const char* text : {"-1", "0", "9999"})
    EXPECT_EQ(parsed(text), text);
  for (const char* text : {"10000", "-2", "99999999999999999999"})
    EXPECT_EQ(parsed(text), "--count: " + std::string(text) + " is out of range (-1 to 9999)");
  for (const char* text : {"", "abc", "12abc", "1.5", "+5", " 5", "5 ", "0x10"})
    EXPECT_EQ(parsed(text), "--count: '" + std::string(text) + "' is not a whole number");
}

}  // namespace
}  // namespace vantrel
