// The synchronizer against the reference web service (php -S on loopback,
// a fresh database): items arrive once and are confirmed, deletions follow,
// results go in requests of a thousand and a failed one sends the whole
// batch again without the service storing anything twice.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "core/watch_types.h"
#include "platform/manual_main_loop.h"
#include "support/peer_scripted_server.h"
#include "support/test_files.h"
#include "support/test_process.h"
#include "sync/synchronizer.h"
#include "text/codings.h"

namespace vantrel {
namespace {

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// The service with its database in a folder of its own; its second stats
// request fails on purpose.
class TService {
 public:
  TService()
      : Port_(FreePort()),
        Env_({"VANTREL_SERVICE_DB=" + (Dir_ / "service.sqlite").string(),
              "VANTREL_SERVICE_FAIL_STATS_CHUNK=2"}),
        Server_({"php", "-S", "127.0.0.1:" + std::to_string(Port_), "-t", VANTREL_SERVICE_DIR},
                {.Environment = Env_}) {}

  bool Ok() { return Server_.Started() && test::WaitForPort(Server_, Port_, 20000); }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port_); }
  // admin.php with `args`; its output.
  std::string Admin(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"php", std::string(VANTREL_SERVICE_DIR) + "/admin.php"};
    argv.insert(argv.end(), args.begin(), args.end());
    test::TTestProcess admin(argv, {.Environment = Env_});
    EXPECT_EQ(admin.Wait(30000), 0) << admin.Errors();
    return admin.Output();
  }

 private:
  test::TTempDir Dir_;
  int Port_;
  std::vector<std::string> Env_;
  test::TTestProcess Server_;
};

// The monitor's side of a run, recorded.
class THost final : public TSyncHost {
 public:
  TServiceAddress BeginSync() override { return Address; }
  void ApplyServiceItems(const TServerItemList& items) override { Applied.push_back(items); }
  THistoryArray ReadResultsBatch() override { return Batch; }
  void CommitResultsBatch() override { Batch.clear(); }
  void EndSync(const std::string&, std::int32_t items, std::int32_t stats,
               const std::string& problem) override {
    Codes = std::to_string(items) + "/" + std::to_string(stats) + problem;
  }

  TServiceAddress Address;
  std::vector<TServerItemList> Applied;
  THistoryArray Batch;
  std::string Codes;
};

// One periodic run on its own thread while this one serves the main loop.
void RunOnce(THost& host) {
  TManualClock clock;
  TManualMainLoop loop(clock);
  bool done = false;
  std::thread run([&] {
    EXPECT_TRUE(TSynchronizer::Run(loop, host));
    done = true;
  });
  while (!done) {
    if (loop.WaitForPending(std::chrono::milliseconds(50)))
      loop.RunPending();
  }
  run.join();
}

TEST(SyncPeer, ItemsArriveOnceDeletionsFollowAndResultsAreSentWholeUntilTaken) {
  TService service;
  ASSERT_TRUE(service.Ok());
  service.Admin({"password", "secret"});
  service.Admin({"user", "add", "ann", "--email", "ann@x.test", "--name", "Ann Example"});
  service.Admin({"item", "add", "--owner", "ann", "--name", "Home", "--url", "http://127.0.0.1/",
                 "--search", "Welcome", "--frequency", "300"});
  THost host;
  // The address as the settings give it: no final slash.
  host.Address = {service.Url(), MD5Hex("secret"), {}};
  host.Address.Url += "/";

  RunOnce(host);
  ASSERT_EQ(host.Applied.size(), 1u);
  ASSERT_EQ(host.Applied[0].size(), 1u);
  const TServerItem& home = host.Applied[0][0];
  EXPECT_EQ(home.Username, "ann");
  EXPECT_EQ(home.UserFullName, "Ann Example");
  EXPECT_EQ(home.SearchText, "Welcome");
  EXPECT_EQ(home.Frequency, 300);
  EXPECT_EQ(host.Codes, "200/0");

  // Confirmed: nothing new; then the deletion arrives.
  RunOnce(host);
  EXPECT_EQ(host.Applied.size(), 1u);
  service.Admin({"item", "delete", std::to_string(home.ServiceId)});
  RunOnce(host);
  ASSERT_EQ(host.Applied.size(), 2u);
  EXPECT_LT(host.Applied[1].at(0).State, 0);

  // 2,500 results: the second request fails, so all go again next time.
  const TDateTime noon = EncodeDateTime(2024, 3, 1, 12, 0, 0);
  for (int i = 0; i < 2500; ++i)
    host.Batch.push_back({static_cast<std::uint32_t>(home.ServiceId), i % 2 == 0,
                          IncSeconds(noon, i), 100 + i, i % 2 == 0 ? 200 : 408});
  RunOnce(host);
  EXPECT_EQ(host.Codes, "200/500");
  EXPECT_EQ(host.Batch.size(), 2500u);
  RunOnce(host);
  EXPECT_EQ(host.Codes, "200/200");
  EXPECT_TRUE(host.Batch.empty());
  const std::string results =
      service.Admin({"results", std::to_string(home.ServiceId), "--last", "5000"});
  // Each result once (a heading line, then one line a result), with its time.
  EXPECT_EQ(std::count(results.begin(), results.end(), '\n'), 2501);
  EXPECT_NE(results.find("\tok\t1709294400\t2024-03-01 12:00:00\t100\t200\n"), std::string::npos);

  // A wrong password: the run goes on to its end with the service's 401.
  host.Address.PasswordDigest = MD5Hex("wrong");
  RunOnce(host);
  EXPECT_EQ(host.Codes, "401/0");
  EXPECT_EQ(ServiceTestMessage(401), "The password is incorrect. Please check service password.");
}

// A service that answers garbage, or nothing at all (code 0: no status line):
// nothing is applied or confirmed, the run ends (so the next one starts) and
// says why.
TEST(SyncPeer, AnswersThatCannotBeReadApplyNothing) {
  for (const std::string answer : {"HTTP/1.0 200 OK\r\n\r\nMTIzCmFubgo=", ""}) {
    SCOPED_TRACE(answer);
    test::TScriptedPeer peer([&answer](test::TPeerConnection& connection) {
      connection.ReceiveUntil("\r\n\r\n");
      connection.Send(answer);
    });
    ASSERT_TRUE(peer.Ok()) << peer.Error();
    THost host;
    host.Address = {"http://127.0.0.1:" + peer.Port() + "/", MD5Hex("secret"), {}};
    RunOnce(host);
    EXPECT_TRUE(host.Applied.empty());
    EXPECT_EQ(host.Codes, answer.empty() ? "0/0"
                                         : "200/0the item list could not be read: record 1 is "
                                           "cut short");
  }
}

}  // namespace
}  // namespace vantrel
