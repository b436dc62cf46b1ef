#include "cli/items_table.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#include "core/property_format.h"
#include "core/settings.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "text/escape.h"

namespace vantrel {

namespace {

constexpr const char* kColumnGap = "  ";

// The table's columns after the Id: what a glance at the list needs.
constexpr int kTableProperties[] = {
    kPropertyStatus,           kPropertyName,           kPropertyUrl,
    kPropertyCheckType,        kPropertyFrequency,      kPropertyTimesChecked,
    kPropertyTimesFailed,      kPropertyFailurePercent, kPropertyAvgResponseTime,
    kPropertyLastResponseText,
};

void WritePadded(std::ostream& out, const std::string& text, std::size_t width) {
  out << text;
  for (std::size_t filled = TextWidth(text); filled < width; ++filled)
    out << ' ';
}

// The length of the UTF-8 sequence starting at `text[i]`; 0 when the bytes
// there do not form one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80)
    return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
    high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (i + length > text.size())
    return 0;
  if (byte(i + 1) < low || byte(i + 1) > high)
    return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
      return 0;
  }
  return length;
}

std::string UnicodeEscape(unsigned value) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", value);
  return escaped;
}

std::string StatusName(TWatchStatus status) {
  const std::string text = StatusText(status);
  return text.empty() ? std::to_string(static_cast<int>(status)) : JsonString(text);
}

std::string CheckTypeName(TCheckType type) {
  switch (type) {
    case TCheckType::Ping:
      return JsonString("Ping");
    case TCheckType::Download:
      return JsonString("Download");
    case TCheckType::Smtp:
      return JsonString("Smtp");
    case TCheckType::Pop3:
      return JsonString("Pop3");
    case TCheckType::Ftp:
      return JsonString("Ftp");
  }
  return std::to_string(static_cast<int>(type));  // a value a damaged file gave
}

std::string EmailTypeName(TEmailType type) {
  switch (type) {
    case TEmailType::Sms:
      return JsonString("Sms");
    case TEmailType::Page:
      return JsonString("Page");
    case TEmailType::Report:
      return JsonString("Report");
  }
  return std::to_string(static_cast<int>(type));
}

std::string Bool(bool value) {
  return value ? "true" : "false";
}

std::string Int(std::int32_t value) {
  return std::to_string(value);
}

// Every field of the item, in the order of its declaration.
std::vector<std::pair<const char*, std::string>> ItemFields(const TWatchItem& item) {
  return {
      {"Status", StatusName(item.Status())},
      {"Id", Int(item.Id())},
      {"Created", JsonDateTime(item.Created)},
      {"Name", JsonString(item.Name)},
      {"Url", JsonString(item.Url)},
      {"Frequency", Int(item.Frequency())},
      {"Active", Bool(item.Active())},
      {"AlarmTrigger", Bool(item.AlarmTrigger)},
      {"TriggerCount", Int(item.TriggerCount)},
      {"AlarmReset", Bool(item.AlarmReset)},
      {"ResetCount", Int(item.ResetCount)},
      {"CheckExtra", Bool(item.CheckExtra)},
      {"CheckConnection", Bool(item.CheckConnection)},
      {"CheckType", CheckTypeName(item.CheckType)},
      {"PingTimeout", Int(item.PingTimeout)},
      {"DownloadTimeout", Int(item.DownloadTimeout)},
      {"SearchText", JsonString(item.SearchText)},
      {"CaseSensitive", Bool(item.CaseSensitive)},
      {"LogFailedPages", Bool(item.LogFailedPages)},
      {"ServiceTimeout", Int(item.ServiceTimeout)},
      {"PopupAction", Bool(item.PopupAction)},
      {"PopupText", JsonString(item.PopupText)},
      {"EmailAction", Bool(item.EmailAction)},
      {"EmailAddress", JsonString(item.EmailAddress)},
      {"EmailType", EmailTypeName(item.EmailType)},
      {"ReportId", Int(item.ReportId)},
      {"CommandAction", Bool(item.CommandAction)},
      {"Command", JsonString(item.Command)},
      {"SoundAction", Bool(item.SoundAction)},
      {"SoundFile", JsonString(item.SoundFile)},
      {"SoundRepeat", Bool(item.SoundRepeat)},
      {"ServiceId", Int(item.ServiceId)},
      {"Username", JsonString(item.Username)},
      {"UserEmail", JsonString(item.UserEmail)},
      {"UserFullName", JsonString(item.UserFullName)},
      {"LastResponseText", JsonString(item.LastResponseText)},
      {"LastResponseCode", Int(item.LastResponseCode)},
      {"LastResponseTime", Int(item.LastResponseTime)},
      {"AvgResponseTime", Int(item.AvgResponseTime)},
      {"TimesChecked", Int(item.TimesChecked)},
      {"TimesFailed", Int(item.TimesFailed)},
      {"LastFailure", JsonDateTime(item.LastFailure)},
      {"LastSuccess", JsonDateTime(item.LastSuccess)},
      {"ConsecutiveFailures", Int(item.ConsecutiveFailures)},
      {"ConsecutiveSuccesses", Int(item.ConsecutiveSuccesses)},
      {"LastChecked", JsonDateTime(item.LastChecked())},
      {"NextRun", JsonDateTime(item.NextRun())},
      {"ExtraCount", Int(item.ExtraCount)},
      {"FirstFailTime", JsonDateTime(item.FirstFailTime)},
  };
}

}  // namespace

