// How fast the response history is read, against two baselines measured in
// the same run on the same file:
//
//   floor    the fastest pass that only reads the file and unscrambles and
//            checks every block (large reads, key bytes precomputed);
//   literal  one read system call per block and one per check value, the key
//            positions worked out per byte, as a plain reading of the file
//            format would do it.
//
// Usage: bench_history [records] [--literal-limit N]
//   records         history size (default 10,000,000, for 1,000 items)
//   --literal-limit time the literal pass on the first N blocks only and scale
//                   it to the whole file (it is linear: two calls per block)
//
// The file is built in a fresh folder under $TMPDIR (or /tmp) and removed at
// the end. Every pass reads it from the page cache. The floor and the passes
// measured against it take turns for five rounds, each keeping its best
// wall-clock and processor time; the targets are judged by processor time,
// which other work on a shared machine disturbs least.

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "history_bench.h"
#include "platform/date_time.h"
#include "storage/file_system_format.h"
#include "storage/history.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using namespace bench;

// One read call for the block and one for its check value; the key positions
// worked out per byte.
TPassResult LiteralPass(const std::string& path, std::uint64_t limit) {
  const std::string key = kDataPassPhrase;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    Die(path);
  unsigned char header[kHeader];
  if (::read(fd, header, kHeader) != static_cast<ssize_t>(kHeader))
    Die(path);
  TPassResult result;
  const std::size_t n = kHistoryRecordSize;
  while (result.Blocks < limit) {
    unsigned char data[kHistoryRecordSize];
    unsigned char check[kCheckValueSize];
    const ssize_t got = ::read(fd, data, n);
    if (got == 0)
      break;
    if (got != static_cast<ssize_t>(n) || ::read(fd, check, 2) != 2)
      Die(path);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const auto k1 = static_cast<unsigned char>(key[i % key.size()]);
      const auto k2 = static_cast<unsigned char>(key[(n - i) % key.size()]);
      data[i] = static_cast<unsigned char>(static_cast<unsigned char>(data[i] - k2) ^ k1);
      sum = static_cast<std::uint16_t>(sum + data[i]);
      sum ^= (i % 2 == 0) ? k1 : static_cast<std::uint16_t>(k1 << 8);
    }
    if (sum != static_cast<std::uint16_t>(check[0] | check[1] << 8)) {
      std::fprintf(stderr, "literal: bad block\n");
      std::exit(1);
    }
    result.Checksum += data[0];
    ++result.Blocks;
  }
  ::close(fd);
  return result;
}

// --- Measuring -----------------------------------------------------------------

void PrintRow(const char* name, const TMeasure& m, double megabytes, const TMeasure& floor,
              double literalCpuSeconds, const char* note = "") {
  std::printf("%-24s %7.3f s %7.3f s %6.0f MB/s %6.1f MiB", name, m.Seconds, m.CpuSeconds,
              megabytes / m.Seconds, static_cast<double>(m.PeakBeyondStart) / (1024.0 * 1024.0));
  if (&m != &floor) {
    std::printf(" %6.2fx %6.2fx %6.0fx", m.Seconds / floor.Seconds, m.CpuSeconds / floor.CpuSeconds,
                literalCpuSeconds / m.CpuSeconds);
  }
  std::printf("%s\n", note);
}

