#pragma once

// What the history and report benchmarks share: a history of 1,000 items
// built with Add, a stand-in for the watch list that keeps statistics as it
// does, the floor pass every reader is measured against, and the measuring of
// time and peak memory.

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
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/date_time.h"
#include "storage/file_system_format.h"
#include "storage/history.h"

namespace vantrel::bench {

using TClockType = std::chrono::steady_clock;

inline constexpr std::uint32_t kItems = 1000;
inline constexpr std::size_t kStored = kHistoryRecordSize + kCheckValueSize;
inline constexpr std::size_t kHeader = 3 + kVersionTextSize + kCheckValueSize;

// --- Memory -----------------------------------------------------------------

// A "Vm...:" line of /proc/self/status in bytes, or -1.
inline long long StatusBytes(const char* key) {
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
inline bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

inline long long PeakBytes() {
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

[[noreturn]] inline void Die(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

struct TPassResult {
  std::uint64_t Blocks = 0;
  std::uint64_t Checksum = 0;  // keeps the work from being optimised away
};

// Large reads, precomputed key: the least any reader of this format must do.
inline TPassResult FloorPass(const std::string& path) {
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

// --- Measuring ----------------------------------------------------------------

// The best wall-clock and processor times of the runs so far, and the highest
// peak among them. On a machine shared with other work the processor time is
// the steadier of the two: waiting for a processor does not count.
struct TMeasure {
  double Seconds = 1e300;
  double CpuSeconds = 1e300;
  long long PeakBeyondStart = 0;
};

inline long long gStartRss = 0;
inline bool gPeakResets = false;

inline double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs `run` once and counts its times and peak into `best`.
inline void MeasureOnce(TMeasure& best, const std::function<void()>& run) {
  ResetPeak();
  const double cpuStart = ProcessCpuSeconds();
  const auto start = TClockType::now();
  run();
  const double seconds = std::chrono::duration<double>(TClockType::now() - start).count();
  best.Seconds = std::min(best.Seconds, seconds);
  best.CpuSeconds = std::min(best.CpuSeconds, ProcessCpuSeconds() - cpuStart);
  best.PeakBeyondStart = std::max(best.PeakBeyondStart, PeakBytes() - gStartRss);
}

inline std::string TemporaryFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/vantrel-bench-XXXXXX";
  if (!::mkdtemp(pattern.data()))
    Die(pattern);
  return pattern;
}

// 1,000 items, records a year apart from first to last, about 5 % failures.
inline void BuildHistory(TWatchHistory& history, std::uint64_t records) {
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

}  // namespace vantrel::bench
