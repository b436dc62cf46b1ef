// The headless monitor under load: `vantrel-cli run` with many download items
// against nginx on loopback, for a fixed time (60 s by default), once with
// the event log off and once with it on, side by side. Two lists, the same
// 1,000 checks per second: 1,000 items at a 1-second frequency and 10,000 at
// a 10-second one. Prints per run
// - checks per second achieved against the ideal (items / frequency);
// - scheduling lateness, check start minus NextRun, at p50, p99 and max;
// - how many checks run at once; the monitor's CPU and peak memory; its
//   threads and open descriptors at the start, each quarter and the end;
// and whether the run with the log on met the targets: lateness p99 <= 50 ms
// and p50 <= 5 ms over the whole run, at least 99 % of the ideal checks per
// second, peak memory within 48 MiB (64 MiB for 10,000 items), no more
// threads at the end than at the start plus the checker pool's limit (the
// pool keeps threads for reuse), and no more descriptors at the end than at
// the start plus the event log's.
// The machine's load average is printed with each run: other work on the
// machine shows in the lateness.
//
// Memory at rest: 1,000 download items whose pages are 1 MB, against the
// same items with a small page as the baseline. Every item is checked once
// (an hour's frequency), and the monitor's resident memory once all results
// are in and the checks have ended, less its memory before the first check,
// is what the items keep; the target is 64 MiB for the 1 MB pages.
//
// Where the lateness comes from, two sources that agree on what they share:
// - The response history. A record's Date is the moment the scheduler started
//   the check (the item's LastChecked), and the item's NextRun was the
//   previous check's start plus the frequency; so per item, the time between
//   consecutive records' Dates minus the frequency is exactly the scheduler's
//   lateness. The history is complete once the monitor has stopped.
// - nginx's access log: the arrival of every request ($msec, millisecond
//   resolution; each item has a URL of its own). The same difference between
//   an item's consecutive arrivals adds what happens after the scheduler
//   started the checker: its preparation, handed to the main thread, and the
//   connection. This is the lateness a server sees. Arrival minus Date is
//   that hand-over alone.
// The event log's time stamps carry whole seconds, so they cannot serve.
//
// How many checks run at a moment is read from the names of the monitor's
// threads: the checker threads are kept for reuse and are named "checker"
// while they check ("checker-idle" while they wait); checks waiting for a
// thread are not counted. The names are sampled every 50 ms, less often while
// there are so many threads that reading them would take more than a fifth
// of the bench's time. Threads and descriptors at a moment are the fewest
// seen in the tenth of the run before it, so that the sockets of the checks
// under way do not count.
//
// Each list is measured twice: fresh, all items due at once when the monitor
// starts (as after adding them), and spread, with a recorded check per item
// that makes their next checks fall due evenly over one frequency (as after a
// restart). A fresh list stays bunched: a tick starts every item due, and
// each item's next check is a frequency after its start.
//
// Usage: bench_monitor [--seconds S] [--items N --frequency F]
//                      [--start fresh|spread] [--at-rest]
// (one list, or one way to start, instead of both, and not the memory at
// rest; --at-rest: the memory at rest, alone or with those). Needs nginx-light
// (scripts/install-deps.sh). Run from a Release build; $VANTREL_CLI picks another vantrel-cli.

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/checker_manager.h"
#include "core/memory_views.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "platform/date_time.h"
#include "storage/file_system_format.h"
#include "storage/history.h"
#include "storage/history_file.h"
#include "support/cli_program.h"
#include "support/peer_scripted_server.h"
#include "support/test_files.h"

