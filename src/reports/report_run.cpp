#include "reports/report_run.h"

#include "platform/file_ops.h"
#include "platform/private_folder.h"
#include "reports/report_document.h"
#include "storage/atomic_file.h"

namespace vantrel {

std::string ReportFileName(const TReportItem& report) {
  return SafeFileName(report.Name, "report") + ReportFileExtension(report.Format);
}

std::filesystem::path RunReport(const TReportItem& report, const TWatchItem* item,
                                TWatchHistory& history, TDateTime now,
                                const std::filesystem::path& folder) {
  if (report.ReportType == TReportType::Detail && item == nullptr)
    throw EReportError(kSelectItemMessage);
  const std::string text = ReportDocument(report, item, history, now);
  const std::filesystem::path path = folder / ReportFileName(report);
  // Renamed into place: a browser still showing the previous document never
  // reads half of the new one.
  TAtomicFile file(path.string(), TFilePermissions::Exactly(0600));
  file.Write(text);
  file.Commit();
  return path;
}

std::filesystem::path ReportFolder() {
  return PrivateTempFolder("vantrel");
}

}  // namespace vantrel
