#pragma once

#include <string>

#include "platform/date_time.h"
#include "reports/report_item.h"

namespace vantrel {

class TWatchHistory;
class TWatchItem;

// The report `report` defines, as a document in its format, for `item` (a
// detail report; a summary report ignores it and may get null), from the
// history, as at the moment `now`. A detail report needs an item:
// std::invalid_argument without one.
std::string ReportDocument(const TReportItem& report, const TWatchItem* item,
                           TWatchHistory& history, TDateTime now);

// The writers of each format.
std::string HtmlDetailReport(const TReportItem& report, const TWatchItem& item,
                             TWatchHistory& history, TDateTime now);
std::string HtmlSummaryReport(const TReportItem& report, TWatchHistory& history, TDateTime now);
std::string XmlDetailReport(const TReportItem& report, const TWatchItem& item,
                            TWatchHistory& history, TDateTime now);
std::string XmlSummaryReport(const TReportItem& report, TWatchHistory& history, TDateTime now);
std::string CsvDetailReport(const TReportItem& report, const TWatchItem& item,
                            TWatchHistory& history, TDateTime now);
std::string CsvSummaryReport(const TReportItem& report, TWatchHistory& history, TDateTime now);

// The page the alarm shows for `item`: red "Alarm DOWN" or green "Alarm UP",
// its settings and last response, and its message.
std::string HtmlAlarmPage(const TWatchItem& item, TDateTime now);

}  // namespace vantrel