namespace {

using vantrel::TCheckType;
using vantrel::TDateTime;
using vantrel::THistoryFile;
using vantrel::THistoryReader;
using vantrel::THistoryRecord;
using vantrel::TMemoryDetailsView;
using vantrel::TMemoryItemView;
using vantrel::TSettings;
using vantrel::TWatchHistory;
using vantrel::TWatchItem;
using vantrel::TWatchList;
using vantrel::test::Contains;
using vantrel::test::TCli;
using vantrel::test::TCliRun;
using vantrel::test::TTempDir;
using vantrel::test::TTestProcess;
using Clock = std::chrono::steady_clock;

constexpr int kRunningLimit = 32;
constexpr int kSampleMs = 50;
constexpr double kMsPerDay = 86400000.0;
constexpr double kLatenessP99TargetMs = 50;
constexpr double kLatenessP50TargetMs = 5;
constexpr double kRateTarget = 0.99;  // of the ideal checks per second

struct TList {
  int Items = 0;
  int Frequency = 0;     // seconds
  double MemoryMiB = 0;  // target for the peak
};

struct TOptions {
  int Seconds = 60;
  std::vector<TList> Lists = {{1000, 1, 48}, {10000, 10, 64}};
  std::vector<bool> Spread = {false, true};  // the items' schedules at the start
  bool Load = true;                          // the runs under load
  bool AtRest = true;                        // the memory at rest
};

// The memory at rest.
constexpr int kRestItems = 1000;
constexpr int kRestFrequency = 3600;             // seconds: each item is checked once
constexpr std::size_t kRestPageBytes = 1000000;  // 1 MB
constexpr double kRestTargetMiB = 64;

constexpr std::string_view kFresh = "fresh";
constexpr std::string_view kSpread = "spread";

bool ParseOptions(int argc, char** argv, TOptions& options) {
  TList one{0, 0, 64};
  bool chosen = false;  // a list or a way to start
  bool atRest = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--seconds" && hasValue)
      options.Seconds = std::atoi(argv[++i]);
    else if (arg == "--items" && hasValue)
      one.Items = std::atoi(argv[++i]);
    else if (arg == "--frequency" && hasValue)
      one.Frequency = std::atoi(argv[++i]);
    else if (arg == "--start" && hasValue && (argv[i + 1] == kFresh || argv[i + 1] == kSpread))
      options.Spread = {argv[++i] == kSpread};
    else if (arg == "--at-rest")
      atRest = true;
    else
      return false;
    chosen = chosen || arg == "--items" || arg == "--frequency" || arg == "--start";
  }
  if (chosen || atRest) {
    options.Load = chosen;
    options.AtRest = atRest;
  }
  if (one.Items != 0 || one.Frequency != 0) {
    if (one.Items <= 0 || one.Frequency <= 0)
      return false;
    options.Lists = {one};
  }
  return options.Seconds > 0;
}

double WallNow() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// An epoch time in seconds as the monitor's date-time (local time, in days).
TDateTime AsDateTime(double wall) {
  return vantrel::DateTimeFromTimePoint(std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::duration<double>(wall))));
}

// The start moments of the recorded checks, per item, in order.
std::map<std::uint32_t, std::vector<TDateTime>> RecordedStarts(const std::filesystem::path& file) {
  std::map<std::uint32_t, std::vector<TDateTime>> starts;
  THistoryFile history(file.string(), vantrel::kHistorySignature, vantrel::kHistoryVersion,
                       [](const std::string& message) { std::cerr << message << "\n"; });
  if (!history.Exists())
    return starts;
  THistoryReader reader(history);
  THistoryRecord record;
  while (reader.Next(record))
    starts[record.ItemId].push_back(record.Date);
  for (auto& [id, dates] : starts)
    std::sort(dates.begin(), dates.end());
  return starts;
}

int FreePort() {
  const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(handle);
  return port;
}

