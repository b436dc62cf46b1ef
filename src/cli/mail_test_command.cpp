#include "cli/mail_test_command.h"

#include "alerts/mail_test.h"
#include "core/settings.h"

namespace vantrel {

std::string MailTestHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] mailtest [--server HOST[:PORT]]\n"
         "                   [--user NAME --password TEXT] [--from ADDRESS] [--name TEXT]\n"
         "\n"
         "Sends \"Test Message\" from the sender's address to itself through the SMTP\n"
         "server, as the mail test of the preferences does, and prints each step\n"
         "(\"Logining: Success\", \"Sending sender info: \" ...), ending with \"Test\n"
         "finished successfully.\" or \"Test failed.\". A server offering STARTTLS is\n"
         "spoken to over TLS; port 465 speaks TLS from the start.\n"
         "\n"
         "Options (each defaults to the data folder's mail settings):\n"
         "  --server HOST[:PORT]  the SMTP server (Mail.Server)\n"
         "  --user NAME           the account (Mail.Account; logs in with --password)\n"
         "  --password TEXT       its password (Mail.Password)\n"
         "  --from ADDRESS        the sender's address, also the recipient (Mail.Address)\n"
         "  --name TEXT           the sender's display name (Mail.Username)\n"
         "  --data-dir DIR        the data folder\n"
         "\n"
         "Exit status: 0 when the test passed, 1 when it failed, 2 for a wrong command\n"
         "line.\n";
}

int MailTestCommand(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, WithCommonOptions({{"--server", "HOST[:PORT]"},
                                                                {"--user", "NAME"},
                                                                {"--password", "TEXT"},
                                                                {"--from", "ADDRESS"},
                                                                {"--name", "TEXT"}}));
  if (parsed.Has("--help")) {
    context.Out << MailTestHelp();
    return kExitOk;
  }
  ExpectNoArguments(parsed);
  TSettings folderSettings;
  LoadFolderSettings(UseDataFolder(context, parsed), folderSettings);
  const TPreferences preferences = folderSettings.GetPreferences();
  TMailTestSettings settings{.Server = parsed.Value("--server").value_or(preferences.Server),
                             .ServerAuth = preferences.ServerAuth,
                             .Account = preferences.Account,
                             .Password = preferences.Password,
                             .Username = parsed.Value("--name").value_or(preferences.Username),
                             .Address = parsed.Value("--from").value_or(preferences.Address)};
  if (parsed.Has("--user") || parsed.Has("--password")) {
    settings.ServerAuth = true;
    settings.Account = parsed.Value("--user").value_or(settings.Account);
    settings.Password = parsed.Value("--password").value_or(settings.Password);
  }
  if (settings.Server.empty())
    throw EUsageError(
        "no SMTP server: give --server or set Mail.Server "
        "(vantrel-cli settings set Mail.Server HOST)");
  if (settings.Address.empty())
    throw EUsageError("no sender address: give --from or set Mail.Address");
  TStreamTestOutput output(context.Out);
  const bool passed = RunMailTest(settings, output);
  output.Finish();
  return passed ? kExitOk : kExitFailed;
}

}  // namespace vantrel
