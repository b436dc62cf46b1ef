#include "cli/items_command.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>

#include "app/headless_output.h"
#include "cli/folder_edit.h"
#include "cli/item_options.h"
#include "cli/items_table.h"
#include "cli/items_transfer.h"
#include "cli/loaded_watch_list.h"
#include "core/watch_item.h"
#include "core/watch_list.h"

namespace vantrel {

namespace {

using TRunner = int (*)(const TCommandContext& context, const std::vector<std::string>& args);

struct TSubcommand {
  const char* Name;
  TRunner Run;
  std::string (*Help)();
};

std::int32_t ParseItemId(const std::string& text) {
  return static_cast<std::int32_t>(ParseNumber("item Id", text,
                                               std::numeric_limits<std::int32_t>::min(),
                                               std::numeric_limits<std::int32_t>::max()));
}

// The Ids among the arguments, each once, in the order given.
std::vector<std::int32_t> ItemIds(const TParsedArgs& args) {
  if (args.Positionals.empty())
    throw EUsageError("needs the Id of at least one item");
  std::vector<std::int32_t> ids;
  for (const std::string& text : args.Positionals) {
    const std::int32_t id = ParseItemId(text);
    if (std::find(ids.begin(), ids.end(), id) == ids.end())
      ids.push_back(id);
  }
  return ids;
}

std::string ItemText(const TWatchItem& item) {
  return "item " + std::to_string(item.Id()) + " (" + ItemLabel(item) + ")";
}

// True when the help was asked for, which is then printed instead.
bool HelpAsked(const TCommandContext& context, const TParsedArgs& args, std::string (*help)()) {
  if (!args.Has("--help"))
    return false;
  context.Out << help();
  return true;
}

// --- Help --------------------------------------------------------------------

std::string ListHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] items list [--json | --details]\n"
         "\n"
         "Shows every item of the watch list with its status and the statistics that\n"
         "its response history gives, in the texts the item list shows (\"1 minute(s)\",\n"
         "\"by Download\", \"33%\", \"no data\"). The status is the one a monitor starting\n"
         "now would show: Up, or Suspended for an item that is not checked; an alarm\n"
         "does not outlive the monitor that raised it. While a monitor runs, the\n"
         "statistics are those of the history it has written so far.\n"
         "\n"
         "Options:\n"
         "  --json          every field of every item, as a JSON array of objects with\n"
         "                  the items' field names (Id, Name, Url, Frequency, CheckType,\n"
         "                  TimesChecked ...); date-times in ISO 8601, null for none\n"
         "  --details       every property the preferences show, per item, as the\n"
         "                  details pane shows them\n"
         "  --data-dir DIR  the data folder (also accepted before the command)\n"
         "  --help          print this text\n";
}

// The settings and the closing lines shared by the help of add and set.
std::string SettingsHelpTail() {
  return ItemOptionsHelp() +
         "\n"
         "  --data-dir DIR           the data folder (also accepted before the command)\n"
         "  --help                   print this text\n"
         "\n"
         "Refuses while a monitor runs on the data folder (exit status 3).\n";
}

std::string AddHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] items add --url URL [SETTINGS]\n"
         "\n"
         "Adds an item to the watch list and prints its Id. A new item is active,\n"
         "checked every 60 seconds, with no alarm trigger or reset, the pop-up on,\n"
         "e-mail kind page and the time-outs 3000 ms (ping), 8000 ms (download) and\n"
         "4000 ms (services). Without --type an http:// or https:// URL is checked by\n"
         "download, anything else by ping; without --name the URL is the name.\n"
         "\n" +
         SettingsHelpTail();
}

std::string SetHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] items set ID SETTINGS\n"
         "\n"
         "Changes settings of the item with this Id; the others stay as they are.\n"
         "The name and URL of an item from the web service stay the service's.\n"
         "\n" +
         SettingsHelpTail();
}

std::string RemoveHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] items remove ID...\n"
         "\n"
         "Deletes the items with these Ids and their response history, without asking.\n"
         "Nothing changes when one of the Ids is unknown.\n"
         "Refuses while a monitor runs on the data folder (exit status 3).\n";
}

std::string SuspendHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] items suspend ID...\n"
         "\n"
         "Stops checking the items with these Ids (their status becomes Suspended).\n"
         "Nothing changes when one of the Ids is unknown.\n"
         "Refuses while a monitor runs on the data folder (exit status 3).\n";
}

