// vantrel-cli: the command-line front of Vantrel. This file only reads the
// options before the command, hands the rest to the command, and turns what
// goes wrong into a message and an exit status.

#include <clocale>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/headless_output.h"
#include "cli/check_command.h"
#include "cli/cli_args.h"
#include "cli/command_context.h"
#include "cli/items_command.h"
#include "cli/mail_test_command.h"
#include "cli/reports_command.h"
#include "cli/run_command.h"
#include "cli/settings_command.h"
#include "cli/sync_command.h"
#include "platform/version_info.h"

namespace vantrel {
namespace {

constexpr const char* kUsage =
    "Usage: vantrel-cli [--data-dir DIR] COMMAND [ARGUMENTS]\n"
    "       vantrel-cli --help | --version\n"
    "\n"
    "Vantrel monitors web sites and Internet hosts.\n"
    "\n"
    "Commands:\n"
    "  run                        the monitor without a window, until stopped\n"
    "  check URL [METHOD] ...     tests one URL or host once, step by step\n"
    "  items list [--json]        the watch list with status and statistics\n"
    "  items add --url URL ...    adds an item and prints its Id\n"
    "  items set ID SETTINGS      changes settings of an item\n"
    "  items remove ID...         deletes items and their history\n"
    "  items suspend ID...        stops checking items\n"
    "  items activate ID...       checks items again\n"
    "  items import FILE|-        adds many items at once from JSON or CSV\n"
    "  items export [--out FILE]  the watch list as JSON, for items import\n"
    "  report [REPORT] [--item ID] [--out FILE|-]\n"
    "                             runs a report and prints the document's path\n"
    "  reports list [--json]      the report definitions\n"
    "  reports add|set|remove|default|rebuild ...\n"
    "                             edits the report definitions\n"
    "  settings list|get|set ...  the preferences and Internet options\n"
    "  mailtest [--server HOST[:PORT]] ...\n"
    "                             sends a test message through the mail settings\n"
    "  sync [--test]              takes the web service's items at once\n"
    "  help [COMMAND]             the help of a command\n"
    "\n"
    "'vantrel-cli COMMAND --help' describes each command and its options.\n"
    "\n"
    "Options:\n"
    "  --data-dir DIR  keep the settings, the event log and the data files in DIR\n"
    "                  (else $VANTREL_HOME, the program's folder when writable,\n"
    "                  or $XDG_DATA_HOME/vantrel); also accepted after the command\n"
    "  --version       print the version and exit\n"
    "  --help          print this text and exit\n"
    "\n"
    "Exit status: 0 success; 1 failure (a failed check or operation); 2 wrong\n"
    "command line; 3 the data folder is in use by another process.\n";

const std::vector<TOptionSpec> kGlobalOptions = {
    {"--data-dir", "DIR"}, {"--help", ""}, {"--version", ""}};

// The command line after the program's name.
struct TCommandLine {
  std::optional<std::filesystem::path> DataDir;
  bool Help = false;
  bool Version = false;
  std::vector<std::string> Command;  // the command's name and its arguments
};

TCommandLine ReadGlobalOptions(const std::vector<std::string>& args) {
  TCommandLine line;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.empty() || arg[0] != '-')
      break;
    if (arg == "--help" || arg == "-h") {
      line.Help = true;
    } else if (arg == "--version") {
      line.Version = true;
    } else if (arg == "--data-dir" || arg.rfind("--data-dir=", 0) == 0) {
      std::string folder;
      if (arg == "--data-dir") {
        if (i + 1 >= args.size())
          throw EUsageError("--data-dir needs a value (--data-dir DIR)");
        folder = args[++i];
      } else {
        folder = arg.substr(std::strlen("--data-dir="));
      }
      if (folder.empty())
        throw EUsageError("--data-dir: the folder name is empty");
      if (line.DataDir && *line.DataDir != std::filesystem::path(folder))
        throw EUsageError("--data-dir: two different folders given");
      line.DataDir = folder;
    } else {
      const std::string name = arg.substr(0, arg.find('='));
      std::string message = "unknown option '" + name + "'";
      const std::string closest = ClosestName(name, kGlobalOptions);
      if (!closest.empty())
        message += " (did you mean " + closest + "?)";
      throw EUsageError(message + "; options of a command go after its name");
    }
  }
  line.Command.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  return line;
}

