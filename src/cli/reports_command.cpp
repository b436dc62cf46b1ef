#include "cli/reports_command.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <optional>

#include "app/data_files.h"
#include "app/headless_output.h"
#include "cli/folder_edit.h"
#include "cli/items_table.h"
#include "cli/loaded_watch_list.h"
#include "core/watch_item.h"
#include "platform/date_time.h"
#include "reports/report_document.h"
#include "reports/report_list.h"
#include "reports/report_run.h"
#include "text/escape.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

// --- Definitions on the command line -------------------------------------------

struct TChoice {
  const char* Word;
  std::uint8_t Value;
};

const std::vector<TOptionSpec> kDefinitionOptions = {{"--name", "NAME"},
                                                     {"--format", "FORMAT"},
                                                     {"--period", "PERIOD"},
                                                     {"--type", "TYPE"},
                                                     {"--graphics", "on|off"},
                                                     {"--grouping", "GROUPING"},
                                                     {"--responses", "on|off"},
                                                     {"--response-filter", "FILTER"},
                                                     {"--status", "on|off"},
                                                     {"--status-filter", "FILTER"},
                                                     {"--summary-graphics", "on|off"}};

std::uint8_t Choose(const TParsedOption& option, std::initializer_list<TChoice> choices) {
  std::string words;
  for (const TChoice& choice : choices) {
    if (option.Value == choice.Word)
      return choice.Value;
    words += (words.empty() ? "" : ", ") + std::string(choice.Word);
  }
  throw EUsageError(option.Name + ": '" + option.Value + "' is not one of " + words);
}

bool OnOff(const TParsedOption& option) {
  return Choose(option, {{"on", 1}, {"off", 0}}) != 0;
}

bool IsDefinitionOption(const std::string& name) {
  return std::any_of(kDefinitionOptions.begin(), kDefinitionOptions.end(),
                     [&](const TOptionSpec& option) { return option.Name == name; });
}

// Applies the definition options of `args`, in order, to `report`.
void ApplyDefinitionOptions(const TParsedArgs& args, TReportItem& report) {
  for (const TParsedOption& o : args.Options) {
    if (o.Name == "--name") {
      const std::string name(TrimSpaces(o.Value));
      if (name.empty())
        throw EUsageError("--name: a report needs a name");
      report.Name = BlankControls(name);
    } else if (o.Name == "--format") {
      report.Format = static_cast<TReportFormat>(Choose(o, {{"html", 0}, {"xml", 1}, {"csv", 2}}));
    } else if (o.Name == "--period") {
      report.Period = static_cast<TReportPeriod>(
          Choose(o, {{"day", 0}, {"week", 1}, {"month", 2}, {"year", 3}, {"all", 4}}));
    } else if (o.Name == "--type") {
      report.ReportType = static_cast<TReportType>(Choose(o, {{"detail", 0}, {"summary", 1}}));
    } else if (o.Name == "--graphics") {
      report.DetailGraphics = OnOff(o);
    } else if (o.Name == "--grouping") {
      report.GraphicsGrouping =
          static_cast<TGraphicsGrouping>(Choose(o, {{"hours", 0}, {"days", 1}, {"months", 2}}));
    } else if (o.Name == "--responses") {
      report.DetailResponse = OnOff(o);
    } else if (o.Name == "--response-filter") {
      report.ResponseFilter =
          static_cast<TResultFilter>(Choose(o, {{"successful", 0}, {"failed", 1}, {"both", 2}}));
    } else if (o.Name == "--status") {
      report.DetailStatus = OnOff(o);
    } else if (o.Name == "--status-filter") {
      report.StatusFilter =
          static_cast<TResultFilter>(Choose(o, {{"online", 0}, {"downline", 1}, {"both", 2}}));
    } else if (o.Name == "--summary-graphics") {
      report.SummaryGraphics = OnOff(o);
    }
  }
}

// --- The definitions of a folder -------------------------------------------------

// The report list of `folder` as the report manager loads it; a damaged file
// is reported and left as it is.
void LoadDefinitions(const TCommandContext& context, TReportList& list) {
  LoadReportDefinitions(list, [&](const std::string& message) {
    context.Err << "vantrel-cli: warning: " << OneLine(message)
                << " (the built-in reports stand in for what could not be read)" << std::endl;
  });
}

