#include "cli/sync_command.h"

#include "cli/folder_edit.h"
#include "core/settings.h"
#include "core/watch_list.h"
#include "sync/synchronizer.h"

namespace vantrel {

std::string SyncHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] sync [--test]\n"
         "\n"
         "Takes the web service's list of items into the watch list at once (items\n"
         "added, changed, suspended or deleted there), as the Synchronize action does.\n"
         "Nothing is confirmed or uploaded: a running monitor does that on its timer.\n"
         "The service is set with 'vantrel-cli settings set' (Service.ServiceStatus on,\n"
         "Service.ServiceUrl, Service.ServicePassword).\n"
         "\n"
         "Options:\n"
         "  --test          only test the address and password, as switching the\n"
         "                  service on does\n"
         "  --data-dir DIR  the data folder\n"
         "\n"
         "Exit status: 0 done, 1 failed, 2 wrong command line, 3 the data folder is in\n"
         "use (sync refuses while a monitor runs on it).\n";
}

int SyncCommand(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions({{"--test", ""}}));
  if (parsed.Has("--help")) {
    context.Out << SyncHelp();
    return kExitOk;
  }
  ExpectNoArguments(parsed);
  TSettings settings;
  LoadFolderSettings(UseDataFolder(context, parsed), settings);
  const TPreferences preferences = settings.GetPreferences();
  if (preferences.ServiceUrl.empty())
    throw std::runtime_error(
        "No Servise URL entered. Please enter the URL. Note that server software should be "
        "installed on the URL. (vantrel-cli settings set Service.ServiceUrl URL)");
  TServiceClient client(MakeServiceAddress(preferences, settings.GetInternetOptions()));
  if (parsed.Has("--test")) {
    const std::string message = ServiceTestMessage(client.Get(client.Query("test", false)));
    if (!message.empty())
      throw std::runtime_error(message);
    context.Out << "The web service answered: address and password are right." << std::endl;
    return kExitOk;
  }
  if (!preferences.ServiceStatus)
    throw std::runtime_error(
        "the web service is switched off (vantrel-cli settings set Service.ServiceStatus on)");
  TFolderEdit edit(context, parsed, "sync");
  edit.Files().ReplayHistory();
  const int before = edit.List().Count();
  if (!SynchronizeNow(client, edit.List()))
    throw std::runtime_error(kSyncFailedMessage);
  edit.Files().Save();
  context.Out << "Synchronized: " << edit.List().Count() << " items in the watch list ("
              << edit.List().Count() - before << " added)." << std::endl;
  return kExitOk;
}

}  // namespace vantrel
