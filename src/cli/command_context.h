#pragma once

// What every command of vantrel-cli shares: its streams, the data folder, the
// exit statuses, and the options each command accepts besides its own.

#include <filesystem>
#include <iostream>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "core/settings.h"

namespace vantrel {

// Exit statuses.
inline constexpr int kExitOk = 0;
// The check failed, or an operation did (an unreadable file, an unknown item).
inline constexpr int kExitFailed = 1;
// The command line is wrong.
inline constexpr int kExitUsage = 2;
// Another process holds the data folder.
inline constexpr int kExitInUse = 3;

// Another process (a running monitor, another edit) holds the data folder;
// the message names it.
class EFolderInUse : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TCommandContext {
  // --data-dir as given before the command.
  std::optional<std::filesystem::path> DataDir;
  std::ostream& Out;            // results and status
  std::ostream& Err;            // errors and warnings
  std::istream& In = std::cin;  // what a command reads from "-"
};

// The options every command accepts: "--data-dir DIR" (also after the
// command, as a monitor is often started) and "--help".
std::vector<TOptionSpec> CommonOptions();
// `specs` with the common options added.
std::vector<TOptionSpec> WithCommonOptions(std::vector<TOptionSpec> specs);

// The data folder of this command: --data-dir before or after the command
// (not both with different folders), else the data-folder rule; created when
// missing. Throws EUsageError for two
// different --data-dir, std::runtime_error when the folder is not usable.
std::filesystem::path UseDataFolder(const TCommandContext& context, const TParsedArgs& args);

// Loads the settings file of `folder` into `settings`, whose values stand for
// keys the file lacks (no file: nothing changes). Reads only.
void LoadFolderSettings(const std::filesystem::path& folder, TSettings& settings);

// `text` as one word for a POSIX shell, quoted only when it needs to be.
std::string ShellWord(const std::string& text);

// "vantrel-cli --data-dir FOLDER items add --url URL": how to add an item to
// the list of `folder`, for the hints shown when the list is empty.
std::string AddItemCommand(const std::filesystem::path& folder);

// Rejects positional arguments where a command takes none.
void ExpectNoArguments(const TParsedArgs& args);

}  // namespace vantrel
