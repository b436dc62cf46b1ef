// Timing accuracy of ICMP echo: against a target that answers after 50 ms
// (the TUN responder in a network namespace of our own), our PingTime beside
// the time iputils ping reports for the same target, in alternating rounds.
// Target: the median difference within 2 ms. Needs root.
//
// bench_net_ping [rounds]

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/ping.h"
#include "support/peer_netns.h"

namespace {

using vantrel::TxxPing;
using vantrel::test::TTunPingTarget;

constexpr int kDelayMs = 50;
constexpr double kTargetMs = 2.0;

double Median(std::vector<double> values) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The "time=" of iputils ping's reply line; negative when there was none.
double ReferenceTime(TTunPingTarget& target, const char* host) {
  std::string output;
  if (target.Namespace().Run({"ping", "-n", "-c", "1", "-W", "2", host}, &output) != 0)
    return -1;
  const std::size_t at = output.find("time=");
  return at == std::string::npos ? -1 : std::atof(output.c_str() + at + 5);
}

double OurTime(TTunPingTarget& target, const char* host) {
  double time = -1;
  target.Namespace().RunOnThread([&] {
    TxxPing ping;
    ping.Timeout = 2000;
    if (ping.Ping(host))
      time = ping.PingTime;
  });
  return time;
}

// One family: prints its line, returns false when a run failed.
bool Measure(TTunPingTarget& target, const char* label, const char* host, int rounds,
             double& medianDifference) {
  std::vector<double> ours;
  std::vector<double> reference;
  std::vector<double> differences;
  for (int round = 0; round < rounds; ++round) {
    const double our = OurTime(target, host);
    const double their = ReferenceTime(target, host);
    if (our < 0 || their < 0) {
      std::fprintf(stderr, "%s round %d failed (ours %.1f, ping %.1f)\n%s\n", label, round, our,
                   their, target.Log().c_str());
      return false;
    }
    ours.push_back(our);
    reference.push_back(their);
    differences.push_back(our - their);
  }
  medianDifference = Median(differences);
  const auto [low, high] = std::minmax_element(differences.begin(), differences.end());
  std::printf("%-5s %6d %12.2f %12.2f %12.2f %8.2f..%.2f\n", label, rounds, Median(ours),
              Median(reference), medianDifference, *low, *high);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  TTunPingTarget::TOptions options;
  options.DelayMs = kDelayMs;
  TTunPingTarget target(options);
  if (!target.Ok()) {
    std::fprintf(stderr, "no ping target (root, /dev/net/tun and iproute2 needed): %s\n",
                 target.Error().c_str());
    return 1;
  }
  std::printf("ICMP echo to a target answering after %d ms: PingTime vs iputils ping\n", kDelayMs);
  std::printf("%-5s %6s %12s %12s %12s %14s\n", "", "rounds", "ours ms", "ping ms", "median diff",
              "diff range");
  double v4 = 0;
  double v6 = 0;
  if (!Measure(target, "IPv4", TTunPingTarget::kTargetIPv4, rounds, v4) ||
      !Measure(target, "IPv6", TTunPingTarget::kTargetIPv6, rounds, v6))
    return 1;
  const bool met = std::abs(v4) <= kTargetMs && std::abs(v6) <= kTargetMs;
  std::printf("target |median diff| <= %.0f ms: %s\n", kTargetMs, met ? "met" : "MISSED");
  return 0;
}