void WriteItemsTable(std::ostream& out, const TWatchList& list) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> heading = {"Id"};
  for (const int property : kTableProperties)
    heading.push_back(PropertyCaption(property));
  rows.push_back(std::move(heading));
  for (int i = 0; i < list.Count(); ++i) {
    const TWatchItem& item = list.Item(i);
    std::vector<std::string> row = {std::to_string(item.Id())};
    for (const int property : kTableProperties)
      row.push_back(EscapeControls(list.FormatProperty(item, property)));
    rows.push_back(std::move(row));
  }

  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t column = 0; column < row.size(); ++column)
      widths[column] = std::max(widths[column], TextWidth(row[column]));
  }
  for (const auto& row : rows) {
    for (std::size_t column = 0; column < row.size(); ++column) {
      if (column + 1 == row.size()) {
        out << row[column];  // no blanks trailing the line
      } else {
        WritePadded(out, row[column], widths[column]);
        out << kColumnGap;
      }
    }
    out << '\n';
  }
}

void WriteItemsDetails(std::ostream& out, const TWatchList& list) {
  const TFieldList fields = list.Settings().GetPreferences().Fields;
  std::size_t width = 0;
  for (const std::int32_t field : fields)
    width = std::max(width, TextWidth(PropertyCaption(field > 0 ? field : -field)));
  for (int i = 0; i < list.Count(); ++i) {
    const TWatchItem& item = list.Item(i);
    if (i > 0)
      out << '\n';
    out << "Item " << item.Id() << '\n';
    for (const std::int32_t field : fields) {
      if (field <= 0)
        continue;  // hidden
      const std::string value = EscapeControls(list.FormatProperty(item, field));
      out << kColumnGap;
      if (value.empty()) {
        out << PropertyCaption(field) << '\n';  // no blanks trailing the line
        continue;
      }
      WritePadded(out, PropertyCaption(field), width);
      out << kColumnGap << value << '\n';
    }
  }
}

std::vector<std::string> ItemFieldNames() {
  std::vector<std::string> names;
  for (const auto& field : ItemFields(TWatchItem()))
    names.emplace_back(field.first);
  return names;
}

void WriteItemsJson(std::ostream& out, const TWatchList& list) {
  if (list.Count() == 0) {
    out << "[]\n";
    return;
  }
  out << "[\n";
  for (int i = 0; i < list.Count(); ++i) {
    out << "  {\n";
    const auto fields = ItemFields(list.Item(i));
    for (std::size_t k = 0; k < fields.size(); ++k) {
      out << "    " << JsonString(fields[k].first) << ": " << fields[k].second
          << (k + 1 < fields.size() ? ",\n" : "\n");
    }
    out << (i + 1 < list.Count() ? "  },\n" : "  }\n");
  }
  out << "]\n";
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        json += "\\\"";
        break;
      case '\\':
        json += "\\\\";
        break;
      case '\n':
        json += "\\n";
        break;
      case '\r':
        json += "\\r";
        break;
      case '\t':
        json += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          json += UnicodeEscape(c);
        } else if (c < 0x80) {
          json += static_cast<char>(c);
        } else if (const std::size_t length = Utf8SequenceLength(text, i); length > 0) {
          json.append(text.substr(i, length));
          i += length;
          continue;
        } else {
          json += UnicodeEscape(c);
        }
        break;
    }
    ++i;
  }
  json += '"';
  return json;
}

std::string JsonDateTime(TDateTime value) {
  if (!(value > 0))
    return "null";
  const TDateTimeParts parts = DecodeDateTime(value);
  std::tm local = BrokenDownTime(value);
  // mktime settles whether daylight saving applies and sets the offset.
  long offset = 0;
  if (std::mktime(&local) != static_cast<std::time_t>(-1))
    offset = local.tm_gmtoff;
  const char sign = offset < 0 ? '-' : '+';
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "\"%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld\"",
                parts.Year, parts.Month, parts.Day, parts.Hour, parts.Minute, parts.Second,
                parts.Millisecond, sign, minutes / 60, minutes % 60);
  return text;
}

std::size_t TextWidth(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    i += length > 0 ? length : 1;
    ++width;
  }
  return width;
}

}  // namespace vantrel
