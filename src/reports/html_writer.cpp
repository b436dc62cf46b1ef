// HTML documents: reports and the alarm page, built from fixed fragments and
// the texts of the report records. Every inserted text goes through HtmlText,
// since names, URLs and server answers come from users and remote servers.

#include <string_view>
#include <vector>

#include "core/response_codes.h"
#include "core/watch_item.h"
#include "core/watch_types.h"
#include "platform/date_format.h"
#include "reports/report_data.h"
#include "reports/report_document.h"
#include "text/markup.h"

namespace vantrel {

namespace {

constexpr std::string_view kCrLf = "\r\n";

enum class TColour { Red = 0, Green = 1, Blue = 2 };

const char* ColourId(TColour colour) {
  switch (colour) {
    case TColour::Red:
      return "red";
    case TColour::Green:
      return "green";
    default:
      return "blue";
  }
}

constexpr std::string_view kStyle =
    "<style type=\"text/css\">\r\n"
    "body, div, font, th, td, p  {color: #000000; font-family: Verdana, Arial, Helvetica, "
    "sans-serif; font-size: x-small;}\r\n"
    "body {background-color: #EEEEEE;}\r\n"
    "h1, h2, h3 {margin-bottom: 4px;}\r\n"
    "table {border-style: none; background-color: #000000;}\r\n"
    "th {border-style: none; background-color: #AAAAAA; white-space : nowrap; text-align : "
    "left; line-height : 130%;}\r\n"
    "td {border-style: none; background-color: #FFFFFF; white-space : nowrap;}\r\n"
    "#red {background-color : #FF3333;}\r\n"
    "#green {background-color : #33CC33;}\r\n"
    "#blue {background-color : #3366CC;}\r\n"
    "#redlight {background-color : #FFCCCC;}\r\n"
    "#greenlight {background-color : #99CC99;}\r\n"
    "</style>\r\n";

constexpr std::string_view kNoItems =
    "<tr><td align=\"center\">There are no items in the report.</td></tr>";

constexpr std::string_view kTableOpen =
    "<tr><td><table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"5\">\r\n"
    "<tr><td><table width=\"100%\" border=\"0\" cellspacing=\"0\" cellpadding=\"1\">\r\n";
constexpr std::string_view kTableClose = "</table></td></tr>\r\n</table></td></tr>\r\n";

// The document as it grows; T() inserts a text escaped.
class THtml {
 public:
  THtml& operator<<(std::string_view fragment) {
    Text_ += fragment;
    return *this;
  }
  THtml& operator<<(std::int64_t number) {
    Text_ += std::to_string(number);
    return *this;
  }
  THtml& T(std::string_view text) {
    Text_ += HtmlText(text);
    return *this;
  }
  std::string Take() { return std::move(Text_); }

