// How fast reports are made from a large response history, against the
// floor pass of bench_history (the least any reader of the file must do),
// measured in the same run on the same file:
//
//   the summary report over "All Period" in HTML, XML and CSV (every record
//   counted toward its item), and one item's detail report in HTML (its
//   responses and status runs over "All Period", the rest of the file read
//   past).
//
// Usage: bench_reports [records...]   (default: 1000000 10000000)
//
// Each size gets a history of its own (1,000 items, a year of checks) in a
// fresh folder under $TMPDIR (or /tmp), removed at the end. The floor and the
// reports take turns for five rounds, each keeping its best wall-clock and
// processor time; the targets are judged by processor time, as in
// bench_history: each report within 2x the floor, at most 64 MiB beyond
// start, and the time per record the same for every size.

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/watch_item.h"
#include "history_bench.h"
#include "reports/report_document.h"
#include "reports/report_item.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using namespace bench;

struct TRow {
  const char* Name = "";
  TReportItem Report;
  TMeasure Best;
  std::size_t Bytes = 0;
};

TReportItem Definition(TReportFormat format, TReportType type) {
  TReportItem report;
  report.Name = "Bench";
  report.Format = format;
  report.Period = TReportPeriod::AllPeriod;
  report.ReportType = type;
  return report;
}

struct TSizeResult {
  std::uint64_t Records = 0;
  TMeasure Floor;
  std::vector<TRow> Rows;
};

TSizeResult MeasureSize(std::uint64_t records) {
  const std::string folder = TemporaryFolder();
  const std::string path = folder + "/vantrel.vth";
  TSizeResult result;
  result.Records = records;
  const auto make = [](const char* name, TReportFormat format, TReportType type) {
    TRow made;
    made.Name = name;
    made.Report = Definition(format, type);
    return made;
  };
  result.Rows = {make("summary HTML", TReportFormat::Html, TReportType::Summary),
                 make("summary XML", TReportFormat::Xml, TReportType::Summary),
                 make("summary CSV", TReportFormat::Csv, TReportType::Summary),
                 make("detail HTML (1 item)", TReportFormat::Html, TReportType::Detail)};
  try {
    TBenchTarget target;
    TWatchHistory history(target, path);
    BuildHistory(history, records);
    TWatchItem item;
    item.SetId(kItems / 2);
    item.Name = "Item " + std::to_string(kItems / 2);
    item.Url = "https://example.test/" + std::to_string(kItems / 2);
    const TDateTime now = EncodeDate(2025, 1, 2);
    for (int round = 0; round < 5; ++round) {
      MeasureOnce(result.Floor, [&] {
        if (FloorPass(path).Blocks != records)
          throw std::runtime_error("floor pass read a wrong number of blocks");
      });
      for (TRow& row : result.Rows) {
        MeasureOnce(row.Best,
                    [&] { row.Bytes = ReportDocument(row.Report, &item, history, now).size(); });
      }
    }
  } catch (...) {
    fs::remove_all(folder);
    throw;
  }
  fs::remove_all(folder);
  return result;
}

int Run(int argc, char** argv) {
  gStartRss = StatusBytes("VmRSS:");
  gPeakResets = ResetPeak();
  std::vector<std::uint64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.empty() || arg.find_first_not_of("0123456789") != std::string::npos) {
      std::fprintf(stderr, "usage: bench_reports [records...]\n");
      return 2;
    }
    sizes.push_back(std::stoull(arg));
  }
  if (sizes.empty())
    sizes = {1'000'000, 10'000'000};

  std::vector<TSizeResult> results;
  try {
    for (const std::uint64_t records : sizes) {
      std::printf("measuring %llu records...\n", static_cast<unsigned long long>(records));
      std::fflush(stdout);
      results.push_back(MeasureSize(records));
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_reports: %s\n", error.what());
    return 1;
  }

  std::printf(
      "\nbest of 5 rounds; per size: processor time, ratio to the floor, ns per record,"
      " peak beyond start\n%-22s",
      "pass");
  for (const TSizeResult& r : results)
    std::printf(" | %10llu records            ", static_cast<unsigned long long>(r.Records));
  std::printf("\n");
  bool ok = true;
  const auto print = [&](const char* name, auto measure) {
    std::printf("%-22s", name);
    double firstPerRecord = 0;
    for (const TSizeResult& r : results) {
      const TMeasure& m = measure(r);
      const double perRecord = m.CpuSeconds * 1e9 / static_cast<double>(r.Records);
      if (firstPerRecord == 0)
        firstPerRecord = perRecord;
      std::printf(" | %7.3f s %5.2fx %5.1f ns %5.1f MiB", m.CpuSeconds,
                  m.CpuSeconds / r.Floor.CpuSeconds, perRecord,
                  static_cast<double>(m.PeakBeyondStart) / (1024.0 * 1024.0));
      if (&m != &r.Floor) {
        ok = ok && m.CpuSeconds <= 2 * r.Floor.CpuSeconds &&
             m.PeakBeyondStart <= 64ll * 1024 * 1024 && perRecord <= 1.5 * firstPerRecord;
      }
    }
    std::printf("\n");
  };
  print("floor (read+check)", [](const TSizeResult& r) -> const TMeasure& { return r.Floor; });
  for (std::size_t i = 0; i < results.front().Rows.size(); ++i) {
    print(results.front().Rows[i].Name,
          [i](const TSizeResult& r) -> const TMeasure& { return r.Rows[i].Best; });
  }
  std::printf("\n(documents of the last size: ");
  for (const TRow& row : results.back().Rows)
    std::printf("%s %zu bytes; ", row.Name, row.Bytes);
  std::printf(
      ")\ntargets: each report within 2x the floor by processor time, at most 64 MiB "
      "beyond start, ns per record within 1.5x of the smallest size's\n%s\n",
      ok ? "all targets met" : "TARGETS MISSED");
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace vantrel

int main(int argc, char** argv) {
  return vantrel::Run(argc, argv);
}
