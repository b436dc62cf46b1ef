#include "cli/command_context.h"

#include <string>

#include "app/data_files.h"
#include "platform/data_folder.h"

namespace vantrel {

std::vector<TOptionSpec> CommonOptions() {
  return {{"--data-dir", "DIR"}, {"--help", ""}};
}

std::vector<TOptionSpec> WithCommonOptions(std::vector<TOptionSpec> specs) {
  for (TOptionSpec& option : CommonOptions())
    specs.push_back(std::move(option));
  return specs;
}

std::filesystem::path UseDataFolder(const TCommandContext& context, const TParsedArgs& args) {
  std::optional<std::filesystem::path> given = context.DataDir;
  if (const std::optional<std::string> after = args.Value("--data-dir")) {
    if (after->empty())
      throw EUsageError("--data-dir: the folder name is empty");
    if (given && *given != std::filesystem::path(*after))
      throw EUsageError("--data-dir: two different folders given (" + given->string() + " and " +
                        *after + ")");
    given = *after;
  }
  return ResolveDataFolder(CurrentDataFolderSources(given));
}

void LoadFolderSettings(const std::filesystem::path& folder, TSettings& settings) {
  TKeptWindowState window;
  settings.Load(DataFilesIn(folder).Settings, window);
}

std::string ShellWord(const std::string& text) {
  const bool plain = !text.empty() && text.find_first_not_of(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789-_./,:+@%=") == std::string::npos;
  if (plain)
    return text;
  std::string quoted = "'";
  for (const char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string AddItemCommand(const std::filesystem::path& folder) {
  return "vantrel-cli --data-dir " + ShellWord(folder.string()) + " items add --url URL";
}

void ExpectNoArguments(const TParsedArgs& args) {
  if (!args.Positionals.empty())
    throw EUsageError("unexpected argument '" + args.Positionals.front() + "'");
}

}  // namespace vantrel
