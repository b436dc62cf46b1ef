#include "reports/report_item.h"

namespace vantrel {

void TReportItem::Assign(const TReportItem& source) {
  const std::int32_t id = Id;
  *this = source;
  Id = id;
}

std::string ReportFormatName(TReportFormat format) {
  switch (format) {
    case TReportFormat::Html:
      return "HTML";
    case TReportFormat::Xml:
      return "XML";
    case TReportFormat::Csv:
      return "CSV";
  }
  return "format " + std::to_string(static_cast<int>(format));
}

std::string ReportPeriodName(TReportPeriod period) {
  switch (period) {
    case TReportPeriod::LastDay:
      return "Last Day";
    case TReportPeriod::LastWeek:
      return "Last Week";
    case TReportPeriod::LastMonth:
      return "Last Month";
    case TReportPeriod::LastYear:
      return "Last Year";
    case TReportPeriod::AllPeriod:
      return "All Period";
  }
  return "";
}

std::string ReportTypeName(TReportType type) {
  return type == TReportType::Detail ? "Detail" : "Summary";
}

std::string ReportFileExtension(TReportFormat format) {
  switch (format) {
    case TReportFormat::Xml:
      return ".xml";
    case TReportFormat::Csv:
      return ".csv";
    default:
      return ".html";
  }
}

}  // namespace vantrel
