#pragma once

// What every end-to-end test starts from: an empty data folder with the event
// log switched on, vantrel-cli on it, and a network namespace (online, see
// TOnlineNamespace) in which the monitor and the servers it checks run, so
// that the services can have their standard ports and nothing on the machine
// is touched.

#include <gtest/gtest.h>

#include <QJsonObject>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/history_record.h"
#include "support/cli_program.h"
#include "support/peer_nginx.h"
#include "support/peer_online_netns.h"
#include "support/peer_scripted_server.h"
#include "support/test_files.h"

namespace vantrel::test {

// Waits are bounded; $VANTREL_E2E_SLOWDOWN (a whole number, 1 by default)
// stretches them for slow builds such as ThreadSanitizer's.
int Scaled(int ms);

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // `items add ARGS`; the new item's Id (0 after a failure, which is reported).
  std::int32_t AddItem(const std::vector<std::string>& args) const;
  // `items list --json`, parsed; fails the test when it does not succeed.
  std::vector<QJsonObject> ListItems() const;
  // The item of `items list --json` with this Id; an empty object when none.
  static QJsonObject ItemWithId(const std::vector<QJsonObject>& items, std::int32_t id);

  // `run` inside the namespace, once it has said that it is connected; null
  // (and a failure) otherwise.
  std::unique_ptr<TCliRun> StartMonitor() const;
  // SIGTERM (or `signal`) and a clean exit with everything saved, within the
  // time a stop may take.
  void StopMonitor(TCliRun& run, int signal = 15) const;

  std::string EventLog() const { return ReadFileBytes(Cli_.File("vantrel.log")); }
  // The response history, read with the program's own reader; `problems`
  // gets what the reader reported or threw.
  std::vector<THistoryRecord> HistoryRecords(std::string* problems = nullptr) const;

  // Servers inside the namespace: created on a thread that has entered it,
  // so their sockets (and nginx) live there.
  std::unique_ptr<TNginxPeer> StartNginx();
  std::unique_ptr<TScriptedPeer> StartScripted(TScriptedPeer::TScript script,
                                               TPeerOptions options = {});

  TTempDir Data_;
  TCli Cli_{Data_.Path()};
  std::unique_ptr<TOnlineNamespace> Net_;
};

}  // namespace vantrel::test
