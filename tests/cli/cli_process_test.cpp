// vantrel-cli as a user runs it: the built program in a temporary data folder.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/data_folder_lock.h"
#include "cli_process.h"
#include "core/memory_views.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "platform/date_time.h"
#include "storage/history.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using test::RunCli;
using test::TCliProcess;
using test::TCliResult;
using test::TTempDir;

constexpr int kStopLimitMs = 2000;
constexpr int kStartLimitMs = 20000;

class CliProcessTest : public ::testing::Test {
 protected:
  // vantrel-cli with the temporary data folder.
  TCliResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--data-dir", Folder.Path().string()});
    return RunCli(args);
  }

  std::vector<std::string> WithFolder(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--data-dir", Folder.Path().string()});
    return args;
  }

  // The new item's Id, as `items add` prints it.
  int Add(const std::vector<std::string>& options) {
    std::vector<std::string> args = {"items", "add"};
    args.insert(args.end(), options.begin(), options.end());
    const TCliResult result = Cli(args);
    EXPECT_EQ(result.Status, 0) << result.Err;
    return std::atoi(result.Out.c_str());
  }

  QJsonArray ListJson() {
    const TCliResult result = Cli({"items", "list", "--json"});
    EXPECT_EQ(result.Status, 0) << result.Err;
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(result.Out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n"
                                                     << result.Out;
    EXPECT_TRUE(document.isArray()) << result.Out;
    return document.array();
  }

  // The folder's watch list and history, opened as a monitor would.
  struct TFiles {
    explicit TFiles(const TTempDir& folder)
        : List(ItemView, (folder / "vantrel.vtd").string(), DetailsView, Settings),
          History(List, (folder / "vantrel.vth").string()) {
      List.LoadFromFile();
    }
    TMemoryItemView ItemView;
    TMemoryDetailsView DetailsView;
    TSettings Settings;
    TWatchList List;
    TWatchHistory History;
  };

  // Adds `count` download items of `url` faster than `items add` would.
  void WriteItems(int count, const std::string& url) {
    TFiles files(Folder);
    for (int i = 0; i < count; ++i) {
      TWatchItem source;
      source.Name = "silent " + std::to_string(i);
      source.Url = url;
      source.CheckType = TCheckType::Download;
      files.List.AddItem(source);
    }
    files.List.SaveToFile();
  }

  void WriteHistory(const std::vector<THistoryRecord>& records) {
    TFiles files(Folder);
    for (const THistoryRecord& record : records)
      files.History.Add(record);
    files.History.Flush();
  }

  THistoryArray HistoryOf(std::uint32_t id) {
    THistoryArray records;
    TFiles(Folder).History.GetHistory(id, records, 0, NowDateTime() + 1);
    return records;
  }

  static THistoryRecord Record(std::uint32_t id, bool success, std::int32_t time) {
    return {.ItemId = id,
            .Success = success,
            .Date = NowDateTime() - 0.01,
            .ResponseTime = time,
            .ResponseCode = success ? 200 : 408};
  }

  TTempDir Folder;
};

