#include "cli/loaded_watch_list.h"

#include <stdexcept>
#include <string>

#include "app/data_files.h"
#include "app/headless_output.h"

namespace vantrel {

TLoadedWatchList::TLoadedWatchList(const std::filesystem::path& folder, const TSettings& settings,
                                   std::ostream& warnings)
    : List_(ItemView_, DataFilesIn(folder).WatchList.string(), DetailsView_, settings),
      History_(List_, DataFilesIn(folder).History.string(),
               [&warnings](const std::string& message) {
                 warnings << "vantrel-cli: warning: " << OneLine(message) << std::endl;
               }) {
  List_.LoadFromFile();
}

int TLoadedWatchList::RowOfId(std::int32_t id) const {
  const int index = List_.IndexOfId(id);
  const int row = index >= 0 ? List_.RowOf(index) : -1;
  if (row < 0)
    throw std::runtime_error("there is no item with Id " + std::to_string(id) +
                             " in the watch list");
  return row;
}

TWatchItem& TLoadedWatchList::ItemOfId(std::int32_t id) const {
  return *ItemView_.RowItem(RowOfId(id));
}

}  // namespace vantrel
