#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/memory_views.h"
#include "core/settings.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "platform/manual_main_loop.h"
#include "storage/history.h"
#include "storage/history_record.h"

namespace vantrel::test {

inline int RowOf(const TMemoryItemView& view, const TWatchItem& item) {
  for (int row = 0; row < view.RowCount(); ++row) {
    if (view.RowItem(row) == &item)
      return row;
  }
  return -1;
}

// A watch list on in-memory views and a manual clock, with its own
// preferences and a log of the alarm events it raised.
class TWatchListFixture : public ::testing::Test {
 protected:
  explicit TWatchListFixture(std::string fileName = "")
      : List(ItemView, std::move(fileName), DetailsView, Settings, Clock) {
    List.OnAlarm = [this](TWatchItem& item) { Events.push_back("alarm " + item.Name); };
    List.OnAlarmReset = [this](TWatchItem& item) { Events.push_back("reset " + item.Name); };
  }

  TWatchItem& Add(const std::string& name, std::int32_t frequency = 60) {
    TWatchItem source(Clock);
    source.Name = name;
    source.SetFrequency(frequency);
    return List.AddItem(source);
  }

  int RowOf(const TWatchItem& item) const { return test::RowOf(ItemView, item); }

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
  // Changes the preferences the list reads.
  void EditPreferences(const std::function<void(TPreferences&)>& edit) {
    TPreferences preferences = Settings.GetPreferences();
    edit(preferences);
    Settings.SetPreferences(preferences);
  }

  TSettings Settings;
  TWatchList List;
  std::vector<std::string> Events;
};

// What a data folder holds, read back as the next start of the program reads it.
struct TSavedList {
  explicit TSavedList(const std::filesystem::path& folder)
      : List(ItemView, (folder / "vantrel.vtd").string(), DetailsView, Settings, Clock),
        History(List, (folder / "vantrel.vth").string()) {
    List.LoadFromFile();
    History.LoadStatistics();
  }
  TManualClock Clock;
  TMemoryItemView ItemView;
  TMemoryDetailsView DetailsView;
  TSettings Settings;
  TWatchList List;
  TWatchHistory History;
};

inline THistoryRecord Result(const TWatchItem& item, bool success, std::int32_t time,
                             std::int32_t code, TDateTime date) {
  return THistoryRecord{static_cast<std::uint32_t>(item.Id()), success, date, time, code};
}

// Gives every setting of `item` a value other than the new item's.
inline void FillSettings(TWatchItem& item) {
  item.Name = "shop";
  item.Url = "https://shop.example.org/";
  item.SetFrequency(300);
  item.SetActive(false);
  item.AlarmTrigger = item.AlarmReset = item.CheckExtra = item.CheckConnection = true;
  item.TriggerCount = 3;
  item.ResetCount = 2;
  item.CheckType = TCheckType::Ftp;
  item.PingTimeout = 1500;
  item.DownloadTimeout = 9000;
  item.ServiceTimeout = 2500;
  item.SearchText = "Welcome";
  item.CaseSensitive = item.LogFailedPages = true;
  item.PopupAction = false;
  item.PopupText = "down!";
  item.EmailAction = item.CommandAction = item.SoundAction = item.SoundRepeat = true;
  item.EmailAddress = "a@example.org;b@example.org";
  item.EmailType = TEmailType::Report;
  item.ReportId = 4;
  item.Command = "notify";
  item.SoundFile = "alarm.wav";
  item.ServiceId = 77;
  item.Username = "jdoe";
  item.UserEmail = "jane@example.org";
  item.UserFullName = "Jane Doe";
}

// Every setting of `item` (what Assign copies) in one text, to compare items.
inline std::string SettingsOf(const TWatchItem& i) {
  std::ostringstream s;
  s.precision(17);
  s << i.Created << '|' << i.Name << '|' << i.Url << '|' << i.Frequency() << '|' << i.Active()
    << i.AlarmTrigger << i.TriggerCount << i.AlarmReset << i.ResetCount << i.CheckExtra
    << i.CheckConnection << static_cast<int>(i.CheckType) << '|' << i.PingTimeout << '|'
    << i.DownloadTimeout << '|' << i.ServiceTimeout << '|' << i.SearchText << '|' << i.CaseSensitive
    << i.LogFailedPages << i.PopupAction << '|' << i.PopupText << '|' << i.EmailAction
    << i.EmailAddress << '|' << static_cast<int>(i.EmailType) << '|' << i.ReportId << '|'
    << i.CommandAction << i.Command << '|' << i.SoundAction << i.SoundFile << '|' << i.SoundRepeat
    << i.ServiceId << '|' << i.Username << '|' << i.UserEmail << '|' << i.UserFullName;
  return s.str();
}

}  // namespace vantrel::test