// A listening TCP socket on loopback: closed again, it leaves a port where
// nothing listens; kept, it accepts connections and never answers them.
class TLoopbackListener {
 public:
  TLoopbackListener() {
    Fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(Fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(Fd_, 128), 0);
    socklen_t length = sizeof address;
    ::getsockname(Fd_, reinterpret_cast<sockaddr*>(&address), &length);
    Port_ = ntohs(address.sin_port);
  }
  ~TLoopbackListener() {
    for (const int client : Clients_)
      ::close(client);
    ::close(Fd_);
  }

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port_) + "/"; }
  // Takes the connections waiting; how many came so far.
  int Accepted() {
    for (int client; (client = ::accept4(Fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
      Clients_.push_back(client);  // held open, unanswered
    return static_cast<int>(Clients_.size());
  }

 private:
  int Fd_ = -1;
  int Port_ = 0;
  std::vector<int> Clients_;
};

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// --- Editing the list --------------------------------------------------------

TEST_F(CliProcessTest, ItemsAddSetSuspendRemoveRoundTripThroughTheFile) {
  EXPECT_EQ(Add({"--url", "http://127.0.0.1:9/", "--name", "Site"}), 1);
  EXPECT_EQ(Add({"--url", "127.0.0.1", "--frequency", "5m"}), 2);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"items", "set", "1", "--name", "Web site", "--frequency", "2h", "--alarm-trigger", "3"},
           {"items", "suspend", "2"}}) {
    const TCliResult result = Cli(args);
    ASSERT_EQ(result.Status, 0) << result.Err;
  }

  const TCliResult table = Cli({"items", "list"});
  ASSERT_EQ(table.Status, 0) << table.Err;
  for (const char* text : {"Check Frequency", "Web site", "2 hour(s)", "by Download", "5 minute(s)",
                           "by Ping", "Suspended", "no data"})
    EXPECT_NE(table.Out.find(text), std::string::npos) << text << " missing in\n" << table.Out;

  QJsonArray items = ListJson();
  ASSERT_EQ(items.size(), 2);
  const QJsonObject site = items[0].toObject();
  EXPECT_EQ(site["Name"].toString(), "Web site");
  EXPECT_EQ(site["Url"].toString(), "http://127.0.0.1:9/");
  EXPECT_EQ(site["CheckType"].toString(), "Download");  // an http URL without --type
  EXPECT_EQ(site["Frequency"].toInt(), 7200);
  EXPECT_EQ(site["TriggerCount"].toInt(), 3);
  const QJsonObject host = items[1].toObject();
  EXPECT_EQ(host["Name"].toString(), "127.0.0.1");  // the URL when no name is given
  EXPECT_EQ(host["CheckType"].toString(), "Ping");
  EXPECT_EQ(host["Status"].toString(), "Suspended");

  const TCliResult remove = Cli({"items", "remove", "1"});
  ASSERT_EQ(remove.Status, 0) << remove.Err;
  items = ListJson();
  ASSERT_EQ(items.size(), 1);
  EXPECT_EQ(items[0].toObject()["Id"].toInt(), 2);
}

TEST_F(CliProcessTest, ListRebuildsStatisticsAndAddSkipsIdsTheHistoryStillHolds) {
  ASSERT_EQ(Add({"--url", "127.0.0.1"}), 1);
  // Item 7 was deleted without its history.
  WriteHistory({Record(1, true, 12), Record(1, false, 0), Record(1, true, 20), Record(7, true, 5)});

  const QJsonObject item = ListJson()[0].toObject();
  EXPECT_EQ(item["TimesChecked"].toInt(), 3);
  EXPECT_EQ(item["TimesFailed"].toInt(), 1);
  EXPECT_EQ(item["LastResponseTime"].toInt(), 20);
  EXPECT_NE(Cli({"items", "list"}).Out.find("33%"), std::string::npos);
  EXPECT_EQ(Add({"--url", "127.0.0.2"}), 8);
}

TEST_F(CliProcessTest, RemoveDeletesTheItemsHistoryOnlyAndNothingForAnUnknownId) {
  ASSERT_EQ(Add({"--url", "127.0.0.1"}), 1);
  ASSERT_EQ(Add({"--url", "127.0.0.2"}), 2);
  WriteHistory({Record(1, true, 5), Record(2, true, 6), Record(1, false, 0)});

  const TCliResult unknown = Cli({"items", "remove", "1", "5"});
  EXPECT_EQ(unknown.Status, 1);
  EXPECT_NE(unknown.Err.find("no item with Id 5"), std::string::npos) << unknown.Err;
  EXPECT_EQ(ListJson().size(), 2);
  EXPECT_EQ(HistoryOf(1).size(), 2u);

  const TCliResult remove = Cli({"items", "remove", "1"});
  ASSERT_EQ(remove.Status, 0) << remove.Err;
  EXPECT_TRUE(HistoryOf(1).empty());
  EXPECT_EQ(HistoryOf(2).size(), 1u);
}

// --- Argument errors ---------------------------------------------------------

struct TBadCommandLine {
  const char* Fault;
  std::vector<std::string> Args;
  std::string Named;  // what the message must name
};

std::string FaultName(const ::testing::TestParamInfo<TBadCommandLine>& info) {
  return info.param.Fault;
}

void PrintTo(const TBadCommandLine& line, std::ostream* out) {
  *out << line.Fault;
}

class CliArgumentErrorTest : public CliProcessTest,
                             public ::testing::WithParamInterface<TBadCommandLine> {};

