#include "app/data_files.h"

namespace vantrel {

TDataFiles DataFilesIn(const std::filesystem::path& folder) {
  return TDataFiles{
      .Settings = folder / "vantrel.ini",
      .WatchList = folder / "vantrel.vtd",
      .History = folder / "vantrel.vth",
      .TempHistory = folder / "vantrel.vtt",
      .Log = folder / "vantrel.log",
      .Reports = folder / "vantrel.vtr",
  };
}

}  // namespace vantrel