 private:
  std::string Text_;
};

void DocumentHeader(THtml& html, std::string_view title, std::string_view subtitle,
                    std::string_view url, TColour colour) {
  html << "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\r\n<html>\r\n"
          "<head>\r\n<title>";
  html.T(title) << "</title>" << kCrLf << kStyle
                << "</head>\r\n<body leftmargin=\"10\" topmargin=\"10\" marginwidth=\"10\" "
                   "marginheight=\"10\">\r\n"
                   "<table width=\"100%\" border=\"0\" cellspacing=\"1\" cellpadding=\"2\">\r\n"
                   "<tr><td align=\"center\" id=\""
                << ColourId(colour) << "\"><h1>";
  html.T(title) << "</h1></td></tr>" << kCrLf;
  if (subtitle.empty())
    return;
  html << "<tr><td align=\"center\"><h3>";
  html.T(subtitle);
  if (!url.empty()) {
    html << " (";
    html.T(url) << ")";
  }
  html << "</h3></td></tr>" << kCrLf;
}

void SectionTitle(THtml& html, std::string_view title) {
  html << "<tr><th>" << title << "</th></tr>" << kCrLf;
}

void Footer(THtml& html) {
  html << "</table>\r\n</body>\r\n</html>\r\n";
}

void PropertyTable(THtml& html, const std::vector<TPropertyRecord>& records) {
  if (records.empty())
    return;
  html << "<tr><td><table border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\r\n";
  for (const TPropertyRecord& record : records) {
    html << "<tr><td align=\"right\">";
    html.T(record.Name) << ":&nbsp;</td><td>&nbsp;";
    html.T(record.Value) << "</td></tr>" << kCrLf;
  }
  html << "</table></td></tr>" << kCrLf;
}

void Bar(THtml& html, std::int32_t percent, const char* colour, std::string_view count) {
  html << "<table width=\"" << percent
       << "%\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td id=\"" << colour
       << "\"><small>";
  html.T(count) << "</small></td></tr></table>";
}

void GraphicsTable(THtml& html, const std::vector<TGraphicsRecord>& records) {
  if (records.empty()) {
    html << kNoItems;
    return;
  }
  html << "<tr><td><table width=\"90%\" border=\"0\" cellspacing=\"0\" cellpadding=\"1\">\r\n"
          "<tr><td colspan=\"2\">Legend: RED - Failed Responses; GREEN - Successful Responses; "
          "BLUE - Avg Response Time</td></tr>\r\n";
  for (const TGraphicsRecord& record : records) {
    html << "<tr><td width=\"5%\" align=\"right\">&nbsp;";
    html.T(record.Caption) << "&nbsp;</td><td width=\"95%\">";
    Bar(html, record.FailedPercent, "red", record.FailedCount);
    Bar(html, record.SuccessPercent, "green", record.SuccessCount);
    if (record.AvgResponseTime != "0") {
      Bar(html, record.AvgPercent, "blue", record.AvgResponseTime);
    } else {
      html << "<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\"><tr><td><small>&nbsp;"
              "</small></td></tr></table>";
    }
    html << "</td></tr>" << kCrLf;
  }
  html << "</table></td></tr>" << kCrLf;
}

// A table of numbered rows, each cell coloured by whether the row is good.
void ColouredTable(THtml& html, std::string_view heading,
                   const std::vector<std::vector<std::string_view>>& rows,
                   const std::vector<bool>& good) {
  if (rows.empty()) {
    html << kNoItems;
    return;
  }
  html << kTableOpen << heading << kCrLf;
  for (std::size_t n = 0; n < rows.size(); ++n) {
    const char* id = good[n] ? "greenlight" : "redlight";
    html << "<tr><td align=\"right\" id=\"" << id << "\">&nbsp;" << static_cast<std::int64_t>(n + 1)
         << "&nbsp;</td>";
    for (const std::string_view field : rows[n]) {
      html << "<td id=\"" << id << "\">&nbsp;";
      html.T(field) << "&nbsp;</td>";
    }
    html << "</tr>" << kCrLf;
  }
  html << kTableClose;
}

void ResponsesTable(THtml& html, const std::vector<TResponseRecord>& records) {
  std::vector<std::vector<std::string_view>> rows;
  std::vector<bool> good;
  for (const TResponseRecord& r : records) {
    rows.push_back({r.Status, r.Date, r.ResponseTime, r.ResponseText});
    good.push_back(r.Status == "Success");
  }
  ColouredTable(html,
                "<tr><th align=\"right\">&nbsp;#&nbsp;</th><th>&nbsp;Status</th><th>&nbsp;Date"
                "</th><th>&nbsp;Response Time</th><th>&nbsp;Response Text&nbsp;</th></tr>",
                rows, good);
}

void StatusTable(THtml& html, const std::vector<TStatusRecord>& records) {
  std::vector<std::vector<std::string_view>> rows;
  std::vector<bool> good;
  for (const TStatusRecord& r : records) {
    rows.push_back({r.Status, r.Date, r.Time, r.LastResponseText});
    good.push_back(r.Status == "Online");
  }
  ColouredTable(html,
                "<tr><th align=\"right\">&nbsp;#&nbsp;</th><th>&nbsp;Status</th><th>&nbsp;Date"
                "</th><th>&nbsp;Time</th><th>&nbsp;Last Response Text&nbsp;</th></tr>",
                rows, good);
}

void SummaryTable(THtml& html, const std::vector<TSummaryRecord>& records) {
  if (records.empty()) {
    html << kNoItems;
    return;
  }
  html << kTableOpen
       << "<tr><th align=\"right\">&nbsp;#&nbsp;</th><th>&nbsp;Name</th><th>&nbsp;Start<br>"
          "&nbsp;Date</th><th>&nbsp;End<br>&nbsp;Date</th><th>&nbsp;Avg Response<br>&nbsp;Time"
          "</th><th>&nbsp;Times<br>&nbsp;Checked</th><th>&nbsp;Times<br>&nbsp;Failed</th><th>"
          "&nbsp;Failure<br>&nbsp;(%)</th><th>&nbsp;Last<br>&nbsp;Failure</th><th>&nbsp;Last"
          "<br>&nbsp;Success&nbsp;</th></tr>\r\n";
  std::int64_t n = 0;
  for (const TSummaryRecord& r : records) {
    html << "<tr><td align=\"right\">&nbsp;" << ++n << "&nbsp;</td>";
    for (const std::string* field :
         {&r.Name, &r.StartDate, &r.EndDate, &r.AvgResponseTime, &r.TimesChecked, &r.TimesFailed,
          &r.Failure, &r.LastFailure, &r.LastSuccess}) {
      html << "<td>&nbsp;";
      html.T(*field) << "&nbsp;</td>";
    }
    html << "</tr>" << kCrLf;
  }
  html << kTableClose;
}

std::string ResponseThreshold(const TWatchItem& item) {
  switch (item.CheckType) {
    case TCheckType::Download:
      return std::to_string(item.DownloadTimeout);
    case TCheckType::Smtp:
    case TCheckType::Pop3:
    case TCheckType::Ftp:
      return std::to_string(item.ServiceTimeout);
    default:
      return std::to_string(item.PingTimeout);
  }
}

}  // namespace

std::string HtmlDetailReport(const TReportItem& report, const TWatchItem& item,
                             TWatchHistory& history, TDateTime now) {
  const THistoryArray records = ReadItemRecords(history, item, report.Period, now);
  THtml html;
  DocumentHeader(html, report.Name, item.DisplayName(), item.Url, TColour::Blue);
  SectionTitle(html, "Report Information");
  PropertyTable(html, BuildProperties(item, report, now));
  if (report.DetailGraphics) {
    SectionTitle(html, "Graphics Report");
    GraphicsTable(html, BuildGraphics(report, records));
  }
  if (report.DetailResponse) {
    SectionTitle(html, "Responses Report");
    ResponsesTable(html, BuildResponses(report, records));
  }
  if (report.DetailStatus) {
    SectionTitle(html, "Status Report");
    StatusTable(html, BuildStatusRuns(report, records));
  }
  Footer(html);
  return html.Take();
}

std::string HtmlSummaryReport(const TReportItem& report, TWatchHistory& history, TDateTime now) {
  const THistorySumArray summaries = ReadSummaries(history, report.Period, now);
  THtml html;
  DocumentHeader(html, report.Name, "", "", TColour::Blue);
  html << "<tr><td align=\"center\"><h3>" << ReportPeriodName(report.Period) << "</h3></td></tr>"
       << kCrLf;
  if (report.SummaryGraphics) {
    SectionTitle(html, "Graphics Report");
    GraphicsTable(html, BuildSummaryGraphics(report, summaries));
  }
  SectionTitle(html, "Summary Report");
  SummaryTable(html, BuildSummaryTable(summaries));
  Footer(html);
  return html.Take();
}

std::string HtmlAlarmPage(const TWatchItem& item, TDateTime now) {
  const bool down = item.Status() != TWatchStatus::Up;
  THtml html;
  DocumentHeader(html, down ? "Alarm DOWN" : "Alarm UP", item.Name, item.Url,
                 down ? TColour::Red : TColour::Green);
  SectionTitle(html, "Alarm Information");
  PropertyTable(html, {{"Name", item.DisplayName()},
                       {"URL", item.Url},
                       {"Type", CheckTypeText(item.CheckType)},
                       {"Status", StatusText(item.Status())},
                       {"Date", DateTimeText(now)}});
  SectionTitle(html, "Response Information");
  PropertyTable(html, {{"Response Threshold", ResponseThreshold(item)},
                       {"Response Time", std::to_string(item.LastResponseTime)},
                       {"Response Text", HttpCodeText(item.LastResponseCode)}});
  SectionTitle(html, "Message");
  html << "<tr><td style=\"white-space: normal;\">";
  html.T(item.PopupText) << "</td></tr>" << kCrLf;
  Footer(html);
  return html.Take();
}

}  // namespace vantrel