// The index of the report that `word` names: an Id, else a name.
int FindReport(const TReportList& list, const std::string& word) {
  if (!word.empty() && word.find_first_not_of("-0123456789") == std::string::npos) {
    try {
      const int index = list.IndexOfId(std::stoi(word));
      if (index >= 0)
        return index;
    } catch (const std::exception&) {
      // Not a number after all (or out of range): try it as a name.
    }
  }
  int found = -1;
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Item(i).Name != word)
      continue;
    if (found >= 0)
      throw std::runtime_error("several reports are named '" + EscapeControls(word) +
                               "'; give the Id of one (vantrel-cli reports list)");
    found = i;
  }
  if (found < 0)
    throw std::runtime_error("there is no report '" + EscapeControls(word) +
                             "' (vantrel-cli reports list shows them)");
  return found;
}

std::string ReportText(const TReportItem& report) {
  return "report " + std::to_string(report.Id) + " (" + EscapeControls(report.Name) + ")";
}

// One report argument, required.
const std::string& ReportArgument(const TParsedArgs& args) {
  if (args.Positionals.empty())
    throw EUsageError("needs a report: its Id or its name");
  if (args.Positionals.size() > 1)
    throw EUsageError("unexpected argument '" + args.Positionals[1] + "' (one report only)");
  return args.Positionals.front();
}

// An edit of the definitions: the folder is held, the watch list loaded (a
// removed report changes the items that mailed it) and the definitions read.
class TDefinitionsEdit {
 public:
  TDefinitionsEdit(const TCommandContext& context, const TParsedArgs& args,
                   const std::string& command)
      : Edit_(context, args, command),
        Reports_(DataFilesIn(UseDataFolder(context, args)).Reports.string()) {
    LoadDefinitions(context, Reports_);
    // From here on every removed definition reaches the items, as in the
    // report manager.
    Reports_.OnDelete = [this](const TReportItem& report) {
      Edit_.List().ReportDeleted(report.Id);
    };
  }

  TReportList& Reports() { return Reports_; }
  TWatchList& List() { return Edit_.List(); }

  // The items that would lose their e-mail action with these reports.
  std::vector<std::string> ItemsMailing(const std::vector<std::int32_t>& reportIds) {
    std::vector<std::string> items;
    for (int i = 0; i < List().Count(); ++i) {
      const TWatchItem& item = List().Item(i);
      if (item.EmailAction && item.EmailType == TEmailType::Report &&
          std::find(reportIds.begin(), reportIds.end(), item.ReportId) != reportIds.end())
        items.push_back("item " + std::to_string(item.Id()) + " (" + ItemLabel(item) + ")");
    }
    return items;
  }

  // The definitions first: the watch list only follows them.
  void Save() {
    Reports_.SaveToFile();
    Edit_.Files().Save();
  }

 private:
  TFolderEdit Edit_;
  TReportList Reports_;
};

bool HelpAsked(const TCommandContext& context, const TParsedArgs& args, std::string (*help)()) {
  if (!args.Has("--help"))
    return false;
  context.Out << help();
  return true;
}

// --- Help ---------------------------------------------------------------------------

const char* kDefinitionOptionsHelp =
    "Report settings:\n"
    "  --name NAME                    the report's name (its title and file name)\n"
    "  --format html|xml|csv          the document's format (new: html)\n"
    "  --period day|week|month|year|all\n"
    "                                 the checks of the last day ... or all (new: day)\n"
    "  --type detail|summary          one item, or every item (new: detail)\n"
    "  --graphics on|off              detail, HTML: bars of the results (new: on)\n"
    "  --grouping hours|days|months   what a bar groups (new: days)\n"
    "  --responses on|off             detail: every response (new: on)\n"
    "  --response-filter successful|failed|both   (new: both)\n"
    "  --status on|off                detail: the runs of ups and downs (new: on)\n"
    "  --status-filter online|downline|both       (new: both)\n"
    "  --summary-graphics on|off      summary, HTML: bars per item (new: on)\n";

