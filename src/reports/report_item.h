#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

enum class TReportFormat : std::uint8_t { Html = 0, Xml = 1, Csv = 2 };
enum class TReportPeriod : std::uint8_t {
  LastDay = 0,
  LastWeek = 1,
  LastMonth = 2,
  LastYear = 3,
  AllPeriod = 4,
};
enum class TReportType : std::uint8_t { Detail = 0, Summary = 1 };
enum class TGraphicsGrouping : std::uint8_t { ByHours = 0, ByDays = 1, ByMonths = 2 };
// Which responses (successful, failed) or status runs (online, downline) a
// detail report lists.
enum class TResultFilter : std::uint8_t { Good = 0, Bad = 1, Both = 2 };

// One report definition: what a report shows, over which period, in which
// format. The byte fields keep whatever value a data file holds; the report
// code treats unknown values as the definitions of their fields say.
struct TReportItem {
  std::int32_t Id = -1;  // -1 outside a list
  std::string Name;
  TReportFormat Format = TReportFormat::Html;
  TReportPeriod Period = TReportPeriod::LastDay;
  TReportType ReportType = TReportType::Detail;
  bool DetailGraphics = true;
  TGraphicsGrouping GraphicsGrouping = TGraphicsGrouping::ByDays;
  bool DetailResponse = true;
  TResultFilter ResponseFilter = TResultFilter::Both;
  bool DetailStatus = true;
  TResultFilter StatusFilter = TResultFilter::Both;
  bool SummaryGraphics = true;

  // Every field of `source` but Id.
  void Assign(const TReportItem& source);

  bool operator==(const TReportItem&) const = default;
};

// The names as reports and the command line show them.
std::string ReportFormatName(TReportFormat format);     // "HTML", "XML", "CSV"
std::string ReportPeriodName(TReportPeriod period);     // "Last Day" ... "All Period"
std::string ReportTypeName(TReportType type);           // "Detail", "Summary"
std::string ReportFileExtension(TReportFormat format);  // ".html", ".xml", ".csv"

}  // namespace vantrel
