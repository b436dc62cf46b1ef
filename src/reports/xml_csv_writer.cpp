// XML and comma-separated documents of the same reports as the HTML writer,
// without graphics. Inserted texts are made safe for each format: XML
// escapes them (and drops what XML does not allow), CSV quotes a field that
// holds a separator, a quote or a line break.

#include <string_view>
#include <vector>

#include "core/watch_item.h"
#include "reports/report_data.h"
#include "reports/report_document.h"
#include "text/markup.h"

namespace vantrel {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kNoItems = "There are no items in the report.";

// "<tag>text</tag>", the text escaped.
void Element(std::string& xml, std::string_view tag, std::string_view text) {
  xml += '<';
  xml += tag;
  xml += '>';
  xml += XmlText(text);
  xml += "</";
  xml += tag;
  xml += '>';
}

// A label as an element name: blanks become "_".
std::string TagOf(std::string label) {
  for (char& c : label) {
    if (c == ' ')
      c = '_';
  }
  return label;
}

// Rows of one block: "<ROWDATA>", one element per field and line, "</ROWDATA>".
void RowBlock(std::string& xml, std::string_view block,
              const std::vector<std::vector<std::pair<std::string_view, std::string_view>>>& rows) {
  if (rows.empty())
    return;
  xml += '<';
  xml += block;
  xml += ">\r\n";
  for (const auto& row : rows) {
    xml += "<ROWDATA>\r\n";
    for (const auto& [tag, text] : row) {
      Element(xml, tag, text);
      xml += kCrLf;
    }
    xml += "</ROWDATA>\r\n";
  }
  xml += "</";
  xml += block;
  xml += ">\r\n";
}

// The CSV title of a detail report: "Report - Name (Url) for Last Day".
std::string CsvDetailTitle(const TReportItem& report, const TWatchItem& item) {
  std::string title = report.Name;
  const std::string name = item.DisplayName();
  if (!name.empty()) {
    title += " - " + name;
    if (!item.Url.empty())
      title += " (" + item.Url + ")";
  }
  return title + " for " + ReportPeriodName(report.Period);
}

// Heading line, numbered rows and an empty line; the "no items" text, with
// no line end of its own, when there are no rows.
void CsvTable(std::string& csv, std::string_view heading,
              const std::vector<std::vector<std::string_view>>& rows) {
  if (rows.empty()) {
    csv += kNoItems;
    return;
  }
  csv += heading;
  csv += kCrLf;
  std::size_t n = 0;
  for (const auto& row : rows) {
    csv += std::to_string(++n);
    for (const std::string_view field : row) {
      csv += ',';
      csv += CsvField(field);
    }
    csv += kCrLf;
  }
  csv += kCrLf;
}

}  // namespace

std::string XmlDetailReport(const TReportItem& report, const TWatchItem& item,
                            TWatchHistory& history, TDateTime now) {
  const THistoryArray records = ReadItemRecords(history, item, report.Period, now);
  // The texts are UTF-8, which a reader must be told.
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<REPORT>\r\n<METADATA>\r\n";
  if (const std::string name = item.DisplayName(); !name.empty()) {
    Element(xml, "NAME", name);
    xml += kCrLf;
  }
  if (!item.Url.empty()) {
    Element(xml, "URL", item.Url);
    xml += kCrLf;
  }
  xml += "</METADATA>\r\n<REPORT_INFO>\r\n";
  for (const TPropertyRecord& property : BuildProperties(item, report, now)) {
    Element(xml, TagOf(property.Name), property.Value);
    xml += kCrLf;
  }
  xml += "</REPORT_INFO>\r\n";
  if (report.DetailResponse) {
    const std::vector<TResponseRecord> responses = BuildResponses(report, records);
    std::vector<std::vector<std::pair<std::string_view, std::string_view>>> rows;
    for (const TResponseRecord& r : responses) {
      rows.push_back({{"Status", r.Status},
                      {"Date", r.Date},
                      {"Response_Time", r.ResponseTime},
                      {"Response_Text", r.ResponseText}});
    }
    RowBlock(xml, "RESPONSES_REPORT", rows);
  }
  if (report.DetailStatus) {
    const std::vector<TStatusRecord> runs = BuildStatusRuns(report, records);
    std::vector<std::vector<std::pair<std::string_view, std::string_view>>> rows;
    for (const TStatusRecord& r : runs) {
      rows.push_back({{"Status", r.Status},
                      {"Date", r.Date},
                      {"Time", r.Time},
                      {"Last_Response_Text", r.LastResponseText}});
    }
    RowBlock(xml, "STATUS_REPORT", rows);
  }
  xml += "</REPORT>\r\n";
  return xml;
}