int Run(int argc, char** argv) {
  gStartRss = StatusBytes("VmRSS:");
  std::uint64_t records = 10'000'000;
  std::optional<std::uint64_t> literalLimit;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--literal-limit" && i + 1 < argc) {
      literalLimit = std::stoull(argv[++i]);
    } else if (!arg.empty() && arg[0] != '-') {
      records = std::stoull(arg);
    } else {
      std::fprintf(stderr, "usage: bench_history [records] [--literal-limit N]\n");
      return 2;
    }
  }
  gPeakResets = ResetPeak();

  const std::string folder = TemporaryFolder();
  const std::string path = folder + "/vantrel.vth";
  TBenchTarget target;
  std::uint64_t fileBytes = 0;
  int result = 0;
  try {
    TWatchHistory history(target, path);
    TMeasure build;
    MeasureOnce(build, [&] { BuildHistory(history, records); });
    fileBytes = fs::file_size(path);
    const double megabytes = static_cast<double>(fileBytes) / 1e6;
    std::printf("history: %llu records for %u items, %.1f MB (%s)\n",
                static_cast<unsigned long long>(records), kItems, megabytes, path.c_str());
    std::printf("built with Add in %.3f s (%.0f records/s)\n", build.Seconds,
                static_cast<double>(records) / build.Seconds);
    std::printf(
        "peak memory is %s; \"beyond start\" is the peak less the %.1f MiB resident at "
        "start\n\n",
        gPeakResets ? "measured per pass (VmHWM reset before each)"
                    : "the process's peak so far (VmHWM could not be reset)",
        static_cast<double>(gStartRss) / (1024.0 * 1024.0));

    const std::uint64_t literalBlocks = std::min(records, literalLimit.value_or(records));
    TPassResult literalResult;
    TMeasure literal;
    MeasureOnce(literal, [&] { literalResult = LiteralPass(path, literalBlocks); });
    if (literalResult.Blocks != literalBlocks)
      throw std::runtime_error("literal pass read a wrong number of blocks");
    const double scale = static_cast<double>(records) / static_cast<double>(literalBlocks);
    literal.Seconds *= scale;
    literal.CpuSeconds *= scale;

    // The passes take turns, so that a burst of other work on the machine
    // slows the floor as much as the passes measured against it.
    constexpr int kRounds = 5;
    TPassResult floorResult;
    std::int64_t replayCheck = 0;
    THistoryArray one;
    THistorySumArray sums;
    TMeasure floor, load, query, summary;
    for (int round = 0; round < kRounds; ++round) {
      MeasureOnce(floor, [&] { floorResult = FloorPass(path); });
      if (floorResult.Blocks != records)
        throw std::runtime_error("floor pass read a wrong number of blocks");
      MeasureOnce(load, [&] {
        history.LoadStatistics();
        replayCheck = target.Checksum();
      });
      MeasureOnce(query, [&] { history.GetHistory(kItems / 2, one, 0, 1e6); });
      MeasureOnce(summary, [&] { history.GetSummary(sums, 0, 1e6); });
    }

    std::int64_t counted = 0;
    for (const THistorySum& sum : sums)
      counted += sum.Count;
    if (static_cast<std::uint64_t>(counted) != records)
      throw std::runtime_error("summary counted a wrong number of records");

    std::printf("best of %d rounds; ratios to the floor by wall-clock and by processor time\n",
                kRounds);
    std::printf("%-24s %9s %9s %11s %10s %7s %7s %7s\n", "pass", "wall", "cpu", "speed", "peak+",
                "floor", "floor", "literal");
    std::printf("%-24s %9s %9s %11s %10s %7s %7s %7s\n", "", "", "", "(wall)", "", "(wall)",
                "(cpu)", "(cpu)");
    PrintRow("floor (read+check)", floor, megabytes, floor, literal.CpuSeconds);
    PrintRow("literal (2 reads/block)", literal, megabytes, floor, literal.CpuSeconds,
             literalBlocks < records ? "  (scaled from a prefix)" : "");
    PrintRow("LoadStatistics", load, megabytes, floor, literal.CpuSeconds);
    PrintRow("GetHistory (1 item)", query, megabytes, floor, literal.CpuSeconds);
    PrintRow("GetSummary (all items)", summary, megabytes, floor, literal.CpuSeconds);
    std::printf("\n(GetHistory returned %zu records; replay checksum %lld)\n", one.size(),
                static_cast<long long>(replayCheck));

    std::printf(
        "\ntargets: within 1.5x floor by processor time, LoadStatistics under 64 MiB beyond "
        "start (the literal pass is there for scale: no reader can beat the floor's own ratio "
        "to it)\n");
    const double slowest = std::max({load.CpuSeconds, query.CpuSeconds, summary.CpuSeconds});
    const bool ok = slowest <= 1.5 * floor.CpuSeconds && load.PeakBeyondStart < 64ll * 1024 * 1024;
    std::printf("%s\n", ok ? "all targets met" : "TARGETS MISSED");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_history: %s\n", error.what());
    result = 1;
  }
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return result;
}

}  // namespace
}  // namespace vantrel

int main(int argc, char** argv) {
  return vantrel::Run(argc, argv);
}
