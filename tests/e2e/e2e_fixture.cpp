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

int ResponseTimeOf(const std::string& line) {
  const std::size_t ms = line.rfind(" ms  ");
  if (ms == std::string::npos)
    return -1;
  const std::size_t start = line.rfind(' ', ms - 1);
  return std::atoi(line.substr(start + 1, ms - start - 1).c_str());
}

int Scaled(int ms) {
  const char* text = std::getenv("VANTREL_E2E_SLOWDOWN");
  const int factor = text != nullptr ? std::atoi(text) : 1;
  return ms * (factor > 1 ? factor : 1);
}

void E2eTest::SetUp() {
  Net_ = std::make_unique<TOnlineNamespace>();
  ASSERT_TRUE(Net_->Ok()) << Net_->Error();
  WriteSettings();
}

void E2eTest::WriteSettings(const std::vector<std::string>& extra) const {
  std::ofstream ini(Cli_.File("vantrel.ini"));
  // The event log on (appended to); the connection test off, so that a failure
  // never sends anything beyond loopback.
  ini << "[Preferences]\nLogType=1\n[Internet]\nPingStatus=0\n";
  for (const std::string& line : extra)
    ini << line << "\n";
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

std::unique_ptr<TMonitorRun> E2eTest::StartMonitor() const {
  auto run = Cli_.StartMonitor(Net_->Path());
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

void E2eTest::StopMonitor(TMonitorRun& run, int signal) const {
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

std::string E2eTest::EventLog() const {
  return ReadWholeFile(Cli_.File("vantrel.log"));
}

std::vector<std::string> E2eTest::LogEntries() const {
  std::vector<std::string> entries;
  const std::string log = EventLog();
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find('\n', start);
    if (end == std::string::npos)
      end = log.size();
    std::string line = log.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    const std::size_t stamp = line.find("]: ");
    if (!line.empty() && line[0] == '[' && stamp != std::string::npos)
      entries.push_back(line.substr(stamp + 3));
    else
      entries.push_back(line);
    start = end + 1;
  }
  return entries;
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