std::string ListHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] reports list [--json]\n"
         "\n"
         "Shows the report definitions: Id, name, format, period, type, and which one\n"
         "is the default report. Without a definitions file, the built-in reports.\n"
         "\n"
         "Options:\n"
         "  --json          the same as a JSON array of objects\n"
         "  --data-dir DIR  the data folder (also accepted before the command)\n";
}

std::string AddHelp() {
  return std::string(
             "Usage: vantrel-cli [--data-dir DIR] reports add --name NAME [SETTINGS]\n"
             "\n"
             "Adds a report definition and prints its Id.\n\n") +
         kDefinitionOptionsHelp;
}

std::string SetHelp() {
  return std::string(
             "Usage: vantrel-cli [--data-dir DIR] reports set REPORT SETTINGS\n"
             "\n"
             "Changes settings of a report (its Id or its name).\n\n") +
         kDefinitionOptionsHelp;
}

std::string RemoveHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] reports remove REPORT [--force]\n"
         "\n"
         "Deletes a report definition. The default report cannot be removed. When\n"
         "items send the report by e-mail on an alarm, --force is needed, and their\n"
         "e-mail action is switched off.\n";
}

std::string DefaultHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] reports default REPORT\n"
         "\n"
         "Makes a report the default report (the one 'vantrel-cli report' runs).\n";
}

std::string RebuildHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] reports rebuild [--force]\n"
         "\n"
         "Replaces every definition with the built-in reports. When items send a\n"
         "report by e-mail, --force is needed, and their e-mail action is switched off.\n";
}

// --- Commands ----------------------------------------------------------------------

int List(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions({{"--json", ""}}));
  if (HelpAsked(context, parsed, ListHelp))
    return kExitOk;
  ExpectNoArguments(parsed);
  TReportList list(DataFilesIn(UseDataFolder(context, parsed)).Reports.string());
  LoadDefinitions(context, list);
  if (parsed.Has("--json")) {
    context.Out << '[';
    for (int i = 0; i < list.Count(); ++i) {
      const TReportItem& r = list.Item(i);
      context.Out << (i ? ",\n " : "\n ") << "{\"Id\": " << r.Id
                  << ", \"Name\": " << JsonString(r.Name)
                  << ", \"Format\": " << JsonString(ReportFormatName(r.Format))
                  << ", \"Period\": " << JsonString(ReportPeriodName(r.Period))
                  << ", \"Type\": " << JsonString(ReportTypeName(r.ReportType))
                  << ", \"Default\": " << (&r == list.Default() ? "true" : "false") << '}';
    }
    context.Out << (list.Count() ? "\n]\n" : "]\n");
    return kExitOk;
  }
  context.Out << "  Id  Format  Period      Type     Name\n";
  for (int i = 0; i < list.Count(); ++i) {
    const TReportItem& r = list.Item(i);
    char line[64];
    std::snprintf(line, sizeof line, "%4d  %-6s  %-10s  %-7s  ", r.Id,
                  ReportFormatName(r.Format).c_str(), ReportPeriodName(r.Period).c_str(),
                  ReportTypeName(r.ReportType).c_str());
    context.Out << line << EscapeControls(list.EntryText(i)) << '\n';
  }
  return kExitOk;
}

int Add(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions(kDefinitionOptions));
  if (HelpAsked(context, parsed, AddHelp))
    return kExitOk;
  ExpectNoArguments(parsed);
  if (!parsed.Has("--name"))
    throw EUsageError("--name is required");
  TReportItem prepared;
  ApplyDefinitionOptions(parsed, prepared);
  TDefinitionsEdit edit(context, parsed, "reports add");
  const TReportItem& added = edit.Reports().Add(prepared);
  edit.Save();
  context.Out << added.Id << std::endl;
  return kExitOk;
}

