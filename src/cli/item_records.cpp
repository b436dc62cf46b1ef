#include "cli/item_records.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>
#include <optional>
#include <unordered_map>

#include "cli/cli_args.h"
#include "cli/csv_rows.h"
#include "cli/item_options.h"
#include "cli/items_table.h"
#include "core/check_request.h"
#include "core/watch_item.h"

namespace vantrel {

namespace {

// How a field reaches the item: through the item option that sets it.
enum class TUse {
  Value,   // the option takes the field's text
  Switch,  // true and false each have their switch
  Action,  // false switches the action off; its value field switches it on
};

struct TImportField {
  const char* Name;
  TUse Use;
  const char* Option;  // Value: the option; Switch: the switch for true; Action: the off switch
  const char* Other;   // Switch: the switch for false; Action: the field that switches it on
};

// Values before switches: a value of an action switches it on, as its option
// does, and the action's own field may then switch it off again.
constexpr TImportField kImportFields[] = {
    {"Name", TUse::Value, "--name", nullptr},
    {"Url", TUse::Value, "--url", nullptr},
    {"CheckType", TUse::Value, "--type", nullptr},
    {"Frequency", TUse::Value, "--frequency", nullptr},
    {"PingTimeout", TUse::Value, "--ping-timeout", nullptr},
    {"DownloadTimeout", TUse::Value, "--download-timeout", nullptr},
    {"ServiceTimeout", TUse::Value, "--service-timeout", nullptr},
    {"SearchText", TUse::Value, "--search", nullptr},
    {"PopupText", TUse::Value, "--popup-text", nullptr},
    {"EmailType", TUse::Value, "--email-type", nullptr},
    {"ReportId", TUse::Value, "--report-id", nullptr},
    {"TriggerCount", TUse::Value, "--alarm-trigger", nullptr},
    {"ResetCount", TUse::Value, "--alarm-reset", nullptr},
    {"EmailAddress", TUse::Value, "--email", nullptr},
    {"Command", TUse::Value, "--command", nullptr},
    {"SoundFile", TUse::Value, "--sound", nullptr},
    {"Active", TUse::Switch, "--active", "--suspended"},
    {"CheckExtra", TUse::Switch, "--check-extra", "--no-check-extra"},
    {"CheckConnection", TUse::Switch, "--check-connection", "--no-check-connection"},
    {"CaseSensitive", TUse::Switch, "--case-sensitive", "--no-case-sensitive"},
    {"LogFailedPages", TUse::Switch, "--log-failed-pages", "--no-log-failed-pages"},
    {"PopupAction", TUse::Switch, "--popup", "--no-popup"},
    {"SoundRepeat", TUse::Switch, "--sound-repeat", "--no-sound-repeat"},
    {"AlarmTrigger", TUse::Action, "--no-alarm-trigger", "TriggerCount"},
    {"AlarmReset", TUse::Action, "--no-alarm-reset", "ResetCount"},
    {"EmailAction", TUse::Action, "--no-email", "EmailAddress"},
    {"CommandAction", TUse::Action, "--no-command", "Command"},
    {"SoundAction", TUse::Action, "--no-sound", "SoundFile"},
};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool IsImported(std::string_view field) {
  for (const TImportField& known : kImportFields) {
    if (known.Name == field)
      return true;
  }
  return false;
}

// The name of every field the export writes, by its lower-case spelling; an
// empty text for those that are no setting.
struct TFieldNames {
  std::unordered_map<std::string, std::string> ByLower;
  std::vector<TOptionSpec> Known;  // for suggestions
};

const TFieldNames& FieldNames() {
  static const TFieldNames names = [] {
    TFieldNames built;
    for (const std::string& name : ItemFieldNames()) {
      built.ByLower[Lower(name)] = IsImported(name) ? name : std::string();
      built.Known.push_back({name, ""});
    }
    return built;
  }();
  return names;
}

// The field `name` stands for; nothing for one that is not imported. Throws
// EImportError, after `where`, for a name the export never writes.
std::optional<std::string> FieldOf(std::string_view name, const std::string& where) {
  const TFieldNames& names = FieldNames();
  const auto found = names.ByLower.find(Lower(name));
  if (found == names.ByLower.end()) {
    std::string message = where + ": unknown field '" + std::string(name) + "'";
    const std::string closest = ClosestName(name, names.Known);
    if (!closest.empty())
      message += " (did you mean " + closest + "?)";
    throw EImportError(message);
  }
  if (found->second.empty())
    return std::nullopt;
  return found->second;
}

std::string RecordName(std::size_t index) {
  return "record " + std::to_string(index + 1);
}

bool ParseBool(std::string_view field, const std::string& text) {
  const std::string lower = Lower(text);
  if (lower == "true" || lower == "1")
    return true;
  if (lower == "false" || lower == "0")
    return false;
  throw EUsageError(std::string(field) + ": '" + text + "' is not true or false");
}

// A JSON value as the text an option takes; nothing for null.
std::optional<std::string> JsonText(const QJsonValue& value, const std::string& where) {
  switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
      return std::nullopt;
    case QJsonValue::Bool:
      return value.toBool() ? "true" : "false";
    case QJsonValue::Double: {
      const double number = value.toDouble();
      // Whole numbers as such; anything else as written, for the option to refuse.
      if (std::trunc(number) == number && std::fabs(number) < 1e15)
        return std::to_string(static_cast<long long>(number));
      return QByteArray::number(number, 'g', 17).toStdString();
    }
    case QJsonValue::String:
      return value.toString().toStdString();
    case QJsonValue::Array:
    case QJsonValue::Object:
      break;
  }
  throw EImportError(where + ": a list or object where a value belongs");
}

// Adds field `name` with `text` to `record`, unless it is empty (not given).
void AddField(TItemRecord& record, const std::string& name, std::string text,
              const std::string& where) {
  if (text.empty())
    return;
  if (!record.Fields.emplace(name, std::move(text)).second)
    throw EImportError(where + ": field " + name + " given twice");
}

}  // namespace

