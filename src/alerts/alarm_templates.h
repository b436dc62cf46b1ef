#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/watch_types.h"
#include "platform/date_time.h"

namespace vantrel {

class TReportList;
class TWatchHistory;
class TWatchItem;
class TWatchList;
struct TPreferences;

// The macros of the alarm texts ("%Name%") and their values for one item,
// index by index, in the order they are replaced.
struct TMacroLists {
  std::vector<std::string> Names;
  std::vector<std::string> Values;
};

// What the alarm texts are made from. The references must outlive the call.
struct TAlarmTextSources {
  const TWatchList& List;
  const TPreferences& Preferences;
  // The report definitions and the history a "report" mail is made from;
  // null: no report (the mail holds the header, signature and banner).
  const TReportList* Reports = nullptr;
  TWatchHistory* History = nullptr;
  TDateTime Now = 0;
};

// The 22 macros with the item's current display texts; both lists stay empty
// for an item that has no row in the list's item view.
TMacroLists BuildMacroLists(const TWatchList& list, const TWatchItem& item, TDateTime now);

// Each macro in turn replaced everywhere in `text`; a value is never searched
// again for the macro it replaced, but later macros are replaced in it.
std::string ReplaceMacros(const TMacroLists& macros, std::string_view text);

// The subject of an alarm mail: the Subject template with the item's macros.
std::string MakeSubject(const TAlarmTextSources& sources, const TWatchItem& item);
// The message of an alarm mail of kind `type`: the SMS template; the header,
// the page the last check received, the signature and the banner; or the
// header, the item's report in HTML, the signature and the banner.
std::string MakeMessage(const TAlarmTextSources& sources, const TWatchItem& item, TEmailType type);
// The SMS kind is plain text, the others HTML.
bool IsHtmlMessage(TEmailType type);

// `fragment` inserted before the first "</html>" (any case) of `message`, or
// appended when there is none.
void InsertBeforeHtmlEnd(std::string& message, std::string_view fragment);

}  // namespace vantrel
