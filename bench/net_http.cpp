// The HTTP client against curl, both talking to nginx on loopback.
//
// Accuracy: for a page that nginx answers after 50 ms, the median difference
// between our ElapsedTime and curl's time_total - time_connect for the same
// URL (target: within 2 ms). Cost: 2,000 GETs of a 10 KB page by our client
// and by one curl process given the 2,000 URLs: wall and CPU time per request
// and their ratio (target: our CPU per request at most 1.5 times curl's).
//
// Needs nginx-light and curl (scripts/install-deps.sh). Run from a Release build.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "support/peer_nginx.h"
#include "support/test_files.h"

extern char** environ;

namespace {

using vantrel::TxxHttp;
using vantrel::test::TNginxPeer;
using vantrel::test::TTempDir;

constexpr int kTimingRounds = 51;
constexpr int kCostRequests = 2000;
constexpr int kWarmUpRequests = 50;

struct TCost {
  double WallMs = 0;
  double CpuMs = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

double CpuMs(const rusage& usage) {
  return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
         usage.ru_stime.tv_usec / 1e3;
}

double WallMsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// One request as a page check makes it: a fresh client, version 1.0.
bool CheckOnce(const std::string& url, TxxHttp* reused = nullptr) {
  TxxHttp fresh;
  TxxHttp& http = reused != nullptr ? *reused : fresh;
  http.Reset();
  http.Timeout = 100000;
  http.UserAgent = "Mozilla/4.0 (compatible)";
  http.Headers = {"Pragma: no-cache", "Cache-Control: no-cache"};
  return http.Request("GET", url) && http.ResultCode() == 200;
}

// curl's time_total - time_connect in milliseconds, or -1.
double CurlExchangeMs(const std::string& url) {
  const std::string command =
      "curl -s --http1.0 -o /dev/null -w '%{time_connect} %{time_total}' '" + url + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr)
    return -1;
  double connect = 0;
  double total = 0;
  const int read = std::fscanf(pipe, "%lf %lf", &connect, &total);
  pclose(pipe);
  return read == 2 ? (total - connect) * 1000 : -1;
}

// Runs curl with `arguments` to the end; its wall and CPU time.
TCost RunCurl(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
    return {-1, -1};
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double wall = WallMsSince(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return {-1, -1};
  return {wall, CpuMs(usage)};
}

TCost RunOurs(const std::string& url, bool reuse) {
  TxxHttp reused;
  reused.Protocol = "1.1";
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const auto start = std::chrono::steady_clock::now();
  int failures = 0;
  for (int i = 0; i < kCostRequests; ++i)
    failures += CheckOnce(url, reuse ? &reused : nullptr) ? 0 : 1;
  const double wall = WallMsSince(start);
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  if (failures > 0)
    std::printf("  (%d of our requests failed)\n", failures);
  return {wall, CpuMs(after) - CpuMs(before)};
}

void PrintCost(const char* ours, const TCost& our, const char* theirs, const TCost& curl) {
  const double n = kCostRequests;
  std::printf("  %-34s wall %7.1f us/req   cpu %7.1f us/req\n", ours, our.WallMs * 1e3 / n,
              our.CpuMs * 1e3 / n);
  std::printf("  %-34s wall %7.1f us/req   cpu %7.1f us/req\n", theirs, curl.WallMs * 1e3 / n,
              curl.CpuMs * 1e3 / n);
  std::printf("  ratio ours/curl                    wall %7.2f          cpu %7.2f\n",
              our.WallMs / curl.WallMs, our.CpuMs / curl.CpuMs);
}

}  // namespace

int main() {
  TNginxPeer nginx;
  if (!nginx.Ok()) {
    std::fprintf(stderr, "%s\n", nginx.Error().c_str());
    return 1;
  }
  nginx.WriteDocument("page10k.html", std::string(10 * 1024, 'p'));
  const std::string delayUrl = nginx.Url("/delay");
  const std::string pageUrl = nginx.Url("/page10k.html");

  // ---- Accuracy ----
  std::vector<double> ours;
  std::vector<double> curls;
  std::vector<double> differences;
  for (int i = 0; i < kTimingRounds; ++i) {
    TxxHttp http;
    if (!http.Request("GET", delayUrl)) {
      std::fprintf(stderr, "our request failed: %d\n", http.Sock().LastError());
      return 1;
    }
    const double curl = CurlExchangeMs(delayUrl);
    if (curl < 0) {
      std::fprintf(stderr, "curl failed\n");
      return 1;
    }
    ours.push_back(http.ElapsedTime());
    curls.push_back(curl);
    differences.push_back(http.ElapsedTime() - curl);
  }
  std::printf("Elapsed time of a page answered after 50 ms (%d rounds, HTTP/1.0):\n",
              kTimingRounds);
  std::printf("  median ElapsedTime %.2f ms, curl time_total - time_connect %.2f ms\n",
              Median(ours), Median(curls));
  std::printf("  median difference %+.2f ms (target: within 2 ms)\n\n", Median(differences));

  // ---- Cost ----
  TTempDir dir;
  const auto writeConfig = [&](const std::string& name) {
    const auto path = dir / name;
    std::ofstream out(path);
    for (int i = 0; i < kCostRequests; ++i)
      out << "url = \"" << pageUrl << "\"\noutput = \"/dev/null\"\n";
    return path.string();
  };
  const std::string config = writeConfig("urls.txt");
  for (int i = 0; i < kWarmUpRequests; ++i)
    CheckOnce(pageUrl);
  RunCurl({"curl", "-s", "--http1.0", "-K", config});

  std::printf("%d GETs of a 10 KB page:\n", kCostRequests);
  const TCost oursFresh = RunOurs(pageUrl, false);
  const TCost curl10 = RunCurl({"curl", "-s", "--http1.0", "-K", config});
  PrintCost("ours, a client per request, 1.0", oursFresh, "one curl, --http1.0", curl10);
  const TCost oursReused = RunOurs(pageUrl, true);
  const TCost curl11 = RunCurl({"curl", "-s", "-K", config});
  PrintCost("ours, one client, 1.1 kept open", oursReused, "one curl, 1.1 kept open", curl11);
  std::printf("  (target: ours at most 1.5 times curl's cpu per request)\n");
  return 0;
}