// nginx with an access log of arrival times and request URIs.
std::string NginxConfig(const std::filesystem::path& dir, int port) {
  const std::string d = dir.string();
  const std::vector<std::string> lines = {
      "daemon off;",
      "master_process off;",
      "worker_processes 1;",
      "pid " + d + "/nginx.pid;",
      "error_log " + d + "/error.log;",
      "events { worker_connections 4096; }",
      "http {",
      "  log_format arrivals '$msec $request_uri';",
      "  access_log " + d + "/access.log arrivals;",
      "  client_body_temp_path " + d + "/body;",
      "  proxy_temp_path " + d + "/proxy;",
      "  fastcgi_temp_path " + d + "/fastcgi;",
      "  uwsgi_temp_path " + d + "/uwsgi;",
      "  scgi_temp_path " + d + "/scgi;",
      "  types { text/html html; }",
      "  server {",
      "    listen 127.0.0.1:" + std::to_string(port) + ";",
      "    root " + d + "/www;",
      "  }",
      "}",
  };
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

struct TProcessState {
  int Threads = 0;
  int Descriptors = 0;
  long PeakKiB = 0;      // VmHWM
  long ResidentKiB = 0;  // VmRSS
  double CpuSeconds = 0;
};

int CountEntries(const std::string& folder) {
  int count = 0;
  if (DIR* entries = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(entries)) {
      if (entry->d_name[0] != '.')
        ++count;
    }
    ::closedir(entries);
  }
  return count;
}

TProcessState ReadState(pid_t pid) {
  TProcessState state;
  const std::string base = "/proc/" + std::to_string(pid);
  std::ifstream status(base + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Threads:", 0) == 0)
      state.Threads = std::atoi(line.c_str() + 8);
    else if (line.rfind("VmHWM:", 0) == 0)
      state.PeakKiB = std::atol(line.c_str() + 6);
    else if (line.rfind("VmRSS:", 0) == 0)
      state.ResidentKiB = std::atol(line.c_str() + 6);
  }
  state.Descriptors = CountEntries(base + "/fd");
  std::ifstream stat(base + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // Fields after the command name, which may hold blanks: utime and stime are
  // the 14th and 15th of the line, the 12th and 13th after ")".
  const std::size_t close = text.rfind(')');
  if (close != std::string::npos) {
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
      if (i == 12)
        utime = std::stoull(field);
      if (i == 13)
        stime = std::stoull(field);
    }
    state.CpuSeconds =
        static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  return state;
}

// The monitor's threads named "checker": the checks running.
int CountCheckerThreads(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  int count = 0;
  if (DIR* entries = ::opendir(tasks.c_str())) {
    char name[32];
    while (const dirent* entry = ::readdir(entries)) {
      if (entry->d_name[0] == '.')
        continue;
      const int handle = ::open((tasks + "/" + entry->d_name + "/comm").c_str(), O_RDONLY);
      if (handle < 0)
        continue;  // ended meanwhile
      const ssize_t length = ::read(handle, name, sizeof name);
      ::close(handle);
      count +=
          length > 0 && std::string_view(name, static_cast<std::size_t>(length)) == "checker\n";
    }
    ::closedir(entries);
  }
  return count;
}

// The machine's load average over the last minute.
std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string oneMinute;
  file >> oneMinute;
  return oneMinute;
}

struct TSample {
  double Wall = 0;
  int Running = 0;  // checks
  int Threads = 0;
  int Descriptors = 0;
};

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  const std::size_t index =
      std::min(values.size() - 1, static_cast<std::size_t>(fraction * (values.size() - 1) + 0.5));
  return values[index];
}

struct TSpread {
  double P50 = 0, P99 = 0, Max = 0;
  std::size_t Count = 0;
};

TSpread SpreadOf(const std::vector<double>& values) {
  return {Percentile(values, 0.5), Percentile(values, 0.99), Percentile(values, 1.0),
          values.size()};
}

// Items whose checks are spread over their frequency start this long after
// they were written, so that none falls due while the monitor starts.
constexpr double kSpreadStartSeconds = 5;

// How the items' first checks fall due.
enum class TStart {
  Fresh,     // all at once when the monitor starts
  Spread,    // evenly over one frequency, as after a restart
  Together,  // all at once, a while after the monitor started
};