std::string ActivateHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] items activate ID...\n"
         "\n"
         "Checks the items with these Ids again, due at once when a monitor starts.\n"
         "Nothing changes when one of the Ids is unknown.\n"
         "Refuses while a monitor runs on the data folder (exit status 3).\n";
}

// --- Commands ----------------------------------------------------------------

int List(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed =
      ParseArgs(args, WithCommonOptions({{"--json", ""}, {"--details", ""}}));
  if (HelpAsked(context, parsed, ListHelp))
    return kExitOk;
  ExpectNoArguments(parsed);
  if (parsed.Has("--json") && parsed.Has("--details"))
    throw EUsageError("--json and --details: choose one");

  const std::filesystem::path folder = UseDataFolder(context, parsed);
  TSettings settings;
  LoadFolderSettings(folder, settings);
  TLoadedWatchList files(folder, settings, context.Err);
  files.ReplayHistory();
  const TWatchList& list = files.List();
  if (parsed.Has("--json")) {
    WriteItemsJson(context.Out, list);
  } else if (list.Count() == 0) {
    context.Out << "The watch list in " << folder.string() << " is empty. Add an item with\n"
                << "  " << AddItemCommand(folder) << '\n';
  } else if (parsed.Has("--details")) {
    WriteItemsDetails(context.Out, list);
  } else {
    WriteItemsTable(context.Out, list);
  }
  return kExitOk;
}

int Add(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions(ItemOptionSpecs()));
  if (HelpAsked(context, parsed, AddHelp))
    return kExitOk;
  ExpectNoArguments(parsed);
  if (!parsed.Has("--url"))
    throw EUsageError("--url is required: the URL or host to check");

  // A free-standing item with the new-item defaults, as the Add New dialog
  // starts from; the command line is checked before the folder is touched.
  TWatchItem prepared;
  ApplyItemOptions(parsed.Options, prepared);
  CompleteNewItem(prepared, parsed.Has("--type"), parsed.Has("--name"));

  TFolderEdit edit(context, parsed, "items add");
  edit.Files().ReplayHistory();
  const TWatchItem& item = edit.List().AddItem(prepared);
  edit.Files().Save();
  context.Out << item.Id() << std::endl;
  return kExitOk;
}

int Set(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions(ItemOptionSpecs()));
  if (HelpAsked(context, parsed, SetHelp))
    return kExitOk;
  if (parsed.Positionals.empty())
    throw EUsageError("needs the Id of the item to change");
  if (parsed.Positionals.size() > 1)
    throw EUsageError("unexpected argument '" + parsed.Positionals[1] + "' (one item Id only)");
  const std::int32_t id = ParseItemId(parsed.Positionals.front());
  const bool changes = std::any_of(parsed.Options.begin(), parsed.Options.end(),
                                   [](const TParsedOption& o) { return IsItemOption(o.Name); });
  if (!changes)
    throw EUsageError("needs at least one setting to change");
  {
    TWatchItem probe;  // the values are checked before the folder is touched
    ApplyItemOptions(parsed.Options, probe);
  }

  TFolderEdit edit(context, parsed, "items set");
  const int row = edit.Files().RowOfId(id);
  TWatchItem& target = edit.Files().ItemOfId(id);
  if (!target.Username.empty() && (parsed.Has("--name") || parsed.Has("--url")))
    throw EUsageError("--name, --url: item " + std::to_string(id) +
                      " comes from the web service, which keeps its name and URL");
  // Edited on a scratch copy and assigned back, as the properties dialog does.
  TWatchItem edited;
  edited.Assign(target);
  ApplyItemOptions(parsed.Options, edited);
  target.Assign(edited);
  edit.List().ItemChanged(row);
  edit.Files().Save();
  context.Out << "Changed " << ItemText(target) << "." << std::endl;
  return kExitOk;
}

int Remove(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, CommonOptions());
  if (HelpAsked(context, parsed, RemoveHelp))
    return kExitOk;
  const std::vector<std::int32_t> ids = ItemIds(parsed);

  TFolderEdit edit(context, parsed, "items remove");
  std::vector<std::string> removed;
  std::vector<std::uint32_t> historyIds;
  for (const std::int32_t id : ids) {
    removed.push_back(ItemText(edit.Files().ItemOfId(id)));
    historyIds.push_back(static_cast<std::uint32_t>(id));
  }
  // The history first, as the window's Delete: records of a deleted item
  // would otherwise stay behind with no item to show them.
  edit.Files().History().DeleteItems(historyIds);
  for (const std::int32_t id : ids)
    edit.List().DeleteRow(edit.Files().RowOfId(id));
  edit.Files().Save();
  for (const std::string& text : removed)
    context.Out << "Removed " << text << " and its history." << std::endl;
  return kExitOk;
}