std::string XmlSummaryReport(const TReportItem& report, TWatchHistory& history, TDateTime now) {
  const std::vector<TSummaryRecord> records =
      BuildSummaryTable(ReadSummaries(history, report.Period, now));
  std::string xml = "<?xml version = \"1.0\" encoding = \"UTF-8\"?>\r\n<REPORT>\r\n<METADATA>\r\n";
  Element(xml, "PERIOD", ReportPeriodName(report.Period));
  xml += "\r\n</METADATA>\r\n";
  if (!records.empty()) {
    xml += "<SUMMARY_REPORT>\r\n";
    for (const TSummaryRecord& r : records) {
      xml += "<ROWDATA>";
      Element(xml, "Name", r.Name);
      Element(xml, "Start_Date", r.StartDate);
      Element(xml, "End_Date", r.EndDate);
      Element(xml, "Avg_Response_Time", r.AvgResponseTime);
      Element(xml, "Times_Checked", r.TimesChecked);
      Element(xml, "Times_Failed", r.TimesFailed);
      Element(xml, "Failure", r.Failure);
      Element(xml, "Last_Failure", r.LastFailure);
      Element(xml, "Last_Success", r.LastSuccess);
      xml += "</ROWDATA>\r\n";
    }
    xml += "</SUMMARY_REPORT>\r\n";
  }
  xml += "</REPORT>\r\n";
  return xml;
}

std::string CsvDetailReport(const TReportItem& report, const TWatchItem& item,
                            TWatchHistory& history, TDateTime now) {
  const THistoryArray records = ReadItemRecords(history, item, report.Period, now);
  // The title is one line of text, not a row of fields: its line breaks would
  // start rows of their own.
  std::string csv = CsvField(CsvDetailTitle(report, item));
  csv += "\r\n\r\n";
  if (report.DetailResponse) {
    csv += "Responses Report\r\n";
    std::vector<std::vector<std::string_view>> rows;
    const std::vector<TResponseRecord> responses = BuildResponses(report, records);
    for (const TResponseRecord& r : responses)
      rows.push_back({r.Status, r.Date, r.ResponseTime, r.ResponseText});
    CsvTable(csv, "#,Status,Date,Response Time,Response Text", rows);
  }
  if (report.DetailStatus) {
    // After "no items" the title would go on the same line.
    if (csv.back() != '\n')
      csv += kCrLf;
    csv += "Status Report\r\n";
    std::vector<std::vector<std::string_view>> rows;
    const std::vector<TStatusRecord> runs = BuildStatusRuns(report, records);
    for (const TStatusRecord& r : runs)
      rows.push_back({r.Status, r.Date, r.Time, r.LastResponseText});
    CsvTable(csv, "#,Status,Date,Time,Last Response Text", rows);
  }
  return csv;
}

std::string CsvSummaryReport(const TReportItem& report, TWatchHistory& history, TDateTime now) {
  const std::vector<TSummaryRecord> records =
      BuildSummaryTable(ReadSummaries(history, report.Period, now));
  std::string csv = CsvField(report.Name + " for " + ReportPeriodName(report.Period));
  csv += "\r\n\r\nSummary Report\r\n";
  std::vector<std::vector<std::string_view>> rows;
  for (const TSummaryRecord& r : records) {
    rows.push_back({r.Name, r.StartDate, r.EndDate, r.AvgResponseTime, r.TimesChecked,
                    r.TimesFailed, r.Failure, r.LastFailure, r.LastSuccess});
  }
  CsvTable(csv,
           "#,Name,Start Date,End Date,Avg Response Time,Times Checked,Times Failed,Failure "
           "(%),Last Failure,Last Success",
           rows);
  return csv;
}

std::string ReportDocument(const TReportItem& report, const TWatchItem* item,
                           TWatchHistory& history, TDateTime now) {
  const bool summary = report.ReportType != TReportType::Detail;
  if (!summary && item == nullptr)
    throw std::invalid_argument("Please select a item for generating the report.");
  switch (report.Format) {
    case TReportFormat::Xml:
      return summary ? XmlSummaryReport(report, history, now)
                     : XmlDetailReport(report, *item, history, now);
    case TReportFormat::Csv:
      return summary ? CsvSummaryReport(report, history, now)
                     : CsvDetailReport(report, *item, history, now);
    default:
      return summary ? HtmlSummaryReport(report, history, now)
                     : HtmlDetailReport(report, *item, history, now);
  }
}

}  // namespace vantrel