// The watch list of `list`. Fresh, every item is due at once when the
// monitor starts; otherwise each has a recorded check in the history that
// makes its next check fall due at or after the moment returned (epoch
// seconds).
double AddItems(const std::filesystem::path& folder, const std::string& url, const TList& list,
                TStart start) {
  TMemoryItemView view;
  TMemoryDetailsView details;
  const TSettings settings;
  TWatchList watchList(view, (folder / "vantrel.vtd").string(), details, settings);
  for (int i = 0; i < list.Items; ++i) {
    TWatchItem item;
    item.Name = "page" + std::to_string(i);
    item.Url = url + "?n=" + std::to_string(i);
    item.CheckType = TCheckType::Download;
    item.SetFrequency(list.Frequency);
    watchList.AddItem(item);
  }
  watchList.SaveToFile();
  const double firstDue = WallNow() + kSpreadStartSeconds;
  if (start == TStart::Fresh)
    return firstDue;
  TWatchHistory history(watchList, (folder / "vantrel.vth").string());
  const TDateTime first = AsDateTime(firstDue - list.Frequency);
  for (int i = 0; i < watchList.Count(); ++i) {
    const double offset =
        start == TStart::Spread ? static_cast<double>(list.Frequency) * i / watchList.Count() : 0;
    history.Add(THistoryRecord{static_cast<std::uint32_t>(watchList.Item(i).Id()), true,
                               first + offset / 86400.0, 1, 200});
  }
  history.Flush();
  return firstDue;
}

// What one run of the monitor showed.
struct TFigures {
  std::string Failure;  // why the run could not be measured
  std::string LoadBefore, LoadAfter;
  double Seconds = 0;
  double ChecksPerSecond = 0;
  std::size_t Printed = 0;
  TSpread Scheduler, SchedulerBelowLimit, Served, ServedBelowLimit, HandOver, Running;
  double CpuPercent = 0;
  double PeakMiB = 0;
  std::vector<int> Threads;      // at the start and after each quarter
  std::vector<int> Descriptors;  // the same moments
  std::string Stop;
  std::string Errors;
};

constexpr std::string_view kSmallPage = "<p>Service is UP</p>\n";

// nginx serving `page` as /index.html from `web`, with its access log there.
struct TWebServer {
  std::unique_ptr<TTestProcess> Process;
  std::string Url;      // of the page
  std::string Failure;  // why it did not start
};

TWebServer StartNginx(const TTempDir& web, std::string_view page) {
  TWebServer server;
  std::filesystem::create_directories(web / "www");
  std::ofstream(web / "www" / "index.html") << page;
  const int port = FreePort();
  std::ofstream(web / "nginx.conf") << NginxConfig(web.Path(), port);
  server.Process = std::make_unique<TTestProcess>(
      std::vector<std::string>{"nginx", "-p", web.Path().string(), "-c",
                               (web / "nginx.conf").string(), "-e", (web / "error.log").string()});
  if (!vantrel::test::WaitForPort(*server.Process, port))
    server.Failure =
        "nginx did not start: " + server.Process->Error() + "\n" + server.Process->Errors();
  server.Url = "http://127.0.0.1:" + std::to_string(port) + "/index.html";
  return server;
}

void WriteSettings(const std::filesystem::path& folder, bool log) {
  std::ofstream(folder / "vantrel.ini")
      << "[Preferences]\nLogType=" << (log ? 1 : 0) << "\n[Internet]\nPingStatus=0\n";
}

