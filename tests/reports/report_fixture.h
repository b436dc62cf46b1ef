#pragma once

// A response history of two items, written in a temporary folder, for the
// report tests. Dates are fixed and the C locale is in force, so the texts
// of every document are known.

#include <string>
#include <vector>

#include "core/watch_item.h"
#include "platform/date_time.h"
#include "reports/report_item.h"
#include "storage/history.h"
#include "support/test_files.h"

namespace vantrel::test {

class TReportHistory : public THistoryTarget {
 public:
  TReportHistory() : History(*this, (Folder / "vantrel.vth").string()) {
    Shop.SetId(1);
    Shop.Name = "Shop";
    Shop.Url = "http://shop.example/";
    Mail.SetId(2);
    Mail.Name = "Mail";
    Mail.Url = "mail.example";
  }

  // A record of `item` at the moment given.
  void Add(const TWatchItem& item, bool success, TDateTime date, std::int32_t time,
           std::int32_t code) {
    History.Add({static_cast<std::uint32_t>(item.Id()), success, date, time, code});
  }

  void ApplyResult(const THistoryRecord&) override {}
  void BeginReplay() override {}
  void EndReplay() override {}
  std::vector<TItemInfo> SummaryItems() const override {
    return {{1, Shop.DisplayName(), Shop.Url}, {2, Mail.DisplayName(), Mail.Url}};
  }
  std::optional<std::int32_t> ServiceIdOf(std::uint32_t) const override { return 0; }
  std::vector<std::uint32_t> SelectedItemIds() const override { return {}; }

  TTempDir Folder;
  TWatchItem Shop;
  TWatchItem Mail;
  TWatchHistory History;
};

}  // namespace vantrel::test