int Set(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions(kDefinitionOptions));
  if (HelpAsked(context, parsed, SetHelp))
    return kExitOk;
  const std::string& word = ReportArgument(parsed);
  if (std::none_of(parsed.Options.begin(), parsed.Options.end(),
                   [](const TParsedOption& o) { return IsDefinitionOption(o.Name); }))
    throw EUsageError("needs at least one setting to change");
  TReportItem probe;  // the values are checked before the folder is touched
  ApplyDefinitionOptions(parsed, probe);
  TDefinitionsEdit edit(context, parsed, "reports set");
  const int index = FindReport(edit.Reports(), word);
  ApplyDefinitionOptions(parsed, edit.Reports().Item(index));
  edit.Reports().Changed(index);
  edit.Save();
  context.Out << "Changed " << ReportText(edit.Reports().Item(index)) << "." << std::endl;
  return kExitOk;
}

// Refuses, naming them, when items would lose their e-mail action without
// --force; otherwise says which lose it.
void ConfirmMailing(const TCommandContext& context, const TParsedArgs& parsed,
                    TDefinitionsEdit& edit, const std::vector<std::int32_t>& ids) {
  const std::vector<std::string> items = edit.ItemsMailing(ids);
  if (items.empty())
    return;
  std::string names;
  for (const std::string& item : items)
    names += (names.empty() ? "" : ", ") + item;
  if (!parsed.Has("--force"))
    throw std::runtime_error("items send the report by e-mail on an alarm: " + names +
                             "; give --force to go on and switch their e-mail action off");
  context.Out << "E-mail action switched off for " << names << "." << std::endl;
}

int Remove(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions({{"--force", ""}}));
  if (HelpAsked(context, parsed, RemoveHelp))
    return kExitOk;
  const std::string& word = ReportArgument(parsed);
  TDefinitionsEdit edit(context, parsed, "reports remove");
  const int index = FindReport(edit.Reports(), word);
  const TReportItem& report = edit.Reports().Item(index);
  if (&report == edit.Reports().Default())
    throw std::runtime_error(
        "the default report cannot be removed; make another one the "
        "default first (vantrel-cli reports default)");
  const std::string text = ReportText(report);
  ConfirmMailing(context, parsed, edit, {report.Id});
  edit.Reports().Delete(index);
  edit.Save();
  context.Out << "Removed " << text << "." << std::endl;
  return kExitOk;
}

int Default(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, CommonOptions());
  if (HelpAsked(context, parsed, DefaultHelp))
    return kExitOk;
  const std::string& word = ReportArgument(parsed);
  TDefinitionsEdit edit(context, parsed, "reports default");
  const int index = FindReport(edit.Reports(), word);
  if (&edit.Reports().Item(index) == edit.Reports().Default())
    throw std::runtime_error(ReportText(edit.Reports().Item(index)) +
                             " is the default report already");
  edit.Reports().SetDefault(index);
  edit.Save();
  context.Out << "The default report is " << ReportText(edit.Reports().Item(index)) << "."
              << std::endl;
  return kExitOk;
}

int Rebuild(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions({{"--force", ""}}));
  if (HelpAsked(context, parsed, RebuildHelp))
    return kExitOk;
  ExpectNoArguments(parsed);
  TDefinitionsEdit edit(context, parsed, "reports rebuild");
  std::vector<std::int32_t> ids;
  for (int i = 0; i < edit.Reports().Count(); ++i)
    ids.push_back(edit.Reports().Item(i).Id);
  ConfirmMailing(context, parsed, edit, ids);
  edit.Reports().Rebuild();
  edit.Save();
  context.Out << "The reports are the " << edit.Reports().Count() << " built-in ones again."
              << std::endl;
  return kExitOk;
}

struct TSubcommand {
  const char* Name;
  int (*Run)(const TCommandContext&, const std::vector<std::string>&);
};

constexpr TSubcommand kSubcommands[] = {{"list", List},       {"add", Add},
                                        {"set", Set},         {"remove", Remove},
                                        {"default", Default}, {"rebuild", Rebuild}};

}  // namespace