TFigures Measure(const TList& list, bool spread, bool log, int runSeconds) {
  TFigures figures;
  figures.LoadBefore = LoadAverage();
  TTempDir data;
  TTempDir web;
  TWebServer server = StartNginx(web, kSmallPage);
  std::unique_ptr<TTestProcess>& nginx = server.Process;
  if (!server.Failure.empty()) {
    figures.Failure = server.Failure;
    return figures;
  }

  WriteSettings(data.Path(), log);
  const double firstDue =
      AddItems(data.Path(), server.Url, list, spread ? TStart::Spread : TStart::Fresh);

  TCli cli(data.Path());
  std::unique_ptr<TCliRun> run = cli.Start({"run"});
  if (!run->Started() || !run->WaitForLine(Contains("Connection: Connected"), 20000)) {
    figures.Failure = "the monitor did not start: " + run->Error() + "\n" + run->Transcript();
    return figures;
  }
  const pid_t pid = run->Pid();
  // Spread checks begin a while after the monitor's start: the run does too.
  if (spread && WallNow() < firstDue)
    std::this_thread::sleep_for(std::chrono::duration<double>(firstDue - WallNow()));
  const double startWall = WallNow();
  const TProcessState first = ReadState(pid);
  std::vector<TSample> samples;
  const auto end = Clock::now() + std::chrono::seconds(runSeconds);
  while (Clock::now() < end && run->Running()) {
    const auto began = Clock::now();
    const TProcessState state = ReadState(pid);
    samples.push_back({WallNow(), CountCheckerThreads(pid), state.Threads, state.Descriptors});
    // At most a fifth of the time goes into sampling.
    const auto took = Clock::now() - began;
    std::this_thread::sleep_for(
        std::max<Clock::duration>(std::chrono::milliseconds(kSampleMs), 4 * took));
  }
  const double endWall = WallNow();
  const TProcessState last = ReadState(pid);
  std::chrono::milliseconds stopTook{};
  const std::optional<int> stopped = run->StopWith(SIGTERM, 30000, &stopTook);
  nginx.reset();
  figures.LoadAfter = LoadAverage();
  if (samples.size() < 4) {
    figures.Failure = "the monitor ended early:\n" + run->Transcript().substr(0, 2000);
    return figures;
  }

  // Arrivals per item (keyed by the query's number) within the window.
  std::map<std::uint32_t, std::vector<double>> arrivals;
  std::size_t inWindow = 0;
  {
    std::ifstream accessLog(web / "access.log");
    double at = 0;
    std::string uri;
    while (accessLog >> at >> uri) {
      const std::size_t number = uri.rfind("?n=");
      if (number == std::string::npos)
        continue;
      // Items were added in order, so the item of query n has Id n + 1.
      arrivals[static_cast<std::uint32_t>(std::stoul(uri.substr(number + 3))) + 1].push_back(at);
      if (at >= startWall && at < endWall)
        ++inWindow;
    }
  }
  const std::map<std::uint32_t, std::vector<TDateTime>> starts =
      RecordedStarts(data / "vantrel.vth");

  const auto runningAt = [&](double wall) {
    if (samples.empty())
      return 0;
    const auto after = std::lower_bound(samples.begin(), samples.end(), wall,
                                        [](const TSample& s, double w) { return s.Wall < w; });
    return (after == samples.end() ? samples.back() : *after).Running;
  };
  const TDateTime windowStart = AsDateTime(startWall);
  const TDateTime windowEnd = AsDateTime(endWall);
  // Epoch seconds of a date-time of this run, for the samples.
  const auto wallOf = [&](TDateTime date) { return startWall + (date - windowStart) * 86400.0; };

  std::vector<double> scheduler;
  std::vector<double> schedulerBelowLimit;
  for (const auto& [id, dates] : starts) {
    for (std::size_t k = 1; k < dates.size(); ++k) {
      if (dates[k] < windowStart || dates[k] >= windowEnd)
        continue;
      const double late = (dates[k] - dates[k - 1]) * kMsPerDay - list.Frequency * 1000.0;
      scheduler.push_back(late);
      if (runningAt(wallOf(dates[k])) < kRunningLimit)
        schedulerBelowLimit.push_back(late);
    }
  }
  std::vector<double> served;
  std::vector<double> servedBelowLimit;
  for (const auto& [id, times] : arrivals) {
    for (std::size_t k = 1; k < times.size(); ++k) {
      if (times[k] < startWall || times[k] >= endWall)
        continue;
      const double late = (times[k] - times[k - 1] - list.Frequency) * 1000;
      served.push_back(late);
      if (runningAt(times[k]) < kRunningLimit)
        servedBelowLimit.push_back(late);
    }
  }
  // From the scheduler's start to the request's arrival, for the checks that
  // the history and the access log both hold (the n-th record and the n-th
  // arrival of an item are the same check while none went missing).
  // A spread list's first record of each item was written, not checked.
  const std::size_t written = spread ? 1 : 0;
  std::vector<double> handOver;
  for (const auto& [id, dates] : starts) {
    const auto found = arrivals.find(id);
    if (found == arrivals.end() || found->second.size() + written < dates.size())
      continue;
    for (std::size_t k = written; k < dates.size(); ++k) {
      if (dates[k] >= windowStart && dates[k] < windowEnd)
        handOver.push_back((found->second[k - written] - wallOf(dates[k])) * 1000);
    }
  }
  std::vector<double> running;
  for (const TSample& sample : samples)
    running.push_back(sample.Running);

  figures.Seconds = endWall - startWall;
  figures.ChecksPerSecond = static_cast<double>(inWindow) / figures.Seconds;
  figures.Printed = run->Count(Contains("  OK  ")) + run->Count(Contains("  FAILED  "));
  figures.Scheduler = SpreadOf(scheduler);
  figures.SchedulerBelowLimit = SpreadOf(schedulerBelowLimit);
  figures.Served = SpreadOf(served);
  figures.ServedBelowLimit = SpreadOf(servedBelowLimit);
  figures.HandOver = SpreadOf(handOver);
  figures.Running = SpreadOf(running);
  figures.CpuPercent = 100.0 * (last.CpuSeconds - first.CpuSeconds) / figures.Seconds;
  figures.PeakMiB = static_cast<double>(last.PeakKiB) / 1024.0;
  // At the start, after each quarter of the run and at the end: the fewest
  // in the tenth of the run before.
  figures.Threads.push_back(first.Threads);
  figures.Descriptors.push_back(first.Descriptors);
  const std::size_t tenth = std::max<std::size_t>(1, samples.size() / 10);
  for (int quarter = 1; quarter <= 4; ++quarter) {
    const std::size_t until = samples.size() * quarter / 4;
    int threads = 1 << 30;
    int descriptors = 1 << 30;
    for (std::size_t i = until > tenth ? until - tenth : 0; i < until; ++i) {
      threads = std::min(threads, samples[i].Threads);
      descriptors = std::min(descriptors, samples[i].Descriptors);
    }
    figures.Threads.push_back(threads);
    figures.Descriptors.push_back(descriptors);
  }
  figures.Stop = stopped ? "exit " + std::to_string(*stopped) + " after SIGTERM in " +
                               std::to_string(stopTook.count()) + " ms"
                         : "still running 30 s after SIGTERM";
  figures.Errors = run->Errors();
  return figures;
}