TEST_P(CliArgumentErrorTest, ExitsWithStatusTwoNamingTheMistakeAndWritesNothing) {
  const TCliResult result = Cli(GetParam().Args);
  EXPECT_EQ(result.Status, 2) << result.Out << result.Err;
  EXPECT_NE(result.Err.find(GetParam().Named), std::string::npos) << result.Err;
  EXPECT_NE(result.Err.find("--help"), std::string::npos) << result.Err;
  EXPECT_FALSE(std::filesystem::exists(Folder / "vantrel.vtd"));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, CliArgumentErrorTest,
    ::testing::Values(
        TBadCommandLine{
            "ZeroFrequency", {"items", "add", "--url", "x", "--frequency", "0"}, "--frequency"},
        TBadCommandLine{"FrequencyAboveFiftyNineHours",
                        {"items", "add", "--url", "x", "--frequency", "60h"},
                        "--frequency"},
        TBadCommandLine{"PingTimeoutAboveRange",
                        {"items", "add", "--url", "x", "--ping-timeout", "10000"},
                        "--ping-timeout"},
        TBadCommandLine{"DownloadTimeoutNotANumber",
                        {"items", "add", "--url", "x", "--download-timeout", "abc"},
                        "--download-timeout"},
        TBadCommandLine{"AlarmTriggerAboveRange",
                        {"items", "add", "--url", "x", "--alarm-trigger", "1000"},
                        "--alarm-trigger"},
        TBadCommandLine{
            "UnknownMethod", {"items", "add", "--url", "x", "--type", "telnet"}, "--type"},
        TBadCommandLine{"BlankUrl", {"items", "add", "--url", "   "}, "--url"},
        TBadCommandLine{"AddWithoutUrl", {"items", "add", "--name", "no address"}, "--url"},
        TBadCommandLine{
            "MisspeltOption", {"items", "add", "--url", "x", "--frequncy", "5"}, "--frequency"},
        TBadCommandLine{"SetWithoutSettings", {"items", "set", "1"}, "setting"},
        TBadCommandLine{"ItemIdNotANumber", {"items", "set", "one", "--name", "x"}, "item Id"},
        TBadCommandLine{"SuspendWithoutId", {"items", "suspend"}, "Id"},
        TBadCommandLine{"UnknownItemsCommand", {"items", "frobnicate"}, "frobnicate"},
        TBadCommandLine{"CheckWithoutUrl", {"check"}, "URL"},
        TBadCommandLine{"CheckWithTwoMethods", {"check", "127.0.0.1", "--ping", "--ftp"}, "--ping"},
        TBadCommandLine{
            "CheckTimeoutAboveRange", {"check", "127.0.0.1", "--timeout", "10000"}, "--timeout"},
        TBadCommandLine{
            "SearchWithoutDownload", {"check", "127.0.0.1", "--search", "x"}, "--search"},
        TBadCommandLine{"RunWithArgument", {"run", "now"}, "now"},
        TBadCommandLine{"UnknownCommand", {"frobnicate"}, "frobnicate"},
        TBadCommandLine{"UnknownGlobalOption", {"--verbose", "run"}, "--verbose"},
        TBadCommandLine{"NoCommand", {}, "no command"}),
    FaultName);

TEST_F(CliProcessTest, HelpOfEveryCommandExitsZero) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"},
                                             {"run", "--help"},
                                             {"check", "--help"},
                                             {"items", "--help"},
                                             {"items", "add", "--help"},
                                             {"help", "items", "set"}}) {
    const TCliResult result = RunCli(args);
    EXPECT_EQ(result.Status, 0) << args.front() << result.Err;
    EXPECT_NE(result.Out.find("Usage: vantrel-cli"), std::string::npos) << result.Out;
  }
}

// --- The data folder's lock --------------------------------------------------

TEST_F(CliProcessTest, EditsAndMonitorRefuseWhileAnotherProcessHoldsTheFolder) {
  ASSERT_EQ(Add({"--url", "127.0.0.1"}), 1);
  TDataFolderLock holder(Folder.Path(), "cli-test holder");
  ASSERT_TRUE(holder.TryLock());
  const std::string named = "process " + std::to_string(::getpid()) + " (cli-test holder";

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"items", "add", "--url", "127.0.0.2"},
                                             {"items", "set", "1", "--name", "x"},
                                             {"items", "remove", "1"},
                                             {"items", "suspend", "1"},
                                             {"run"}}) {
    const TCliResult result = Cli(args);
    EXPECT_EQ(result.Status, 3) << args[0] << ' ' << args.back() << '\n' << result.Err;
    EXPECT_NE(result.Err.find(named), std::string::npos) << result.Err;
  }
  holder.Unlock();
  const QJsonArray items = ListJson();
  ASSERT_EQ(items.size(), 1);
  EXPECT_EQ(items[0].toObject()["Name"].toString(), "127.0.0.1");
}

