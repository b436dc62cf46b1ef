#include "platform/data_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace vantrel {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> Env(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value)
    return std::nullopt;
  return std::string(value);
}

bool IsWritableFolder(const fs::path& folder) {
  std::error_code ec;
  return !folder.empty() && fs::is_directory(folder, ec) && access(folder.c_str(), W_OK) == 0;
}

fs::path Prepare(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    throw std::runtime_error("Cannot create the data folder " + folder.string() + ": " +
                             ec.message());
  }
  if (!IsWritableFolder(folder)) {
    throw std::runtime_error("The data folder " + folder.string() +
                             " is not a folder this program may write to.");
  }
  return fs::absolute(folder, ec).lexically_normal();
}

}  // namespace

TDataFolderSources CurrentDataFolderSources(std::optional<fs::path> commandLine) {
  TDataFolderSources sources;
  sources.CommandLine = std::move(commandLine);
  sources.VantrelHome = Env("VANTREL_HOME");
  sources.XdgDataHome = Env("XDG_DATA_HOME");
  sources.Home = Env("HOME");
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec)
    sources.ProgramFolder = exe.parent_path();
  return sources;
}

fs::path ResolveDataFolder(const TDataFolderSources& sources) {
  if (sources.CommandLine && !sources.CommandLine->empty())
    return Prepare(*sources.CommandLine);
  if (sources.VantrelHome)
    return Prepare(*sources.VantrelHome);
  if (IsWritableFolder(sources.ProgramFolder))
    return Prepare(sources.ProgramFolder);
  // XDG asks that a relative XDG_DATA_HOME be ignored.
  if (sources.XdgDataHome && fs::path(*sources.XdgDataHome).is_absolute()) {
    return Prepare(fs::path(*sources.XdgDataHome) / "vantrel");
  }
  if (sources.Home)
    return Prepare(fs::path(*sources.Home) / ".local" / "share" / "vantrel");
  throw std::runtime_error("No data folder: give --data-dir DIR, or set VANTREL_HOME or HOME.");
}

}  // namespace vantrel