std::string ReportsHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] reports COMMAND [ARGUMENTS]\n"
         "\n"
         "Reads and edits the report definitions of the data folder.\n"
         "\n"
         "Commands:\n"
         "  list [--json]                  the definitions, the default one marked\n"
         "  add --name NAME [SETTINGS]     adds a definition and prints its Id\n"
         "  set REPORT SETTINGS            changes a definition\n"
         "  remove REPORT [--force]        deletes a definition\n"
         "  default REPORT                 makes a definition the default report\n"
         "  rebuild [--force]              the built-in definitions again\n"
         "\n"
         "REPORT is a report's Id or its name. 'vantrel-cli reports COMMAND --help'\n"
         "describes each. The commands that change the definitions refuse while a\n"
         "monitor runs on the data folder (exit status 3).\n";
}

std::string ReportHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] report [REPORT] [--item ID] [--out FILE|-]\n"
         "\n"
         "Runs a report (its Id or its name; without one, the default report) over the\n"
         "response history. A detail report needs --item, the Id of the item it is\n"
         "about; a summary report covers every item. The document is written into a\n"
         "folder of your own under the temporary folder and its path printed.\n"
         "\n"
         "Options:\n"
         "  --item ID       the item of a detail report\n"
         "  --out FILE      write the document to FILE instead; '-' writes it to\n"
         "                  standard output\n"
         "  --data-dir DIR  the data folder (also accepted before the command)\n";
}

int ReportsCommand(const TCommandContext& context, const std::vector<std::string>& args) {
  if (args.empty())
    throw EUsageError("needs a command: list, add, set, remove, default or rebuild");
  if (args.front() == "--help" || args.front() == "-h") {
    context.Out << ReportsHelp();
    return kExitOk;
  }
  for (const TSubcommand& subcommand : kSubcommands) {
    if (args.front() == subcommand.Name)
      return subcommand.Run(context, std::vector<std::string>(args.begin() + 1, args.end()));
  }
  throw EUsageError("unknown reports command '" + args.front() +
                    "' (list, add, set, remove, default or rebuild)");
}

int ReportCommand(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed =
      ParseArgs(args, WithCommonOptions({{"--item", "ID"}, {"--out", "FILE"}}));
  if (HelpAsked(context, parsed, ReportHelp))
    return kExitOk;
  if (parsed.Positionals.size() > 1)
    throw EUsageError("unexpected argument '" + parsed.Positionals[1] + "' (one report only)");
  std::optional<std::int32_t> itemId;
  if (const auto value = parsed.Value("--item"))
    itemId = static_cast<std::int32_t>(ParseNumber("--item", *value,
                                                   std::numeric_limits<std::int32_t>::min(),
                                                   std::numeric_limits<std::int32_t>::max()));
  const std::optional<std::string> out = parsed.Value("--out");
  if (out && out->empty())
    throw EUsageError("--out: the file name is empty");

  const std::filesystem::path folder = UseDataFolder(context, parsed);
  TReportList reports(DataFilesIn(folder).Reports.string());
  LoadDefinitions(context, reports);
  const TReportItem* report = parsed.Positionals.empty()
                                  ? reports.Default()
                                  : &reports.Item(FindReport(reports, parsed.Positionals[0]));
  if (report == nullptr)
    throw std::runtime_error("there is no default report; name one (vantrel-cli reports list)");

  TSettings settings;
  LoadFolderSettings(folder, settings);
  TLoadedWatchList files(folder, settings, context.Err);
  const TWatchItem* item = itemId ? &files.ItemOfId(*itemId) : nullptr;
  if (report->ReportType == TReportType::Detail && item == nullptr)
    throw EUsageError(std::string(kSelectItemMessage) + " (--item ID)");
  // The properties show the item's statistics over its whole history.
  if (item != nullptr)
    files.ReplayHistory();
  const TDateTime now = NowDateTime();
  if (out && *out == "-") {
    context.Out << ReportDocument(*report, item, files.History(), now) << std::flush;
    return kExitOk;
  }
  if (out) {
    std::ofstream file(*out, std::ios::binary | std::ios::trunc);
    file << ReportDocument(*report, item, files.History(), now);
    file.close();
    if (!file)
      throw std::runtime_error(*out + ": cannot write the report");
    context.Out << *out << std::endl;
    return kExitOk;
  }
  context.Out << RunReport(*report, item, files.History(), now).string() << std::endl;
  return kExitOk;
}

}  // namespace vantrel