// --- check -------------------------------------------------------------------

TEST_F(CliProcessTest, CheckOfAClosedLoopbackPortPrintsItsStepsAndFails) {
  const std::string url = TLoopbackListener().Url();  // closed again at once
  const TCliResult result = Cli({"check", url});
  EXPECT_EQ(result.Status, 1) << result.Err;
  EXPECT_EQ(result.Out, "Start testing\nLoading page: Failure\n\nTest failed.\n");
}

// --- run ---------------------------------------------------------------------

TEST_F(CliProcessTest, RunOnAnEmptyListSaysHowToAddAnItemAndStopsOnSigterm) {
  TCliProcess monitor(WithFolder({"run"}));
  ASSERT_TRUE(monitor.WaitForOutput("items add --url", kStartLimitMs))
      << monitor.Out() << monitor.Err();
  EXPECT_NE(monitor.Out().find("The watch list is empty."), std::string::npos);

  // A second monitor and an edit are turned away, naming the first.
  const std::string named = "process " + std::to_string(monitor.Pid()) + " (vantrel-cli run";
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"run"}, {"items", "add", "--url", "127.0.0.1"}}) {
    const TCliResult refused = Cli(args);
    EXPECT_EQ(refused.Status, 3) << refused.Err;
    EXPECT_NE(refused.Err.find(named), std::string::npos) << refused.Err;
  }

  monitor.Signal(SIGTERM);
  const std::optional<int> status = monitor.WaitForExit(kStopLimitMs);
  ASSERT_TRUE(status.has_value()) << "still running 2 s after SIGTERM";
  EXPECT_EQ(*status, 0) << monitor.Err();
  EXPECT_NE(monitor.Out().find("Stopped"), std::string::npos) << monitor.Out();
  EXPECT_TRUE(std::filesystem::exists(Folder / "vantrel.ini"));
  // The folder is free again.
  EXPECT_EQ(Add({"--url", "127.0.0.1"}), 1);
}

TEST_F(CliProcessTest, RunStillSavesWhenTheReaderOfItsOutputHasGone) {
  TCliProcess monitor(WithFolder({"run"}));
  ASSERT_TRUE(monitor.WaitForOutput("Monitoring 0 item(s)", kStartLimitMs)) << monitor.Err();
  monitor.CloseOutput();  // the stop's lines now go nowhere
  monitor.Signal(SIGTERM);
  const std::optional<int> status = monitor.WaitForExit(kStopLimitMs);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << "ended by signal " << *status - 128 << '\n' << monitor.Err();
  EXPECT_TRUE(std::filesystem::exists(Folder / "vantrel.ini"));
}

TEST_F(CliProcessTest, RunStopsOnSigintWithinTwoSecondsWhile32ChecksWaitOnASilentServer) {
  TLoopbackListener server;
  constexpr int kItems = 32;
  WriteItems(kItems, server.Url());

  TCliProcess monitor(WithFolder({"run"}));
  ASSERT_TRUE(monitor.WaitForOutput("Monitoring 32 item(s)", kStartLimitMs))
      << monitor.Out() << monitor.Err();
  ASSERT_TRUE(WaitFor([&] { return server.Accepted() >= kItems; }, kStartLimitMs))
      << "only " << server.Accepted() << " checks reached the server (is the machine offline?)\n"
      << monitor.Out() << monitor.Err();

  monitor.Signal(SIGINT);
  const std::optional<int> status = monitor.WaitForExit(kStopLimitMs);
  ASSERT_TRUE(status.has_value()) << "still running 2 s after SIGINT";
  EXPECT_EQ(*status, 0) << monitor.Err();
  EXPECT_NE(monitor.Out().find("Stopping on SIGINT"), std::string::npos) << monitor.Out();
  // The list was saved as it stood: every item still there.
  EXPECT_EQ(ListJson().size(), kItems);
}

}  // namespace
}  // namespace vantrel
