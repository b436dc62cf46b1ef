// The headless monitor under load: `vantrel-cli run` with many download items
// (1,000 at a 1-second frequency by default) against nginx on loopback, for a
// fixed time (60 s by default). Prints
// - checks per second achieved against the ideal (items / frequency);
// - scheduling lateness, check start minus NextRun, at p50 and p99;
// - the monitor's CPU, its peak memory, and its threads and open descriptors
//   at the start and at the end.
// Targets: lateness p99 within 50 ms while fewer than 32 checks run, memory
// under 64 MiB, no growth of threads or descriptors.
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
// How many checks run at a moment is read from the monitor's thread count,
// sampled every 50 ms: a checker is a thread, so checks running = threads -
// the fewest threads seen (the monitor's own).
//
// Usage: bench_monitor [--items N] [--seconds S] [--frequency F] [--no-log]
// Needs nginx-light (scripts/install-deps.sh). Run from a Release build;
// $VANTREL_CLI picks another vantrel-cli.

#include <arpa/inet.h>
#include <dirent.h>
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
#include <thread>
#include <vector>

#include "core/memory_views.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "platform/date_time.h"
#include "storage/file_system_format.h"
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

struct TOptions {
  int Items = 1000;
  int Seconds = 60;
  int Frequency = 1;
  bool Log = true;
};

bool ParseOptions(int argc, char** argv, TOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--items" && hasValue)
      options.Items = std::atoi(argv[++i]);
    else if (arg == "--seconds" && hasValue)
      options.Seconds = std::atoi(argv[++i]);
    else if (arg == "--frequency" && hasValue)
      options.Frequency = std::atoi(argv[++i]);
    else if (arg == "--no-log")
      options.Log = false;
    else
      return false;
  }
  return options.Items > 0 && options.Seconds > 0 && options.Frequency > 0;
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
  long PeakKiB = 0;  // VmHWM
  double CpuSeconds = 0;
};

TProcessState ReadState(pid_t pid) {
  TProcessState state;
  const std::string base = "/proc/" + std::to_string(pid);
  std::ifstream status(base + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("Threads:", 0) == 0)
      state.Threads = std::atoi(line.c_str() + 8);
    else if (line.rfind("VmHWM:", 0) == 0)
      state.PeakKiB = std::atol(line.c_str() + 6);
  }
  if (DIR* fds = ::opendir((base + "/fd").c_str())) {
    while (const dirent* entry = ::readdir(fds)) {
      if (entry->d_name[0] != '.')
        ++state.Descriptors;
    }
    ::closedir(fds);
  }
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

struct TSample {
  double Wall = 0;
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

void AddItems(const std::filesystem::path& file, const std::string& url, const TOptions& options) {
  TMemoryItemView view;
  TMemoryDetailsView details;
  const TSettings settings;
  TWatchList list(view, file.string(), details, settings);
  for (int i = 0; i < options.Items; ++i) {
    TWatchItem item;
    item.Name = "page" + std::to_string(i);
    item.Url = url + "?n=" + std::to_string(i);
    item.CheckType = TCheckType::Download;
    item.SetFrequency(options.Frequency);
    list.AddItem(item);
  }
  list.SaveToFile();
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << "usage: bench_monitor [--items N] [--seconds S] [--frequency F] [--no-log]\n";
    return 2;
  }
  TTempDir data;
  TTempDir web;
  std::filesystem::create_directories(web / "www");
  std::ofstream(web / "www" / "index.html") << "<p>Service is UP</p>\n";
  const int port = FreePort();
  std::ofstream(web / "nginx.conf") << NginxConfig(web.Path(), port);
  auto nginx = std::make_unique<TTestProcess>(
      std::vector<std::string>{"nginx", "-p", web.Path().string(), "-c",
                               (web / "nginx.conf").string(), "-e", (web / "error.log").string()});
  if (!vantrel::test::WaitForPort(*nginx, port)) {
    std::cerr << "nginx did not start: " << nginx->Error() << "\n" << nginx->Errors() << "\n";
    return 1;
  }

  std::ofstream(data / "vantrel.ini")
      << "[Preferences]\nLogType=" << (options.Log ? 1 : 0) << "\n[Internet]\nPingStatus=0\n";
  AddItems(data / "vantrel.vtd", "http://127.0.0.1:" + std::to_string(port) + "/index.html",
           options);

  TCli cli(data.Path());
  std::unique_ptr<TCliRun> run = cli.Start({"run"});
  if (!run->Started() || !run->WaitForLine(Contains("Connection: Connected"), 20000)) {
    std::cerr << "the monitor did not start: " << run->Error() << "\n" << run->Transcript();
    return 1;
  }
  const pid_t pid = run->Pid();
  const double startWall = WallNow();
  const TProcessState first = ReadState(pid);
  std::vector<TSample> samples;
  const auto end = Clock::now() + std::chrono::seconds(options.Seconds);
  while (Clock::now() < end && run->Running()) {
    const TProcessState state = ReadState(pid);
    samples.push_back({WallNow(), state.Threads, state.Descriptors});
    std::this_thread::sleep_for(std::chrono::milliseconds(kSampleMs));
  }
  const double endWall = WallNow();
  const TProcessState last = ReadState(pid);
  std::chrono::milliseconds stopTook{};
  const std::optional<int> stopped = run->StopWith(SIGTERM, 30000, &stopTook);
  nginx.reset();