// The monitor's resident memory before its first check and once every item
// has been checked once, with pages of `pageBytes`.
struct TRestFigures {
  std::string Failure;
  double StartMiB = 0;
  double RestMiB = 0;
  double PeakMiB = 0;
  std::string Stop;
};

TRestFigures MeasureAtRest(std::size_t pageBytes) {
  TRestFigures figures;
  TTempDir data;
  TTempDir web;
  std::string page(kSmallPage);
  if (pageBytes > page.size())
    page.append(pageBytes - page.size(), 'x');
  TWebServer server = StartNginx(web, page);
  if (!server.Failure.empty()) {
    figures.Failure = server.Failure;
    return figures;
  }
  WriteSettings(data.Path(), true);
  const double firstDue =
      AddItems(data.Path(), server.Url, {kRestItems, kRestFrequency, 0}, TStart::Together);

  TCli cli(data.Path());
  std::unique_ptr<TCliRun> run = cli.Start({"run"});
  if (!run->Started() || !run->WaitForLine(Contains("Connection: Connected"), 20000)) {
    figures.Failure = "the monitor did not start: " + run->Error() + "\n" + run->Transcript();
    return figures;
  }
  // The list is loaded and its history replayed; no check has begun.
  if (WallNow() < firstDue - 1)
    std::this_thread::sleep_for(std::chrono::duration<double>(firstDue - 1 - WallNow()));
  const pid_t pid = run->Pid();
  const TProcessState start = ReadState(pid);
  const auto result = [](const std::string& line) {
    return Contains("  OK  ")(line) || Contains("  FAILED  ")(line);
  };
  if (!run->WaitForCount(result, kRestItems, 120000)) {
    figures.Failure = "not every item was checked within 2 minutes";
    return figures;
  }
  // The last checkers end and hand their threads back.
  for (int wait = 0; wait < 100 && CountCheckerThreads(pid) > 0; ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(kSampleMs));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const TProcessState rest = ReadState(pid);
  std::chrono::milliseconds stopTook{};
  const std::optional<int> stopped = run->StopWith(SIGTERM, 30000, &stopTook);
  figures.StartMiB = static_cast<double>(start.ResidentKiB) / 1024.0;
  figures.RestMiB = static_cast<double>(rest.ResidentKiB) / 1024.0;
  figures.PeakMiB = static_cast<double>(rest.PeakKiB) / 1024.0;
  figures.Stop = stopped ? "exit " + std::to_string(*stopped) + " after SIGTERM in " +
                               std::to_string(stopTook.count()) + " ms"
                         : "still running 30 s after SIGTERM";
  return figures;
}

