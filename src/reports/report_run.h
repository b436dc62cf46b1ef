#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/date_time.h"
#include "reports/report_item.h"

namespace vantrel {

class TWatchHistory;
class TWatchItem;

// What keeps a report from running; the message is for the user.
class EReportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kSelectItemMessage = "Please select a item for generating the report.";

// Runs `report` for `item` (null: none) as at `now`: writes its document, named
// after the report with the format's extension, as a private document
// (WritePrivateDocument, replacing a previous one) and returns the path, for
// the caller to open or print. A detail report without an item throws
// EReportError(kSelectItemMessage); file errors throw.
std::filesystem::path RunReport(const TReportItem& report, const TWatchItem* item,
                                TWatchHistory& history, TDateTime now);

}  // namespace vantrel
