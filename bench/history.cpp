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

#include "platform/date_time.h"
#include "storage/file_system_format.h"
#include "storage/history.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using TClockType = std::chrono::steady_clock;

constexpr std::uint32_t kItems = 1000;
constexpr std::size_t kStored = kHistoryRecordSize + kCheckValueSize;
constexpr std::size_t kHeader = 3 + kVersionTextSize + kCheckValueSize;

// --- Memory -----------------------------------------------------------------

// A "Vm...:" line of /proc/self/status in bytes, or -1.
long long StatusBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t length = std::strlen(key);
  while (std::getline(status, line)) {
    if (line.compare(0, length, key) == 0)
      return std::atoll(line.c_str() + length) * 1024;
  }
  return -1;
}

// Resets the peak resident size to the current one, so that each pass gets a
// peak of its own. Without it the peaks are those of the whole process so far.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

long long PeakBytes() {
  const long long hwm = StatusBytes("VmHWM:");
  if (hwm >= 0)
    return hwm;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<long long>(usage.ru_maxrss) * 1024;
}

// --- A watch list stand-in --------------------------------------------------

// Keeps per-item statistics the way the watch list does, so that the replay
// costs what it costs in the program: per record, a table lookup from the
// identifier to the item, the item behind its pointer, a few updates; the
// records come a batch at a time.
class TBenchTarget : public THistoryTarget {
 public:
  struct TStats {
    std::uint32_t ItemId = 0;
    std::int32_t LastResponseCode = 0;
    std::int32_t LastResponseTime = 0;
    std::int32_t AvgResponseTime = 0;
    std::int32_t TimesChecked = 0;
    std::int32_t TimesFailed = 0;
    std::int32_t ConsecutiveFailures = 0;
    std::int32_t ConsecutiveSuccesses = 0;
    TDateTime LastChecked = 0;
    TDateTime LastSuccess = 0;
    TDateTime LastFailure = 0;
  };

  TBenchTarget() : DenseIds_(4 * kItems + 1024, 0) {
    for (std::uint32_t id = 1; id <= kItems; ++id) {
      Stats_.push_back(std::make_unique<TStats>(TStats{.ItemId = id}));
      DenseIds_[id] = static_cast<int>(Stats_.size());
      Items_.push_back(
          {id, "Item " + std::to_string(id), "https://example.test/" + std::to_string(id)});
    }
  }

  void ApplyResult(const THistoryRecord& record) override { Apply(record); }
  void ApplyResults(std::span<const THistoryRecord> records) override {
    for (const THistoryRecord& record : records)
      Apply(record);
  }
  void BeginReplay() override {
    for (const auto& stats : Stats_)
      *stats = TStats{.ItemId = stats->ItemId};
  }
  void EndReplay() override {}
  std::vector<TItemInfo> SummaryItems() const override { return Items_; }
  std::optional<std::int32_t> ServiceIdOf(std::uint32_t itemId) const override {
    return static_cast<std::int32_t>(itemId);
  }
  std::vector<std::uint32_t> SelectedItemIds() const override { return {}; }

  std::int64_t Checksum() const {
    std::int64_t sum = MaxId_;
    for (const auto& stats : Stats_)
      sum += stats->TimesChecked + stats->TimesFailed + stats->AvgResponseTime;
    return sum;
  }

 private:
  void Apply(const THistoryRecord& record) {
    if (static_cast<std::int32_t>(record.ItemId) > MaxId_)
      MaxId_ = static_cast<std::int32_t>(record.ItemId);
    if (record.ItemId >= DenseIds_.size() || DenseIds_[record.ItemId] == 0)
      return;
    TStats& s = *Stats_.at(static_cast<std::size_t>(DenseIds_[record.ItemId] - 1));
    if (s.ItemId != record.ItemId)
      return;
    s.LastResponseCode = record.ResponseCode;
    s.LastResponseTime = record.ResponseTime;
    if (record.Success)
      s.AvgResponseTime = RunningAverage(s.AvgResponseTime, s.TimesChecked, record.ResponseTime);
    ++s.TimesChecked;
    s.LastChecked = record.Date;
    if (record.Success) {
      s.LastSuccess = record.Date;
      s.ConsecutiveFailures = 0;
      ++s.ConsecutiveSuccesses;
    } else {
      ++s.TimesFailed;
      s.LastFailure = record.Date;
      ++s.ConsecutiveFailures;
      s.ConsecutiveSuccesses = 0;
    }
  }

  std::vector<std::unique_ptr<TStats>> Stats_;
  std::vector<int> DenseIds_;  // Id -> index in Stats_ + 1, 0 when absent
  std::vector<TItemInfo> Items_;
  std::int32_t MaxId_ = 0;
};

// --- Baselines ---------------------------------------------------------------

