#include "cli/check_command.h"

#include <string>

#include "cli/item_options.h"
#include "core/check_request.h"
#include "core/item_limits.h"
#include "core/settings.h"
#include "net/proxy.h"
#include "text/escape.h"

namespace vantrel {

namespace {

struct TMethodSwitch {
  const char* Option;
  TCheckType Type;
};

constexpr TMethodSwitch kMethodSwitches[] = {
    {"--ping", TCheckType::Ping}, {"--download", TCheckType::Download},
    {"--smtp", TCheckType::Smtp}, {"--pop3", TCheckType::Pop3},
    {"--ftp", TCheckType::Ftp},
};

// The method chosen by a switch; nothing when none was given. Two different
// switches contradict each other.
std::optional<TCheckType> ChosenMethod(const TParsedArgs& args) {
  std::optional<TMethodSwitch> chosen;
  for (const TParsedOption& option : args.Options) {
    for (const TMethodSwitch& method : kMethodSwitches) {
      if (option.Name != method.Option)
        continue;
      if (chosen && chosen->Type != method.Type)
        throw EUsageError(std::string(chosen->Option) + " and " + method.Option +
                          ": choose one method");
      chosen = method;
    }
  }
  if (!chosen)
    return std::nullopt;
  return chosen->Type;
}

}  // namespace

std::vector<TOptionSpec> CheckOptions() {
  std::vector<TOptionSpec> specs;
  for (const TMethodSwitch& method : kMethodSwitches)
    specs.push_back({method.Option, ""});
  specs.push_back({"--search", "TEXT"});
  specs.push_back({"--case-sensitive", ""});
  specs.push_back({"--timeout", "MS"});
  return specs;
}

TMonitoringTestSettings CheckSettingsFromArgs(const TParsedArgs& args) {
  if (args.Positionals.empty())
    throw EUsageError("needs the URL or host to test");
  if (args.Positionals.size() > 1)
    throw EUsageError("unexpected argument '" + args.Positionals[1] + "' (one URL or host only)");

  TMonitoringTestSettings settings;
  settings.Url = TrimBlanks(args.Positionals.front());
  if (settings.Url.empty())
    throw EUsageError("the URL or host to test is empty");
  if (HasControls(settings.Url))
    throw EUsageError("the URL or host to test must not contain control characters");
  settings.CheckType = ChosenMethod(args).value_or(DefaultCheckType(settings.Url));

  const bool download = settings.CheckType == TCheckType::Download;
  for (const char* option : {"--search", "--case-sensitive"}) {
    if (args.Has(option) && !download)
      throw EUsageError(std::string(option) +
                        ": only a download searches the page (add --download)");
  }
  settings.SearchText = args.Value("--search").value_or("");
  settings.CaseSensitive = args.Has("--case-sensitive");

  if (const std::optional<std::string> timeout = args.Value("--timeout")) {
    switch (settings.CheckType) {
      case TCheckType::Ping:
        settings.PingTimeout = static_cast<std::int32_t>(
            ParseNumber("--timeout", *timeout, kMinTimeout, kMaxPingTimeout));
        break;
      case TCheckType::Download:
        settings.DownloadTimeout = static_cast<std::int32_t>(
            ParseNumber("--timeout", *timeout, kMinTimeout, kMaxDownloadTimeout));
        break;
      case TCheckType::Smtp:
      case TCheckType::Pop3:
      case TCheckType::Ftp:
        settings.ServiceTimeout = static_cast<std::int32_t>(
            ParseNumber("--timeout", *timeout, kMinTimeout, kMaxServiceTimeout));
        break;
    }
  }
  return settings;
}

std::string CheckHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] check URL [--ping|--download|--smtp|--pop3|--ftp]\n"
         "                   [--search TEXT] [--case-sensitive] [--timeout MS]\n"
         "\n"
         "Tests one URL or host once, as the Test button of an item's properties does,\n"
         "and prints each step as it goes (\"Pinging: Success\", \"Response time: 12\n"
         "milli-seconds\", \"Checking time-out: Success\" ...), ending with \"Test finished\n"
         "successfully.\" or \"Test failed.\". Nothing is saved.\n"
         "\n"
         "Method (one of):\n"
         "  --ping          ICMP echo of the host (the part after \"://\" of a URL)\n"
         "  --download      GET of the URL as given; judged by status 200, the time-out\n"
         "                  and the search text\n"
         "  --smtp, --pop3, --ftp\n"
         "                  the service's greeting on its standard port\n"
         "  Without one: --download for an http:// or https:// URL, else --ping.\n"
         "\n"
         "Options:\n"
         "  --search TEXT     (download) text the page must contain\n"
         "  --case-sensitive  (download) search with letter case\n"
         "  --timeout MS      the slowest good reply: 0 to 9999 ms (ping, services; 3000\n"
         "                    and 4000 by default) or 0 to 99999 ms (download; 8000)\n"
         "  --data-dir DIR    the data folder, whose settings give the proxy\n"
         "  --help            print this text\n"
         "\n"
         "Exit status: 0 when the test passed, 1 when it failed, 2 for a wrong command\n"
         "line.\n";
}

int CheckCommand(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions(CheckOptions()));
  if (parsed.Has("--help")) {
    context.Out << CheckHelp();
    return kExitOk;
  }
  TMonitoringTestSettings settings = CheckSettingsFromArgs(parsed);
  // The program's own proxy, when the Internet options set one, as a check
  // of the monitor would use it.
  TSettings folderSettings;
  LoadFolderSettings(UseDataFolder(context, parsed), folderSettings);
  settings.Proxy = GetProxyForHost(settings.Url, folderSettings.GetInternetOptions());

  TStreamTestOutput output(context.Out);
  const bool passed = RunMonitoringTest(settings, output);
  output.Finish();
  return passed ? kExitOk : kExitFailed;
}

}  // namespace vantrel
