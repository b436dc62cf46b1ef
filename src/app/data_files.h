#pragma once

#include <filesystem>

namespace vantrel {

// The monitor's files in one data folder.
struct TDataFiles {
  std::filesystem::path Settings;     // vantrel.ini
  std::filesystem::path WatchList;    // vantrel.vtd
  std::filesystem::path History;      // vantrel.vth
  std::filesystem::path TempHistory;  // vantrel.vtt (its batch: .vt1 beside it)
  std::filesystem::path Log;          // vantrel.log
  std::filesystem::path Reports;      // vantrel.vtr
};

TDataFiles DataFilesIn(const std::filesystem::path& folder);

}  // namespace vantrel
