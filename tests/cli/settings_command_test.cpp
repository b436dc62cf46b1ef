// `settings`: values go through the settings store's own checks, and
// passwords are stored but never shown.

#include "cli/settings_command.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace vantrel {
namespace {

TEST(SettingsCommandTest, ValuesAreCheckedStoredAndPasswordsNeverShown) {
  const test::TTempDir folder;
  std::ostringstream out;
  std::ostringstream err;
  const auto run = [&](const std::vector<std::string>& args) {
    out.str("");
    return SettingsCommand({.DataDir = folder.Path(), .Out = out, .Err = err}, args);
  };
  EXPECT_EQ(run({"set", "Mail.Password", "s3cret"}), kExitOk);
  EXPECT_EQ(run({"set", "Subject", "Two\nlines"}), kExitOk);
  EXPECT_EQ(run({"set", "ServerAuth", "on"}), kExitOk);
  // Refused as loading the file would refuse it; nothing is written.
  EXPECT_THROW(run({"set", "AutosaveFrequency", "0"}), std::runtime_error);
  EXPECT_THROW(run({"set", "Address", "x"}), EUsageError);  // Mail or Proxy?
  EXPECT_THROW(run({"set", "Mail.Server", "a\r\nb"}), EUsageError);

  EXPECT_EQ(run({"get", "Mail.Password"}), kExitOk);
  EXPECT_EQ(out.str(), "(set)\n");
  EXPECT_EQ(run({"list"}), kExitOk);
  EXPECT_EQ(out.str().find("s3cret"), std::string::npos);
  EXPECT_NE(out.str().find("Message.Subject = Two\nlines\n"), std::string::npos);
  EXPECT_NE(out.str().find("Mail.ServerAuth = on\n"), std::string::npos);
  EXPECT_NE(out.str().find("Preferences.AutosaveFrequency = 15\n"), std::string::npos);
  const std::string file = test::ReadFileBytes(folder / "vantrel.ini");
  EXPECT_NE(file.find("Password=s3cret"), std::string::npos);
}

}  // namespace
}  // namespace vantrel