std::string Format(const char* format, auto... values) {
  char text[128];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string Join(const std::vector<int>& values) {
  std::string text;
  for (const int value : values)
    text += (text.empty() ? "" : " ") + std::to_string(value);
  return text;
}

void PrintRow(const std::string& title, const std::string& off, const std::string& on) {
  std::printf("  %-36s %-24s %s\n", title.c_str(), off.c_str(), on.c_str());
}

void PrintSpread(const std::string& title, const TSpread& off, const TSpread& on) {
  const auto text = [](const TSpread& s) {
    return Format("%.1f / %.1f / %.1f", s.P50, s.P99, s.Max);
  };
  PrintRow(title, text(off), text(on));
}

// Prints both runs of a list side by side; true when the run with the log on
// met the targets.
bool Report(const TList& list, bool spread, int seconds, const TFigures& off, const TFigures& on) {
  const double ideal = static_cast<double>(list.Items) / list.Frequency;
  std::printf("\n%d download items every %d s, %s, %d s per run\n", list.Items, list.Frequency,
              spread ? "their checks spread over the frequency (restarted with a history)"
                     : "all due at once (a fresh list)",
              seconds);
  for (const TFigures* figures : {&off, &on}) {
    if (!figures->Failure.empty()) {
      std::printf("  the run with the log %s failed: %s\n", figures == &on ? "on" : "off",
                  figures->Failure.c_str());
      return false;
    }
  }
  PrintRow("event log", "off", "on");
  PrintRow("load average (1 min) before, after", off.LoadBefore + ", " + off.LoadAfter,
           on.LoadBefore + ", " + on.LoadAfter);
  const auto rate = [&](const TFigures& f) {
    return Format("%.1f (%.1f%%)", f.ChecksPerSecond, 100.0 * f.ChecksPerSecond / ideal);
  };
  PrintRow(Format("checks per second (ideal %.0f)", ideal), rate(off), rate(on));
  PrintRow("results printed", std::to_string(off.Printed), std::to_string(on.Printed));
  std::printf("  lateness, ms: p50 / p99 / max\n");
  PrintSpread("scheduler start - NextRun", off.Scheduler, on.Scheduler);
  PrintSpread(Format("  with < %d checks running", kRunningLimit), off.SchedulerBelowLimit,
              on.SchedulerBelowLimit);
  PrintSpread("request arrival - previous + freq", off.Served, on.Served);
  PrintSpread(Format("  with < %d checks running", kRunningLimit), off.ServedBelowLimit,
              on.ServedBelowLimit);
  PrintSpread("hand-over: arrival - start", off.HandOver, on.HandOver);
  PrintSpread("checks on a thread: p50 / p99 / max", off.Running, on.Running);
  PrintRow("CPU, % of one core", Format("%.1f", off.CpuPercent), Format("%.1f", on.CpuPercent));
  PrintRow("peak memory, MiB", Format("%.1f", off.PeakMiB), Format("%.1f", on.PeakMiB));
  PrintRow("threads: start, each quarter", Join(off.Threads), Join(on.Threads));
  PrintRow("descriptors: start, each quarter", Join(off.Descriptors), Join(on.Descriptors));
  PrintRow("stop", off.Stop, on.Stop);
  for (const TFigures* figures : {&off, &on}) {
    if (!figures->Errors.empty())
      std::printf("  monitor's errors with the log %s:\n%s\n", figures == &on ? "on" : "off",
                  figures->Errors.substr(0, 2000).c_str());
  }

  const struct {
    std::string Target;
    bool Met;
  } targets[] = {
      {Format("lateness p99 <= %.0f ms", kLatenessP99TargetMs),
       on.Scheduler.P99 <= kLatenessP99TargetMs},
      {Format("lateness p50 <= %.0f ms", kLatenessP50TargetMs),
       on.Scheduler.P50 <= kLatenessP50TargetMs},
      {Format("checks per second >= %.0f%% of the ideal", kRateTarget * 100),
       on.ChecksPerSecond >= kRateTarget * ideal},
      {Format("peak memory <= %.0f MiB", list.MemoryMiB), on.PeakMiB <= list.MemoryMiB},
      // The checker threads are kept for reuse, up to the pool's limit; the
      // event log stays open.
      {"threads at the end within the start and the checker pool's limit",
       on.Threads.back() <=
           on.Threads.front() + static_cast<int>(vantrel::TCheckerManager::kMaxCheckerThreads)},
      {"descriptors at the end within the start and the log",
       on.Descriptors.back() <= on.Descriptors.front() + 1},
  };
  bool all = true;
  std::printf("  targets with the log on:");
  for (const auto& target : targets) {
    std::printf("%s %s %s", &target == targets ? "" : ";", target.Target.c_str(),
                target.Met ? "met" : "MISSED");
    all = all && target.Met;
  }
  std::printf("\n");
  return all;
}

// Measures and prints the memory at rest; true when the target was met.
bool ReportAtRest() {
  std::printf("\n%d download items checked once, memory at rest\n", kRestItems);
  const TRestFigures small = MeasureAtRest(0);
  const TRestFigures large = MeasureAtRest(kRestPageBytes);
  for (const TRestFigures* figures : {&small, &large}) {
    if (!figures->Failure.empty()) {
      std::printf("  the run with %s pages failed: %s\n", figures == &small ? "small" : "1 MB",
                  figures->Failure.c_str());
      return false;
    }
  }
  PrintRow("page", Format("%zu bytes", kSmallPage.size()), Format("%zu bytes", kRestPageBytes));
  PrintRow("resident before the first check, MiB", Format("%.1f", small.StartMiB),
           Format("%.1f", large.StartMiB));
  PrintRow("resident at rest, MiB", Format("%.1f", small.RestMiB), Format("%.1f", large.RestMiB));
  const double smallBeyond = small.RestMiB - small.StartMiB;
  const double largeBeyond = large.RestMiB - large.StartMiB;
  PrintRow("at rest beyond the start, MiB", Format("%.1f", smallBeyond),
           Format("%.1f", largeBeyond));
  PrintRow("peak, MiB", Format("%.1f", small.PeakMiB), Format("%.1f", large.PeakMiB));
  PrintRow("stop", small.Stop, large.Stop);
  const bool met = largeBeyond < kRestTargetMiB;
  std::printf("  target with 1 MB pages: at rest beyond the start < %.0f MiB %s\n", kRestTargetMiB,
              met ? "met" : "MISSED");
  return met;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << "usage: bench_monitor [--seconds S] [--items N --frequency F] "
                 "[--start fresh|spread] [--at-rest]\n";
    return 2;
  }
  std::printf("bench_monitor: the headless monitor against loopback nginx\n");
  bool all = true;
  if (options.AtRest) {
    all = ReportAtRest();
    std::fflush(stdout);
  }
  for (const bool spread : options.Load ? options.Spread : std::vector<bool>{}) {
    for (const TList& list : options.Lists) {
      const TFigures off = Measure(list, spread, false, options.Seconds);
      const TFigures on = Measure(list, spread, true, options.Seconds);
      all = Report(list, spread, options.Seconds, off, on) && all;
      std::fflush(stdout);
    }
  }
  std::printf("\n%s\n", all ? "all targets met" : "some targets missed");
  return 0;
}
