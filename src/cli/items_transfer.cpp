#include "cli/items_transfer.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "cli/folder_edit.h"
#include "cli/item_records.h"
#include "cli/items_table.h"
#include "cli/loaded_watch_list.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "storage/atomic_file.h"

namespace vantrel {

namespace {

// All of the file `source`, or of the command's input for "-".
std::string ReadSource(const TCommandContext& context, const std::string& source) {
  if (source == "-")
    return std::string(std::istreambuf_iterator<char>(context.In), {});
  std::ifstream file(source, std::ios::binary);
  if (!file)
    throw std::runtime_error("cannot read " + source + ": " + std::strerror(errno));
  std::string text(std::istreambuf_iterator<char>(file), {});
  if (file.bad())
    throw std::runtime_error("cannot read " + source + ": " + std::strerror(errno));
  return text;
}

}  // namespace

std::string ImportHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] items import FILE|-\n"
         "\n"
         "Adds the items that FILE (or standard input, for -) describes, in one edit,\n"
         "and prints their new Ids, one per line. Either nothing or everything is\n"
         "added: a record that items add would refuse stops the import, naming the\n"
         "record and the field, and the watch list stays as it was.\n"
         "\n"
         "FILE is JSON, as 'items export' and 'items list --json' write it (an array of\n"
         "objects), or CSV (comma-separated; cells with commas, quotes or line breaks\n"
         "in double quotes) whose first row names the fields of its columns. A record\n"
         "sets these fields (the letter case of their names does not matter):\n" +
         ImportedFieldList() +
         "Each takes the values of its option of 'items add' (CheckType: ping,\n"
         "download, smtp, pop3 or ftp; Frequency: seconds or 30s, 5m, 2h; EmailType:\n"
         "sms, page or report; switches: true or false). Url is required; a field\n"
         "not given, null or empty keeps the default of a new item, and without Name\n"
         "or CheckType the URL gives them. A value field of an action (TriggerCount,\n"
         "ResetCount, EmailAddress, Command, SoundFile) switches it on unless its\n"
         "switch (AlarmTrigger, AlarmReset, EmailAction, CommandAction, SoundAction)\n"
         "is false. The other fields of the export (Id, Created, Status, the\n"
         "statistics and the web-service owner) are not read: the items are new here.\n"
         "\n"
         "Example:\n"
         "  Url,Name,Frequency,AlarmTrigger,TriggerCount\n"
         "  https://example.org/,Example,5m,true,3\n"
         "  192.0.2.1,,60,false,\n"
         "\n"
         "Options:\n"
         "  --data-dir DIR  the data folder (also accepted before the command)\n"
         "  --help          print this text\n"
         "\n"
         "Exit status: 0 done; 1 the file cannot be read or a record is refused;\n"
         "2 wrong command line; 3 the data folder is in use (a monitor runs on it).\n";
}

std::string ExportHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] items export [--out FILE]\n"
         "\n"
         "Writes every item of the watch list as JSON, in the shape of 'items list\n"
         "--json': an array with one object per item, holding its settings and its\n"
         "statistics. 'items import' reads it back, on this machine or another:\n"
         "\n"
         "  vantrel-cli --data-dir old items export --out list.json\n"
         "  vantrel-cli --data-dir new items import list.json\n"
         "\n"
         "gives the new folder the same items with the same settings, under new Ids\n"
         "(the history stays behind).\n"
         "\n"
         "Options:\n"
         "  --out FILE      write to FILE, replacing it whole, instead of standard output\n"
         "  --data-dir DIR  the data folder (also accepted before the command)\n"
         "  --help          print this text\n"
         "\n"
         "Exit status: 0 done; 1 the list cannot be read or FILE cannot be written;\n"
         "2 wrong command line.\n";
}

int ImportItems(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, CommonOptions());
  if (parsed.Has("--help")) {
    context.Out << ImportHelp();
    return kExitOk;
  }
  if (parsed.Positionals.empty())
    throw EUsageError("needs the file to import (- for standard input)");
  if (parsed.Positionals.size() > 1)
    throw EUsageError("unexpected argument '" + parsed.Positionals[1] + "' (one file only)");
  const std::string& source = parsed.Positionals.front();

  // Every record is checked before the folder is touched.
  std::vector<std::unique_ptr<TWatchItem>> prepared;
  try {
    prepared = ReadImportedItems(ReadSource(context, source));
  } catch (const EImportError& e) {
    throw std::runtime_error((source == "-" ? "standard input" : source) + ": " + e.what());
  }
  if (prepared.empty())
    return kExitOk;

  TFolderEdit edit(context, parsed, "items import");
  edit.Files().ReplayHistory();
  std::vector<std::int32_t> ids;
  ids.reserve(prepared.size());
  for (const auto& item : prepared)
    ids.push_back(edit.List().AddItem(*item).Id());
  edit.Files().Save();
  std::string printed;
  for (const std::int32_t id : ids)
    printed += std::to_string(id) + '\n';
  context.Out << printed << std::flush;
  return kExitOk;
}

int ExportItems(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions({{"--out", "FILE"}}));
  if (parsed.Has("--help")) {
    context.Out << ExportHelp();
    return kExitOk;
  }
  ExpectNoArguments(parsed);
  const std::optional<std::string> out = parsed.Value("--out");
  if (out && out->empty())
    throw EUsageError("--out: the file name is empty");

  const std::filesystem::path folder = UseDataFolder(context, parsed);
  TSettings settings;
  LoadFolderSettings(folder, settings);
  TLoadedWatchList files(folder, settings, context.Err);
  files.ReplayHistory();
  if (!out) {
    WriteItemsJson(context.Out, files.List());
    if (!context.Out.flush())
      throw std::runtime_error("cannot write the list to standard output");
    return kExitOk;
  }
  std::ostringstream json;
  WriteItemsJson(json, files.List());
  TAtomicFile file(*out, TFilePermissions::KeepOr(0666));
  file.Write(json.str());
  file.Commit();
  context.Out << "Exported " << files.List().Count() << " item(s) to " << *out << "." << std::endl;
  return kExitOk;
}

}  // namespace vantrel