std::vector<TItemRecord> ReadJsonRecords(std::string_view text) {
  QJsonParseError error;
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
  if (document.isNull())
    throw EImportError("not valid JSON: " + error.errorString().toStdString() + " at byte " +
                       std::to_string(error.offset));
  if (!document.isArray())
    throw EImportError("not a JSON array of items, as items export writes");
  const QJsonArray items = document.array();
  std::vector<TItemRecord> records;
  records.reserve(static_cast<std::size_t>(items.size()));
  for (qsizetype i = 0; i < items.size(); ++i) {
    const std::string where = RecordName(static_cast<std::size_t>(i));
    if (!items[i].isObject())
      throw EImportError(where + ": not a JSON object");
    const QJsonObject object = items[i].toObject();
    TItemRecord record;
    for (auto field = object.begin(); field != object.end(); ++field) {
      const std::optional<std::string> name = FieldOf(field.key().toStdString(), where);
      const std::optional<std::string> value =
          JsonText(field.value(), where + ": " + field.key().toStdString());
      if (name && value)
        AddField(record, *name, *value, where);
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<TItemRecord> ReadCsvRecords(std::string_view text) {
  std::vector<TCsvRow> rows;
  try {
    rows = SplitCsvRows(text);
  } catch (const ECsvError& e) {
    throw EImportError((e.Row() == 0 ? std::string("header") : RecordName(e.Row() - 1)) + ": " +
                       e.what());
  }
  if (rows.empty())
    throw EImportError("no header row naming the fields (Url, Name, Frequency ...)");

  // The header: a field for each column, or nothing for one that is skipped.
  std::vector<std::optional<std::string>> columns;
  std::vector<std::string> seen;
  bool url = false;
  for (std::size_t column = 0; column < rows[0].size(); ++column) {
    const std::string name = TrimBlanks(rows[0][column]);
    if (name.empty())
      throw EImportError("header: column " + std::to_string(column + 1) + " has no name");
    const std::string lower = Lower(name);
    for (const std::string& earlier : seen) {
      if (earlier == lower)
        throw EImportError("header: field " + name + " named twice");
    }
    seen.push_back(lower);
    columns.push_back(FieldOf(name, "header"));
    url = url || (columns.back() && *columns.back() == "Url");
  }
  if (!url)
    throw EImportError("header: no Url column (the URL or host of each item)");

  std::vector<TItemRecord> records;
  records.reserve(rows.size() - 1);
  for (std::size_t row = 1; row < rows.size(); ++row) {
    const std::string where = RecordName(row - 1);
    if (rows[row].size() != columns.size())
      throw EImportError(where + ": " + std::to_string(rows[row].size()) +
                         " cells where the header names " + std::to_string(columns.size()));
    TItemRecord record;
    for (std::size_t column = 0; column < columns.size(); ++column) {
      if (columns[column])
        AddField(record, *columns[column], std::move(rows[row][column]), where);
    }
    records.push_back(std::move(record));
  }
  return records;
}

void ItemFromRecord(const TItemRecord& record, TWatchItem& item) {
  const auto given = [&record](const char* field) -> const std::string* {
    const auto found = record.Fields.find(field);
    return found != record.Fields.end() ? &found->second : nullptr;
  };
  if (given("Url") == nullptr)
    throw EUsageError("Url: missing (the URL or host to check)");
  for (const TImportField& field : kImportFields) {
    const std::string* text = given(field.Name);
    if (text == nullptr)
      continue;
    switch (field.Use) {
      case TUse::Value:
        ApplyItemOption(field.Option, field.Name, *text, item);
        break;
      case TUse::Switch:
        ApplyItemOption(ParseBool(field.Name, *text) ? field.Option : field.Other, field.Name, {},
                        item);
        break;
      case TUse::Action:
        if (!ParseBool(field.Name, *text))
          ApplyItemOption(field.Option, field.Name, {}, item);
        else if (given(field.Other) == nullptr)
          throw EUsageError(std::string(field.Name) + ": true needs " + field.Other);
        break;
    }
  }
  CompleteNewItem(item, given("CheckType") != nullptr, given("Name") != nullptr);
}

std::vector<std::unique_ptr<TWatchItem>> ReadImportedItems(std::string_view text) {
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark)
    text.remove_prefix(kUtf8Mark.size());
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos)
    throw EImportError("empty: neither a JSON array nor CSV with a header row");
  const bool json = text[start] == '[' || text[start] == '{';
  const std::vector<TItemRecord> records = json ? ReadJsonRecords(text) : ReadCsvRecords(text);
  std::vector<std::unique_ptr<TWatchItem>> items;
  items.reserve(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    auto item = std::make_unique<TWatchItem>();
    try {
      ItemFromRecord(records[i], *item);
    } catch (const EUsageError& e) {
      throw EImportError(RecordName(i) + ": " + e.what());
    }
    items.push_back(std::move(item));
  }
  return items;
}

std::string ImportedFieldList() {
  constexpr std::size_t kWidth = 78;
  std::string list;
  std::size_t lineStart = 0;
  for (const TImportField& field : kImportFields) {
    const std::string name = field.Name;
    if (list.empty()) {
      list = "  " + name;
      continue;
    }
    list += ",";
    if (list.size() - lineStart + 1 + name.size() + 1 > kWidth) {
      list += "\n";
      lineStart = list.size();
      list += "  " + name;
    } else {
      list += " " + name;
    }
  }
  return list + "\n";
}

}  // namespace vantrel
