#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/memory_views.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "platform/manual_main_loop.h"
#include "storage/history_record.h"
#include "storage/settings.h"

namespace vantrel::test {

// A watch list on in-memory views and a manual clock, with its own
// preferences and a log of the alarm events it raised.
class TWatchListFixture : public ::testing::Test {
 protected:
  explicit TWatchListFixture(std::string fileName = "")
      : List(ItemView, std::move(fileName), DetailsView, Clock, [this] { return Preferences; }) {
    List.OnAlarm = [this](TWatchItem& item) { Events.push_back("alarm " + item.Name); };
    List.OnAlarmReset = [this](TWatchItem& item) { Events.push_back("reset " + item.Name); };
  }

  // Adds an item named `name` through the list, as the user would.
  TWatchItem& Add(const std::string& name, std::int32_t frequency = 60) {
    TWatchItem source(Clock);
    source.Name = name;
    source.SetFrequency(frequency);
    return List.AddItem(source);
  }

  // The row that carries `item`, or -1.
  int RowOf(const TWatchItem& item) const {
    for (int row = 0; row < ItemView.RowCount(); ++row) {
      if (ItemView.RowItem(row) == &item)
        return row;
    }
    return -1;
  }

  void SelectOnly(const std::vector<int>& rows) {
    ItemView.ClearSelection();
    for (const int row : rows)
      ItemView.SetSelected(row, true);
  }

  // The names of the rows' items in row order ("-" for a row without one).
  std::vector<std::string> RowNames() const {
    std::vector<std::string> names;
    for (int row = 0; row < ItemView.RowCount(); ++row) {
      const TWatchItem* item = ItemView.RowItem(row);
      names.push_back(item ? item->Name : "-");
    }
    return names;
  }

  std::vector<std::string> CollectionNames() const {
    std::vector<std::string> names;
    for (int index = 0; index < List.Count(); ++index)
      names.push_back(List.Item(index).Name);
    return names;
  }

  TManualClock Clock;
  TMemoryItemView ItemView;
  TMemoryDetailsView DetailsView;
  TPreferences Preferences;
  TWatchList List;
  std::vector<std::string> Events;
};

// A check result of `item`, dated `date`.
inline THistoryRecord Result(const TWatchItem& item, bool success, std::int32_t time,
                             std::int32_t code, TDateTime date) {
  return THistoryRecord{static_cast<std::uint32_t>(item.Id()), success, date, time, code};
}

}  // namespace vantrel::test
