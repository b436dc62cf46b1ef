#include "e2e_fixture.h"

#include <signal.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "storage/file_errors.h"
#include "storage/file_system_format.h"
#include "storage/history_file.h"

namespace vantrel::test {

namespace {

// A stop must end within 2 s; the wait allows more so that a slow stop is
// measured and reported instead of cut off.
constexpr int kStopLimitMs = 2000;

}  // namespace

int Scaled(int ms) {
  const char* text = std::getenv("VANTREL_E2E_SLOWDOWN");
  const int factor = text != nullptr ? std::atoi(text) : 1;
  return ms * (factor > 1 ? factor : 1);
}

void E2eTest::SetUp() {
  Net_ = std::make_unique<TOnlineNamespace>();
  ASSERT_TRUE(Net_->Ok()) << Net_->Error();
  // The event log on; the connection test off, so that a failure never sends
  // anything beyond loopback.
  WriteFileBytes(Cli_.File("vantrel.ini"), "[Preferences]\nLogType=1\n[Internet]\nPingStatus=0\n");
}

std::int32_t E2eTest::AddItem(const std::vector<std::string>& args) const {
  std::vector<std::string> command{"items", "add"};
  command.insert(command.end(), args.begin(), args.end());
  const TToolResult result = Cli_.Tool(command);
  EXPECT_EQ(result.Status, 0) << result.Describe();
  const long id = std::strtol(result.Out.c_str(), nullptr, 10);
  EXPECT_GT(id, 0) << "no Id printed: " << result.Describe();
  return static_cast<std::int32_t>(id);
}

std::vector<QJsonObject> E2eTest::ListItems() const {
  const TToolResult result = Cli_.Tool({"items", "list", "--json"});
  EXPECT_EQ(result.Status, 0) << result.Describe();
  QJsonParseError error{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray::fromStdString(result.Out), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n"
                                                   << result.Out;
  EXPECT_TRUE(document.isArray()) << result.Out;
  std::vector<QJsonObject> items;
  for (const QJsonValue& value : document.array())
    items.push_back(value.toObject());
  return items;
}

QJsonObject E2eTest::ItemWithId(const std::vector<QJsonObject>& items, std::int32_t id) {
  for (const QJsonObject& item : items) {
    if (item.value("Id").toInt() == id)
      return item;
  }
  return {};
}

std::unique_ptr<TCliRun> E2eTest::StartMonitor() const {
  auto run = Cli_.Start({"run"}, Net_->Path());
  EXPECT_TRUE(run->Started()) << run->Error();
  if (!run->Started())
    return nullptr;
  const bool connected =
      run->WaitForLine(Contains("Connection: Connected"), Scaled(20000)).has_value();
  EXPECT_TRUE(connected) << run->Transcript();
  if (!connected)
    return nullptr;
  return run;
}

void E2eTest::StopMonitor(TCliRun& run, int signal) const {
  std::chrono::milliseconds took{};
  const std::optional<int> code = run.StopWith(signal, Scaled(10000), &took);
  ASSERT_TRUE(code.has_value()) << "still running 10 s after the signal\n" << run.Transcript();
  EXPECT_EQ(*code, 0) << run.Transcript();
  EXPECT_LE(took.count(), Scaled(kStopLimitMs)) << "the stop took " << took.count() << " ms";
  std::cout << "the monitor stopped " << took.count() << " ms after signal " << signal << std::endl;
  EXPECT_TRUE(run.WaitForLine(Contains("Stopped; the settings, the watch list and the history "
                                       "are saved."),
                              0)
                  .has_value())
      << run.Transcript();
}

std::vector<THistoryRecord> E2eTest::HistoryRecords(std::string* problems) const {
  std::vector<THistoryRecord> records;
  const std::string name = Cli_.File("vantrel.vth").string();
  std::string reported;
  THistoryFile file(name, kHistorySignature, kHistoryVersion,
                    [&reported](const std::string& message) { reported += message + "\n"; });
  try {
    if (file.Exists()) {
      THistoryReader reader(file);
      THistoryRecord record;
      while (reader.Next(record))
        records.push_back(record);
    }
  } catch (const std::exception& error) {
    reported += std::string("thrown: ") + error.what() + "\n";
  }
  if (problems != nullptr)
    *problems = reported;
  return records;
}

std::unique_ptr<TNginxPeer> E2eTest::StartNginx() {
  std::unique_ptr<TNginxPeer> nginx;
  const bool entered =
      Net_->Namespace().RunOnThread([&nginx] { nginx = std::make_unique<TNginxPeer>(); });
  EXPECT_TRUE(entered) << "cannot enter the namespace";
  return nginx;
}

std::unique_ptr<TScriptedPeer> E2eTest::StartScripted(TScriptedPeer::TScript script,
                                                      TPeerOptions options) {
  std::unique_ptr<TScriptedPeer> peer;
  const bool entered = Net_->Namespace().RunOnThread(
      [&] { peer = std::make_unique<TScriptedPeer>(std::move(script), options); });
  EXPECT_TRUE(entered) << "cannot enter the namespace";
  return peer;
}

}  // namespace vantrel::test