int SetActive(const TCommandContext& context, const std::vector<std::string>& args, bool active) {
  const TParsedArgs parsed = ParseArgs(args, CommonOptions());
  if (HelpAsked(context, parsed, active ? ActivateHelp : SuspendHelp))
    return kExitOk;
  const char* command = active ? "activate" : "suspend";
  const std::vector<std::int32_t> ids = ItemIds(parsed);

  TFolderEdit edit(context, parsed, std::string("items ") + command);
  std::vector<int> rows;
  for (const std::int32_t id : ids)
    rows.push_back(edit.Files().RowOfId(id));  // all known before any changes
  std::vector<std::string> lines;
  for (const int row : rows) {
    const TWatchItem& item = *edit.List().ItemView().RowItem(row);
    const bool changes = item.Active() != active;
    edit.List().SetItemActive(row, active);
    lines.push_back(changes
                        ? std::string(active ? "Activated " : "Suspended ") + ItemText(item) + "."
                        : "Left " + ItemText(item) + (active ? " active." : " suspended."));
  }
  edit.Files().Save();
  for (const std::string& line : lines)
    context.Out << line << std::endl;
  return kExitOk;
}

int Suspend(const TCommandContext& context, const std::vector<std::string>& args) {
  return SetActive(context, args, false);
}

int Activate(const TCommandContext& context, const std::vector<std::string>& args) {
  return SetActive(context, args, true);
}

constexpr TSubcommand kSubcommands[] = {
    {"list", List, ListHelp},
    {"add", Add, AddHelp},
    {"set", Set, SetHelp},
    {"remove", Remove, RemoveHelp},
    {"suspend", Suspend, SuspendHelp},
    {"activate", Activate, ActivateHelp},
    {"import", ImportItems, ImportHelp},
    {"export", ExportItems, ExportHelp},
};

const TSubcommand* FindSubcommand(const std::string& name) {
  for (const TSubcommand& subcommand : kSubcommands) {
    if (name == subcommand.Name)
      return &subcommand;
  }
  return nullptr;
}

}  // namespace

bool IsItemsSubcommand(const std::string& name) {
  return FindSubcommand(name) != nullptr;
}

std::string ItemsHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] items COMMAND [ARGUMENTS]\n"
         "\n"
         "Reads and edits the watch list of the data folder.\n"
         "\n"
         "Commands:\n"
         "  list [--json | --details]   the items with their status and statistics\n"
         "  add --url URL [SETTINGS]    adds an item and prints its Id\n"
         "  set ID SETTINGS             changes settings of an item\n"
         "  remove ID...                deletes items and their response history\n"
         "  suspend ID...               stops checking items\n"
         "  activate ID...              checks items again\n"
         "  import FILE|-               adds many items at once from JSON or CSV, all\n"
         "                              or none, and prints their Ids\n"
         "  export [--out FILE]         the list as JSON, for import elsewhere\n"
         "\n"
         "'vantrel-cli items COMMAND --help' describes each; 'items add --help' lists\n"
         "every setting. The commands that change the list hold the data folder for\n"
         "the moment of the edit and refuse while a monitor runs on it (exit status 3):\n"
         "stop the monitor, edit the list, start it again. To add many items, import\n"
         "them in one go: each 'items add' reads the whole history again.\n"
         "\n"
         "Exit status: 0 done; 1 failed (an unknown Id, a file that cannot be read or\n"
         "written, a refused record); 2 wrong command line; 3 the data folder is in\n"
         "use.\n";
}

std::string ItemsSubcommandHelp(const std::string& name) {
  const TSubcommand* subcommand = FindSubcommand(name);
  return subcommand != nullptr ? subcommand->Help() : ItemsHelp();
}

int ItemsCommand(const TCommandContext& context, const std::vector<std::string>& args) {
  if (args.empty())
    throw EUsageError(
        "needs a command: list, add, set, remove, suspend, activate, import or export");
  const std::string& name = args.front();
  if (name == "--help" || name == "-h") {
    context.Out << ItemsHelp();
    return kExitOk;
  }
  const TSubcommand* subcommand = FindSubcommand(name);
  if (subcommand == nullptr)
    throw EUsageError("unknown items command '" + name +
                      "' (list, add, set, remove, suspend, activate, import or export)");
  return subcommand->Run(context, std::vector<std::string>(args.begin() + 1, args.end()));
}

}  // namespace vantrel
