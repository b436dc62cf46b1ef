// The report-definitions file: after the container's header, the default
// report's Id, the number of definitions, and each definition as one block per
// field, in list order. The byte fields are stored as 32-bit integers.

#include <filesystem>
#include <system_error>

#include "reports/report_list.h"
#include "storage/atomic_file.h"
#include "storage/file_errors.h"
#include "storage/file_system.h"
#include "storage/file_system_fields.h"
#include "storage/file_system_format.h"

namespace vantrel {

namespace {

namespace fs = std::filesystem;

void ReadDefinition(TxxFileSystem& file, TReportItem& item) {
  item.Id = file.ReadInteger();
  item.Name = file.ReadString();
  item.Format = ReadEnum<TReportFormat>(file);
  item.Period = ReadEnum<TReportPeriod>(file);
  item.ReportType = ReadEnum<TReportType>(file);
  item.DetailGraphics = ReadBool(file);
  item.GraphicsGrouping = ReadEnum<TGraphicsGrouping>(file);
  item.DetailResponse = ReadBool(file);
  item.ResponseFilter = ReadEnum<TResultFilter>(file);
  item.DetailStatus = ReadBool(file);
  item.StatusFilter = ReadEnum<TResultFilter>(file);
  item.SummaryGraphics = ReadBool(file);
}

void WriteDefinition(TxxFileSystem& file, const TReportItem& item) {
  file.WriteInteger(item.Id);
  file.WriteString(item.Name);
  WriteEnum(file, item.Format);
  WriteEnum(file, item.Period);
  WriteEnum(file, item.ReportType);
  WriteBool(file, item.DetailGraphics);
  WriteEnum(file, item.GraphicsGrouping);
  WriteBool(file, item.DetailResponse);
  WriteEnum(file, item.ResponseFilter);
  WriteBool(file, item.DetailStatus);
  WriteEnum(file, item.StatusFilter);
  WriteBool(file, item.SummaryGraphics);
}

}  // namespace

void TReportList::LoadFromFile() {
  std::error_code error;
  if (!fs::exists(FileName_, error))
    return;
  Clear();
  TxxFileSystem file(FileName_, kReportListSignature, kReportListVersion, kDataPassPhrase, Ops_);
  file.Open(omRead);
  try {
    const std::int32_t defaultId = file.ReadInteger();
    const std::int32_t count = file.ReadInteger();
    for (std::int32_t i = 0; i < count; ++i) {
      // Read whole before it joins the list: half a definition would run
      // reports nobody defined.
      TReportItem item;
      ReadDefinition(file, item);
      Items_.push_back(std::make_unique<TReportItem>(item));
      if (item.Id == defaultId)
        Default_ = Items_.back().get();
    }
    if (count > 0)
      Selected_ = 0;
    if (!file.Eof())
      throw EDataFileError(FileName_, kWrongFileFormat);
  } catch (const EInOutError& e) {
    // A file that ends inside a definition lacks a field of it.
    if (e.IsReadPastEnd())
      throw EDataFileError(FileName_, kWrongFileFormat);
    throw;
  }
  file.Close();
  Modified_ = false;
}

void TReportList::SaveToFile() {
  if (!Modified_ || Items_.empty())
    return;
  TAtomicFile target(FileName_, TFilePermissions::KeepOr(kNewFileMode), Ops_);
  TxxFileSystem file(target.TemporaryPath(), kReportListSignature, kReportListVersion,
                     kDataPassPhrase, Ops_);
  file.Open(omCreate);
  // With no default (a file whose default Id matched no definition), -1: no
  // definition has it, so the file reads back the same.
  file.WriteInteger(Default_ ? Default_->Id : -1);
  file.WriteInteger(Count());
  for (const auto& item : Items_)
    WriteDefinition(file, *item);
  file.Close();
  target.Commit();
  Modified_ = false;
}

}  // namespace vantrel
