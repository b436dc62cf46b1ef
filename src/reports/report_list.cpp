#include "reports/report_list.h"

#include <algorithm>
#include <array>
#include <exception>

namespace vantrel {

namespace {

struct TBuiltIn {
  const char* Name;
  TReportFormat Format;
  TReportType Type;
  bool DetailGraphics;
  bool DetailResponse;
  TResultFilter ResponseFilter;
  bool DetailStatus;
  bool SummaryGraphics;
};

using enum TReportFormat;
using enum TReportType;
constexpr TResultFilter kBoth = TResultFilter::Both;
constexpr TResultFilter kFailed = TResultFilter::Bad;

constexpr std::array<TBuiltIn, 11> kBuiltIns = {{
    {"Detail Report in HTML", Html, Detail, true, true, kBoth, true, true},
    {"Responses Detail Report in HTML", Html, Detail, true, true, kBoth, false, true},
    {"Failed Responses Report in HTML", Html, Detail, true, true, kFailed, false, true},
    {"Status Detail Report in HTML", Html, Detail, true, false, kBoth, true, true},
    {"Summary Report in HTML", Html, Summary, false, false, kBoth, false, true},
    {"Detail Report in XML", Xml, Detail, false, true, kBoth, true, false},
    {"Summary Report in XML", Xml, Summary, false, false, kBoth, false, false},
    {"Responses Detail Report in CSV", Csv, Detail, false, true, kBoth, false, false},
    {"Failed Responses Report in CSV", Csv, Detail, false, true, kFailed, false, false},
    {"Status Detail Report in CSV", Csv, Detail, false, false, kBoth, true, false},
    {"Summary Report in CSV", Csv, Summary, false, false, kBoth, false, false},
}};

}  // namespace

TReportList::TReportList(std::string fileName, TFileOps& ops)
    : FileName_(std::move(fileName)), Ops_(ops) {}

std::string TReportList::EntryText(int index) const {
  const TReportItem& item = Item(index);
  return &item == Default_ ? item.Name + " (default)" : item.Name;
}

TReportItem& TReportList::Add(const TReportItem& source) {
  Modified_ = true;
  std::int32_t id = 0;
  for (const auto& item : Items_)
    id = std::max(id, item->Id + 1);
  auto& item = *Items_.emplace_back(std::make_unique<TReportItem>());
  item.Id = id;
  item.Assign(source);
  Selected_ = Count() - 1;
  return item;
}

void TReportList::Changed(int index) {
  Item(index);  // refuses an index out of range
  Modified_ = true;
}

void TReportList::RemoveAt(int index) {
  TReportItem& item = Item(index);
  if (OnDelete)
    OnDelete(item);
  if (&item == Default_)
    Default_ = nullptr;
  Items_.erase(Items_.begin() + index);
}

void TReportList::Delete(int index) {
  Item(index);
  Modified_ = true;
  RemoveAt(index);
  Selected_ = std::min(index, Count() - 1);
}

void TReportList::SetDefault(int index) {
  Default_ = &Item(index);
  Modified_ = true;
}

int TReportList::IndexOfId(std::int32_t id) const {
  for (int i = 0; i < Count(); ++i) {
    if (Item(i).Id == id)
      return i;
  }
  return -1;
}

void TReportList::Clear() {
  Selected_ = -1;
  if (!Items_.empty())
    Modified_ = true;
  while (!Items_.empty())
    RemoveAt(Count() - 1);
}

void TReportList::Rebuild() {
  Clear();
  for (const TBuiltIn& builtIn : kBuiltIns) {
    TReportItem item;
    item.Name = builtIn.Name;
    item.Format = builtIn.Format;
    item.Period = TReportPeriod::LastDay;
    item.ReportType = builtIn.Type;
    item.DetailGraphics = builtIn.DetailGraphics;
    item.GraphicsGrouping = TGraphicsGrouping::ByHours;
    item.DetailResponse = builtIn.DetailResponse;
    item.ResponseFilter = builtIn.ResponseFilter;
    item.DetailStatus = builtIn.DetailStatus;
    item.StatusFilter = TResultFilter::Both;
    item.SummaryGraphics = builtIn.SummaryGraphics;
    Add(item);
    Selected_ = 0;
  }
  SetDefault(0);
}

void LoadReportDefinitions(TReportList& list,
                           const std::function<void(const std::string&)>& onError) {
  bool failed = false;
  try {
    list.LoadFromFile();
  } catch (const std::exception& e) {
    failed = true;
    onError(e.what());
  }
  if (list.Count() == 0)
    list.Rebuild();
  if (failed)
    list.SetModified(false);
}

}  // namespace vantrel
