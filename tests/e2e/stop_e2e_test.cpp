// SIGTERM stops the monitor within its time even while every checker it may
// run waits on a real connection to a server that never answers. (What the
// stop saves is proven in the controller's tests.)

#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "e2e_fixture.h"

namespace vantrel::test {
namespace {

// A tick starts new checkers only while fewer than this run.
constexpr int kRunningLimit = 32;

void Silent(TPeerConnection& connection) {
  connection.ReceiveUntilClosed(120000);
}

TEST_F(E2eTest, SigtermWhileEveryCheckerWaitsOnSilentServers) {
  std::unique_ptr<TScriptedPeer> web = StartScripted(Silent, TPeerOptions{.Backlog = 128});
  ASSERT_TRUE(web != nullptr && web->Ok()) << (web ? web->Error() : "");
  // A mail server that accepts and never greets, on the port the SMTP check
  // connects to.
  std::unique_ptr<TScriptedPeer> mail =
      StartScripted(Silent, TPeerOptions{.Port = 25, .Backlog = 128});
  ASSERT_TRUE(mail != nullptr && mail->Ok()) << (mail ? mail->Error() : "");
  for (int i = 0; i < kRunningLimit / 2; ++i) {
    AddItem({"--url", "http://127.0.0.1:" + web->Port() + "/page" + std::to_string(i), "--type",
             "download", "--frequency", "1"});
    AddItem({"--url", "127.0.0.1", "--type", "smtp", "--frequency", "1"});
  }

  auto run = StartMonitor();
  ASSERT_TRUE(run != nullptr);
  ASSERT_TRUE(
      WaitUntil([&] { return web->Accepted() + mail->Accepted() >= kRunningLimit; }, Scaled(20000)))
      << run->Transcript();
  StopMonitor(*run, SIGTERM);
  // The cancelled checks recorded nothing.
  EXPECT_EQ(run->Count(Contains("FAILED")) + run->Count(Contains("  OK  ")), 0u)
      << run->Transcript();
}

}  // namespace
}  // namespace vantrel::test
