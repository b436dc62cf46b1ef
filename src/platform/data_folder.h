#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vantrel {

// Where the settings (vantrel.ini), the event log (vantrel.log) and the data
// files (vantrel.vtd, .vth, .vtt, .vt1, .vtr) live. First match wins:
//   1. the folder given on the command line (--data-dir DIR),
//   2. the environment variable VANTREL_HOME,
//   3. the program's own folder, when the program may write there,
//   4. $XDG_DATA_HOME/vantrel, or ~/.local/share/vantrel without it.
struct TDataFolderSources {
  std::optional<std::filesystem::path> CommandLine;
  std::optional<std::string> VantrelHome;  // VANTREL_HOME
  std::filesystem::path ProgramFolder;     // empty when unknown
  std::optional<std::string> XdgDataHome;  // XDG_DATA_HOME
  std::optional<std::string> Home;         // HOME
};

// The sources of this process: its environment and the folder of /proc/self/exe.
TDataFolderSources CurrentDataFolderSources(
    std::optional<std::filesystem::path> commandLine = std::nullopt);

// Applies the rule above, creates the folder when it is missing and returns it
// as an absolute path. Throws std::runtime_error naming the folder when it
// cannot be created or is not a writable folder, or when no rule gives one.
std::filesystem::path ResolveDataFolder(const TDataFolderSources& sources);

}  // namespace vantrel
