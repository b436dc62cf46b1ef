// An item going down and coming back up, watched by the headless monitor:
// its alarm mails reach a real mail server, its command runs with what
// happened in its environment, its alarm pages are written, and a hostile
// name neither leaves the private folder nor runs anything.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e_fixture.h"
#include "support/test_env.h"
#include "support/test_process.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

// Waits for `path` to appear (a command started by the monitor writes it).
bool WaitForFile(const fs::path& path, int timeoutMs) {
  return WaitUntil([&] { return fs::exists(path); }, timeoutMs);
}

// The monitor's line of the item going "DOWN" or coming back "UP" (the item's
// name or a folder in it may hold those letters too).
TCliRun::TLineTest AlarmLine(const std::string& state) {
  return [state](const std::string& line) {
    return line.find("*** ") != std::string::npos && line.ends_with("  " + state);
  };
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

TEST_F(E2eTest, AlarmAndResetMailRunAndWriteAsTheItemSays) {
  const TTempDir tmp;
  // The mail server in the monitor's namespace, on a port of its own.
  TTestProcess smtp({"/usr/bin/python3", VANTREL_SMTP_SERVER, "--port", "2525", "--mechanisms",
                     "LOGIN", "--user", "ops", "--password", "pw"},
                    {.NetNamespace = Net_->Path()});
  ASSERT_TRUE(smtp.Started()) << smtp.Error();
  // Listening before the first alarm, which would otherwise find no server
  // when the machine is busy.
  ASSERT_TRUE(WaitUntil(
      [&] { return smtp.Output().find(R"("event": "port")") != std::string::npos; }, Scaled(20000)))
      << smtp.Output();
  std::unique_ptr<TNginxPeer> nginx = StartNginx();
  ASSERT_TRUE(nginx != nullptr && nginx->Ok()) << (nginx ? nginx->Error() : "");
  nginx->WriteDocument("state.html", "DOWN");
  // The monitor's temporary folder, which holds nothing else.
  const TEnvGuard tmpdir("TMPDIR", tmp.Path().string());

  for (const auto& [key, value] : {std::pair{"Mail.Server", "127.0.0.1:2525"},
                                   {"Mail.Address", "monitor@x.test"},
                                   {"Mail.ServerAuth", "on"},
                                   {"Mail.Account", "ops"},
                                   {"Mail.Password", "pw"}}) {
    const TToolResult set = Cli_.Tool({"settings", "set", key, value});
    ASSERT_EQ(set.Status, 0) << set.Describe();
  }
  const fs::path seen = tmp / "seen";
  const std::string name = "../../x;$(touch " + (tmp / "pwned").string() + ")";
  ASSERT_GT(AddItem({"--url", nginx->Url("/state.html"), "--name", name, "--search", "UP",
                     "--frequency", "1", "--alarm-trigger", "1", "--alarm-reset", "1", "--email",
                     "ops@x.test", "--email-type", "sms", "--command",
                     "/bin/sh -c 'env | grep ^VANTREL_ | sort > \"$0.tmp\" && mv \"$0.tmp\" "
                     "\"$0.$VANTREL_STATUS\"' " +
                         seen.string()}),
            0);

  std::unique_ptr<TCliRun> run = StartMonitor();
  ASSERT_TRUE(run != nullptr);
  ASSERT_TRUE(run->WaitForLine(AlarmLine("DOWN"), Scaled(20000))) << run->Transcript();
  ASSERT_TRUE(WaitForFile(seen.string() + ".Down", Scaled(10000)));
  nginx->WriteDocument("state.html", "UP");
  ASSERT_TRUE(run->WaitForLine(AlarmLine("UP"), Scaled(20000))) << run->Transcript();
  ASSERT_TRUE(WaitForFile(seen.string() + ".Up", Scaled(10000)));
  // Both mails delivered before the stop, which would give up a slow one.
  EXPECT_TRUE(
      WaitUntil([&] { return Count(smtp.Output(), R"("event": "data")") == 2; }, Scaled(20000)))
      << smtp.Output();
  StopMonitor(*run);
  smtp.Stop();

  // Two mails, the SMS text of each state, sent after logging in.
  const std::string received = smtp.Output();
  EXPECT_NE(received.find(R"("mechanism": "LOGIN", "ok": true)"), std::string::npos) << received;
  EXPECT_NE(received.find("is Down"), std::string::npos) << received;
  EXPECT_NE(received.find("is Up"), std::string::npos) << received;
  EXPECT_NE(received.find("Subject: Alarm Down - "), std::string::npos) << received;
  const std::string down = ReadFileBytes(seen.string() + ".Down");
  EXPECT_NE(down.find("VANTREL_ITEM_NAME=" + name + "\n"), std::string::npos) << down;
  EXPECT_NE(down.find("VANTREL_RESPONSE_CODE=220\n"), std::string::npos) << down;
  EXPECT_NE(down.find("VANTREL_RESPONSE_TEXT="), std::string::npos) << down;

  // The pages stayed in the private folder; nothing in the name ran.
  const fs::path pages = tmp / ("vantrel-" + std::to_string(::getuid()));
  int count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(tmp.Path())) {
    if (entry.path().extension() == ".html") {
      EXPECT_EQ(entry.path().parent_path(), pages);
      ++count;
    }
  }
  EXPECT_EQ(count, 1);  // the reset's page replaced the alarm's
  EXPECT_FALSE(fs::exists(tmp / "pwned"));
}

}  // namespace
}  // namespace vantrel::test