// "items add" for the hint after a usage error: the words that name the
// command whose help explains it.
std::string CommandWords(const std::vector<std::string>& command) {
  if (command.empty())
    return {};
  if (command[0] == "items" && command.size() > 1 && IsItemsSubcommand(command[1]))
    return "items " + command[1];
  if (command[0] == "run" || command[0] == "check" || command[0] == "items" ||
      command[0] == "report" || command[0] == "reports" || command[0] == "settings" ||
      command[0] == "mailtest" || command[0] == "sync")
    return command[0];
  return {};
}

// `help`, `help run`, `help items add`.
int Help(const TCommandContext& context, const std::vector<std::string>& topic) {
  if (topic.empty() || topic[0] == "help" || topic[0] == "--help" || topic[0] == "-h") {
    context.Out << kUsage;
  } else if (topic[0] == "run") {
    context.Out << RunHelp();
  } else if (topic[0] == "check") {
    context.Out << CheckHelp();
  } else if (topic[0] == "items") {
    context.Out << (topic.size() > 1 ? ItemsSubcommandHelp(topic[1]) : ItemsHelp());
  } else if (topic[0] == "report") {
    context.Out << ReportHelp();
  } else if (topic[0] == "reports") {
    context.Out << ReportsHelp();
  } else if (topic[0] == "settings") {
    context.Out << SettingsHelp();
  } else if (topic[0] == "mailtest") {
    context.Out << MailTestHelp();
  } else if (topic[0] == "sync") {
    context.Out << SyncHelp();
  } else {
    throw EUsageError("no help on '" + topic[0] +
                      "' (run, check, items, report, reports, settings, mailtest or sync)");
  }
  return kExitOk;
}

int Dispatch(const TCommandContext& context, const std::vector<std::string>& command) {
  const std::string& name = command.front();
  const std::vector<std::string> args(command.begin() + 1, command.end());
  if (name == "run")
    return RunCommand(context, args);
  if (name == "check")
    return CheckCommand(context, args);
  if (name == "items")
    return ItemsCommand(context, args);
  if (name == "report")
    return ReportCommand(context, args);
  if (name == "reports")
    return ReportsCommand(context, args);
  if (name == "settings")
    return SettingsCommand(context, args);
  if (name == "mailtest")
    return MailTestCommand(context, args);
  if (name == "sync")
    return SyncCommand(context, args);
  if (name == "help")
    return Help(context, args);
  throw EUsageError("unknown command '" + name +
                    "' (run, check, items, report, reports, settings, mailtest, sync or help)");
}

int Main(const std::vector<std::string>& args) {
  std::vector<std::string> command;
  try {
    const TCommandLine line = ReadGlobalOptions(args);
    command = line.Command;
    const TCommandContext context{.DataDir = line.DataDir, .Out = std::cout, .Err = std::cerr};
    if (line.Help)
      return Help(context, command);
    if (line.Version) {
      std::cout << kProgramTitle << ' ' << kFileVersion << '\n';
      return kExitOk;
    }
    if (command.empty())
      throw EUsageError("no command given");
    return Dispatch(context, command);
  } catch (const EUsageError& e) {
    // Messages quote what was given (an argument, a value of an imported
    // file), which may hold anything: each is printed as one line.
    const std::string words = CommandWords(command);
    std::cerr << "vantrel-cli: " << (words.empty() ? "" : words + ": ") << OneLine(e.what()) << '\n'
              << "Try 'vantrel-cli " << (words.empty() ? "" : words + " ") << "--help'.\n";
    return kExitUsage;
  } catch (const EFolderInUse& e) {
    std::cerr << "vantrel-cli: " << OneLine(e.what()) << '\n';
    return kExitInUse;
  } catch (const std::exception& e) {
    // File errors read "name CR LF reason".
    std::cerr << "vantrel-cli: " << OneLine(e.what()) << '\n';
    return kExitFailed;
  }
}

}  // namespace
}  // namespace vantrel

int main(int argc, char** argv) {
  // Dates and month names follow the user's locale; numbers in files never do.
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  return vantrel::Main(std::vector<std::string>(argv + 1, argv + argc));
}
