// The web service from the command line and the headless monitor: the
// settings switch it on with the password's digest, "sync --test" and "sync"
// take its items, and "run" synchronizes on its timer, uploading the results
// of the service's items.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "support/peer_scripted_server.h"
#include "support/test_process.h"

namespace vantrel::test {
namespace {

TEST_F(E2eTest, ServiceItemsArriveByCommandAndTheMonitorSynchronizesOnItsTimer) {
  const TTempDir db;
  const std::vector<std::string> env = {"VANTREL_SERVICE_DB=" + (db / "service.sqlite").string()};
  const auto admin = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"php", std::string(VANTREL_SERVICE_DIR) + "/admin.php"});
    TTestProcess tool(args, {.Environment = env});
    EXPECT_EQ(tool.Wait(30000), 0) << tool.Errors();
    return tool.Output();
  };
  admin({"password", "secret"});
  admin({"user", "add", "ann", "--email", "ann@x.test", "--name", "Ann Example"});
  admin({"item", "add", "--owner", "ann", "--name", "Home", "--url", "127.0.0.1", "--type", "ping",
         "--frequency", "1"});
  // In the monitor's namespace, where the monitor reaches it.
  TTestProcess service({"php", "-S", "127.0.0.1:8080", "-t", VANTREL_SERVICE_DIR},
                       {.NetNamespace = Net_->Path(), .Environment = env});
  ASSERT_TRUE(service.Started()) << service.Error();

  for (const auto& [key, value] : {std::pair{"Service.ServiceUrl", "http://127.0.0.1:8080"},
                                   {"Service.ServicePassword", "wrong"}}) {
    ASSERT_EQ(Cli_.Tool({"settings", "set", key, value}).Status, 0);
  }
  const auto inNamespace = [&](const std::vector<std::string>& args) {
    std::unique_ptr<TCliRun> tool = Cli_.Start(args, Net_->Path());
    const std::optional<int> status = tool->StopWith(0, Scaled(30000));
    return std::pair{status.value_or(-1), tool->Transcript()};
  };
  // The service may still be starting: the test is tried until it answers.
  std::pair<int, std::string> test;
  ASSERT_TRUE(WaitUntil(
      [&] {
        test = inNamespace({"sync", "--test"});
        return test.second.find("password is incorrect") != std::string::npos;
      },
      Scaled(20000)))
      << test.second;
  EXPECT_EQ(test.first, 1);
  ASSERT_EQ(Cli_.Tool({"settings", "set", "Service.ServicePassword", "secret"}).Status, 0);
  EXPECT_EQ(inNamespace({"sync", "--test"}).first, 0);
  EXPECT_EQ(inNamespace({"sync"}).first, 1);  // switched off: nothing taken

  ASSERT_EQ(Cli_.Tool({"settings", "set", "Service.ServiceStatus", "on"}).Status, 0);
  ASSERT_EQ(Cli_.Tool({"settings", "set", "Service.ServiceFrequency", "1"}).Status, 0);
  const std::pair<int, std::string> sync = inNamespace({"sync"});
  ASSERT_EQ(sync.first, 0) << sync.second;
  const std::vector<QJsonObject> items = ListItems();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].value("Username").toString().toStdString(), "ann");

  // The monitor checks the item and, each second, uploads what it found.
  std::unique_ptr<TCliRun> run = StartMonitor();
  ASSERT_TRUE(run != nullptr);
  EXPECT_TRUE(WaitUntil(
      [&] {
        const std::string results = admin({"results"});
        return results.find("\tHome\tok\t") != std::string::npos;
      },
      Scaled(30000)));
  StopMonitor(*run);
  const std::string log = EventLog();
  EXPECT_NE(log.find("Start synchronization http://127.0.0.1:8080/"), std::string::npos) << log;
  EXPECT_NE(log.find("Response Code: 200/200"), std::string::npos) << log;

  // Switched off, the service's items are no longer checked.
  ASSERT_EQ(Cli_.Tool({"settings", "set", "Service.ServiceStatus", "off"}).Status, 0);
  EXPECT_FALSE(ListItems().at(0).value("Active").toBool());
}

}  // namespace
}  // namespace vantrel::test