// The key bytes of a 21-byte block, worked out once.
struct TBlockKey {
  std::array<unsigned char, kHistoryRecordSize> First{};
  std::array<unsigned char, kHistoryRecordSize> Second{};
  std::array<std::uint16_t, kHistoryRecordSize> Mix{};

  TBlockKey() {
    const std::string key = kDataPassPhrase;
    const std::size_t n = kHistoryRecordSize;
    for (std::size_t i = 0; i < n; ++i) {
      First[i] = static_cast<unsigned char>(key[i % key.size()]);
      Second[i] = static_cast<unsigned char>(key[(n - i) % key.size()]);
      Mix[i] = static_cast<std::uint16_t>(i % 2 == 0 ? First[i] : First[i] << 8);
    }
  }
};

[[noreturn]] void Die(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

struct TPassResult {
  std::uint64_t Blocks = 0;
  std::uint64_t Checksum = 0;  // keeps the work from being optimised away
};

// Large reads, precomputed key: the least any reader of this format must do.
TPassResult FloorPass(const std::string& path) {
  static const TBlockKey key;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    Die(path);
  constexpr std::size_t kChunkBlocks = 16384;
  std::vector<unsigned char> chunk(kChunkBlocks * kStored);
  TPassResult result;
  std::size_t filled = 0;
  off_t offset = kHeader;
  for (;;) {
    const ssize_t got = ::pread(fd, chunk.data() + filled, chunk.size() - filled, offset);
    if (got < 0)
      Die(path);
    offset += got;
    filled += static_cast<std::size_t>(got);
    const std::size_t blocks = filled / kStored;
    for (std::size_t b = 0; b < blocks; ++b) {
      unsigned char* data = chunk.data() + b * kStored;
      std::uint16_t sum = 0;
      for (std::size_t i = 0; i < kHistoryRecordSize; ++i) {
        data[i] = static_cast<unsigned char>((data[i] - key.Second[i]) ^ key.First[i]);
        sum = static_cast<std::uint16_t>((sum + data[i]) ^ key.Mix[i]);
      }
      const auto stored = static_cast<std::uint16_t>(data[21] | data[22] << 8);
      if (sum != stored) {
        std::fprintf(stderr, "floor: bad block %llu\n",
                     static_cast<unsigned long long>(result.Blocks));
        std::exit(1);
      }
      result.Checksum += data[0];
      ++result.Blocks;
    }
    std::memmove(chunk.data(), chunk.data() + blocks * kStored, filled - blocks * kStored);
    filled -= blocks * kStored;
    if (got == 0)
      break;
  }
  ::close(fd);
  return result;
}

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

// --- Measuring ----------------------------------------------------------------

// The best wall-clock and processor times of the runs so far, and the highest
// peak among them. On a machine shared with other work the processor time is
// the steadier of the two: waiting for a processor does not count.
struct TMeasure {
  double Seconds = 1e300;
  double CpuSeconds = 1e300;
  long long PeakBeyondStart = 0;
};

long long gStartRss = 0;
bool gPeakResets = false;

double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs `run` once and counts its times and peak into `best`.
void MeasureOnce(TMeasure& best, const std::function<void()>& run) {
  ResetPeak();
  const double cpuStart = ProcessCpuSeconds();
  const auto start = TClockType::now();
  run();
  const double seconds = std::chrono::duration<double>(TClockType::now() - start).count();
  best.Seconds = std::min(best.Seconds, seconds);
  best.CpuSeconds = std::min(best.CpuSeconds, ProcessCpuSeconds() - cpuStart);
  best.PeakBeyondStart = std::max(best.PeakBeyondStart, PeakBytes() - gStartRss);
}

std::string TemporaryFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/vantrel-bench-XXXXXX";
  if (!::mkdtemp(pattern.data()))
    Die(pattern);
  return pattern;
}

// 1,000 items, records a year apart from first to last, about 5 % failures.
void BuildHistory(TWatchHistory& history, std::uint64_t records) {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  const TDateTime start = EncodeDate(2024, 1, 1);
  const double step = 365.0 / static_cast<double>(records);
  for (std::uint64_t i = 0; i < records; ++i) {
    const std::uint64_t r = next();
    THistoryRecord record;
    record.ItemId = static_cast<std::uint32_t>(r % kItems) + 1;
    record.Date = start + static_cast<double>(i) * step;
    record.Success = (r >> 16) % 100 >= 5;
    if (record.Success) {
      record.ResponseTime = static_cast<std::int32_t>(20 + (r >> 24) % 980);
      record.ResponseCode = 200;
    } else {
      static constexpr std::int32_t kCodes[] = {0, 408, 500, 404, 420};
      record.ResponseCode = kCodes[(r >> 24) % 5];
      record.ResponseTime = record.ResponseCode == 408 ? 30000 : 0;
    }
    history.Add(record);
  }
  history.Flush();
}

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
