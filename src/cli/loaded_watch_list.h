#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>

#include "core/memory_views.h"
#include "core/watch_list.h"
#include "storage/history.h"

namespace vantrel {

// The watch list and the response history of a data folder, for a tool that
// reads or edits them without running the monitor: nothing is checked and no
// event log is written. Changes go through the list's operations, as the
// window's actions make them.
class TLoadedWatchList {
 public:
  // Loads the watch list of `folder` (no file: an empty list). Damage the
  // history works around is reported to `warnings`. Throws what the load
  // throws: a list that did not load whole is never saved over. `settings`
  // must outlive the list.
  TLoadedWatchList(const std::filesystem::path& folder, const TSettings& settings,
                   std::ostream& warnings);
  TLoadedWatchList(const TLoadedWatchList&) = delete;
  TLoadedWatchList& operator=(const TLoadedWatchList&) = delete;

  TWatchList& List() { return List_; }
  TWatchHistory& History() { return History_; }

  // Replays the history into the items' statistics; the list also learns the
  // identifiers only the history still holds, so a new item never takes one.
  void ReplayHistory() { History_.LoadStatistics(); }

  // The row of the item with identifier `id`. Throws std::runtime_error when
  // there is none.
  int RowOfId(std::int32_t id) const;
  TWatchItem& ItemOfId(std::int32_t id) const;

  // Writes the watch list when it changed, through a temporary file.
  void Save() { List_.SaveToFile(); }

 private:
  TMemoryItemView ItemView_;
  TMemoryDetailsView DetailsView_;
  TWatchList List_;
  TWatchHistory History_;
};

}  // namespace vantrel
