#include "reports/report_run.h"

#include "reports/report_document.h"
#include "storage/private_document.h"

namespace vantrel {

std::filesystem::path RunReport(const TReportItem& report, const TWatchItem* item,
                                TWatchHistory& history, TDateTime now) {
  if (report.ReportType == TReportType::Detail && item == nullptr)
    throw EReportError(kSelectItemMessage);
  return WritePrivateDocument(report.Name + ReportFileExtension(report.Format),
                              ReportDocument(report, item, history, now), "report");
}

}  // namespace vantrel
