#include "alerts/alarm_templates.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "core/check_result_logic.h"
#include "core/settings.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "platform/date_format.h"
#include "platform/version_info.h"
#include "reports/report_document.h"
#include "reports/report_list.h"

namespace vantrel {

namespace {

// Property 1 to 21 of the item list, then the time stamp.
constexpr std::array<const char*, 22> kMacroNames = {"%Status%",
                                                     "%Name%",
                                                     "%URL%",
                                                     "%CheckingType%",
                                                     "%CheckFrequency%",
                                                     "%ActiveStatus%",
                                                     "%Username%",
                                                     "%UserFullName%",
                                                     "%UserEmail%",
                                                     "%LastResponseText%",
                                                     "%LastResponseTime%",
                                                     "%AvgResponseTime%",
                                                     "%Created%",
                                                     "%TimesChecked%",
                                                     "%TimesFailed%",
                                                     "%Failure%",
                                                     "%NextRun%",
                                                     "%LastFailure%",
                                                     "%LastSuccess%",
                                                     "%ConsecutiveFailures%",
                                                     "%ConsecutiveSuccesses%",
                                                     "%TimeStamp%"};

bool InView(const TWatchList& list, const TWatchItem& item) {
  for (int i = 0; i < list.Count(); ++i) {
    if (&list.Item(i) == &item)
      return list.RowOf(i) >= 0;
  }
  return false;
}

std::string Banner() {
  const std::string site = kProductSite;
  return "<br><br><hr color=\"#000000\"><center><a href=\"" + site +
         "/banner/redirect.php\" target=\"new\"><img src=\"" + site +
         "/banner/banner.php\" border=\"0\"></a></center>";
}

// The signature, then the banner, each before the end of the HTML.
std::string Finished(std::string message, const TMacroLists& macros,
                     const TPreferences& preferences) {
  InsertBeforeHtmlEnd(message, ReplaceMacros(macros, preferences.Signature));
  InsertBeforeHtmlEnd(message, Banner());
  return message;
}

}  // namespace

TMacroLists BuildMacroLists(const TWatchList& list, const TWatchItem& item, TDateTime now) {
  TMacroLists macros;
  if (!InView(list, item))
    return macros;
  for (int property = 1; property <= 21; ++property) {
    macros.Names.emplace_back(kMacroNames[static_cast<std::size_t>(property - 1)]);
    macros.Values.push_back(list.FormatProperty(item, property));
  }
  macros.Names.emplace_back(kMacroNames[21]);
  macros.Values.push_back(TimeStampText(now));
  return macros;
}

std::string ReplaceMacros(const TMacroLists& macros, std::string_view text) {
  std::string result(text);
  for (std::size_t i = 0; i < macros.Names.size(); ++i) {
    const std::string& name = macros.Names[i];
    if (name.find_first_not_of(' ') == std::string::npos)
      continue;
    if (i >= macros.Values.size())
      break;
    const std::string& value = macros.Values[i];
    for (std::size_t at = result.find(name); at != std::string::npos;
         at = result.find(name, at + value.size())) {
      result.replace(at, name.size(), value);
    }
  }
  return result;
}

std::string MakeSubject(const TAlarmTextSources& sources, const TWatchItem& item) {
  return ReplaceMacros(BuildMacroLists(sources.List, item, sources.Now),
                       sources.Preferences.Subject);
}

std::string MakeMessage(const TAlarmTextSources& sources, const TWatchItem& item, TEmailType type) {
  const TMacroLists macros = BuildMacroLists(sources.List, item, sources.Now);
  const TPreferences& preferences = sources.Preferences;
  switch (type) {
    case TEmailType::Sms:
      return ReplaceMacros(macros, preferences.SMS);
    case TEmailType::Page: {
      std::string message = ReplaceMacros(macros, preferences.Header) + item.LastResponseText;
      // Only the start of a long page is kept; the reader should know.
      if (item.LastResponseCut) {
        message += "<p>[The page was longer than " + std::to_string(kKeptPageLimit >> 20) +
                   " MiB; only its start is shown.]</p>";
      }
      return Finished(std::move(message), macros, preferences);
    }
    case TEmailType::Report: {
      std::string message = ReplaceMacros(macros, preferences.Header);
      const int index = sources.Reports != nullptr ? sources.Reports->IndexOfId(item.ReportId) : -1;
      if (index >= 0 && sources.History != nullptr) {
        const TReportItem& report = sources.Reports->Item(index);
        message += report.ReportType == TReportType::Detail
                       ? HtmlDetailReport(report, item, *sources.History, sources.Now)
                       : HtmlSummaryReport(report, *sources.History, sources.Now);
      }
      return Finished(std::move(message), macros, preferences);
    }
  }
  return "";
}

bool IsHtmlMessage(TEmailType type) {
  return type != TEmailType::Sms;
}

void InsertBeforeHtmlEnd(std::string& message, std::string_view fragment) {
  static constexpr std::string_view kEnd = "</html>";
  const auto at =
      std::search(message.begin(), message.end(), kEnd.begin(), kEnd.end(),
                  [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  message.insert(at, fragment.begin(), fragment.end());
}

}  // namespace vantrel