  // Arrivals per item (keyed by the query's number) within the window.
  std::map<std::uint32_t, std::vector<double>> arrivals;
  std::size_t inWindow = 0;
  {
    std::ifstream log(web / "access.log");
    double at = 0;
    std::string uri;
    while (log >> at >> uri) {
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

  int baseThreads = first.Threads;
  for (const TSample& sample : samples)
    baseThreads = std::min(baseThreads, sample.Threads);
  const auto runningAt = [&](double wall) {
    if (samples.empty())
      return 0;
    const auto after = std::lower_bound(samples.begin(), samples.end(), wall,
                                        [](const TSample& s, double w) { return s.Wall < w; });
    const TSample& sample = after == samples.end() ? samples.back() : *after;
    return sample.Threads - baseThreads;
  };
  const TDateTime windowStart = AsDateTime(startWall);
  const TDateTime windowEnd = AsDateTime(endWall);
  // Epoch seconds of a date-time of this run, for the thread samples.
  const auto wallOf = [&](TDateTime date) { return startWall + (date - windowStart) * 86400.0; };

  std::vector<double> scheduler;
  std::vector<double> schedulerBelowLimit;
  for (const auto& [id, dates] : starts) {
    for (std::size_t k = 1; k < dates.size(); ++k) {
      if (dates[k] < windowStart || dates[k] >= windowEnd)
        continue;
      const double late = (dates[k] - dates[k - 1]) * kMsPerDay - options.Frequency * 1000.0;
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
      const double late = (times[k] - times[k - 1] - options.Frequency) * 1000;
      served.push_back(late);
      if (runningAt(times[k]) < kRunningLimit)
        servedBelowLimit.push_back(late);
    }
  }
  // From the scheduler's start to the request's arrival, for the checks that
  // the history and the access log both hold (the n-th record and the n-th
  // arrival of an item are the same check while none went missing).
  std::vector<double> handOver;
  for (const auto& [id, dates] : starts) {
    const auto found = arrivals.find(id);
    if (found == arrivals.end() || found->second.size() < dates.size())
      continue;
    for (std::size_t k = 0; k < dates.size(); ++k) {
      if (dates[k] >= windowStart && dates[k] < windowEnd)
        handOver.push_back((found->second[k] - wallOf(dates[k])) * 1000);
    }
  }
  std::vector<double> running;
  for (const TSample& sample : samples)
    running.push_back(sample.Threads - baseThreads);
  // The monitor's own threads and descriptors, without running checks: the
  // fewest seen in the first and in the last tenth of the run.
  const auto quietest = [&](bool atEnd, auto field) {
    const std::size_t tenth = std::max<std::size_t>(1, samples.size() / 10);
    int fewest = 1 << 30;
    for (std::size_t i = 0; i < tenth && i < samples.size(); ++i)
      fewest = std::min(fewest, field(samples[atEnd ? samples.size() - 1 - i : i]));
    return fewest;
  };
  const auto threadsOf = [](const TSample& s) { return s.Threads; };
  const auto descriptorsOf = [](const TSample& s) { return s.Descriptors; };

  const double seconds = endWall - startWall;
  const double ideal = static_cast<double>(options.Items) / options.Frequency;
  const std::size_t printed = run->Count(Contains("  OK  ")) + run->Count(Contains("  FAILED  "));
  const auto percentiles = [](const char* title, const std::vector<double>& values) {
    std::printf("  %-34s p50 %6.1f  p99 %6.1f  max %6.1f  (%zu checks)\n", title,
                Percentile(values, 0.5), Percentile(values, 0.99), Percentile(values, 1.0),
                values.size());
  };
  std::printf(
      "bench_monitor: %d download items every %d s against loopback nginx, %.1f s, "
      "event log %s\n",
      options.Items, options.Frequency, seconds, options.Log ? "on" : "off");
  std::printf(
      "checks per second      %.1f of an ideal %.1f (%.1f%%); %zu results printed in "
      "the whole run\n",
      inWindow / seconds, ideal, 100.0 * inWindow / seconds / ideal, printed);
  std::printf("lateness, ms (target: p99 <= 50 while fewer than %d checks run)\n", kRunningLimit);
  percentiles("scheduler start - NextRun", scheduler);
  percentiles("  with < 32 running", schedulerBelowLimit);
  percentiles("request arrival - previous + freq", served);
  percentiles("  with < 32 running", servedBelowLimit);
  percentiles("hand-over: arrival - start", handOver);
  std::printf(
      "checks running         p50 %.0f  p99 %.0f  max %.0f (threads beyond the "
      "monitor's %d)\n",
      Percentile(running, 0.5), Percentile(running, 0.99), Percentile(running, 1.0), baseThreads);
  std::printf("CPU                    %.2f s in %.1f s: %.1f%% of one core\n",
              last.CpuSeconds - first.CpuSeconds, seconds,
              100.0 * (last.CpuSeconds - first.CpuSeconds) / seconds);
  std::printf("peak memory            %.1f MiB (target < 64)\n", last.PeakKiB / 1024.0);
  std::printf(
      "threads                start %d, end %d; without checks: first tenth %d, last "
      "tenth %d\n",
      first.Threads, last.Threads, quietest(false, threadsOf), quietest(true, threadsOf));
  std::printf("descriptors            start %d, end %d; fewest: first tenth %d, last tenth %d\n",
              first.Descriptors, last.Descriptors, quietest(false, descriptorsOf),
              quietest(true, descriptorsOf));
  std::printf("stop                   %s after SIGTERM in %lld ms\n",
              stopped ? ("exit " + std::to_string(*stopped)).c_str() : "still running",
              static_cast<long long>(stopTook.count()));
  const std::string errors = run->Errors();
  if (!errors.empty())
    std::printf("monitor's errors:\n%s\n", errors.substr(0, 2000).c_str());
  return 0;
}
