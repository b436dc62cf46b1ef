#include "cli/settings_command.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "app/data_files.h"
#include "cli/folder_edit.h"
#include "core/settings.h"
#include "core/watch_list.h"
#include "storage/ini_file.h"
#include "text/codings.h"
#include "text/escape.h"

namespace vantrel {

namespace {

enum class TKind { Bool, Integer, Text, Message, Secret, Digest };

// The keys a user may read and change here, as the settings file names them.
// The window's state and the list's columns belong to the desktop program.
struct TKey {
  const char* Section;
  const char* Name;
  TKind Kind;
};

constexpr std::array<TKey, 35> kKeys = {{
    {"Preferences", "IconInSystray", TKind::Bool},
    {"Preferences", "MinimizeToSystray", TKind::Bool},
    {"Preferences", "StartMinimized", TKind::Bool},
    {"Preferences", "Autosave", TKind::Bool},
    {"Preferences", "AutosaveFrequency", TKind::Integer},
    {"Preferences", "LogType", TKind::Integer},
    {"Mail", "Username", TKind::Text},
    {"Mail", "Organization", TKind::Text},
    {"Mail", "Address", TKind::Text},
    {"Mail", "Server", TKind::Text},
    {"Mail", "ServerAuth", TKind::Bool},
    {"Mail", "Account", TKind::Text},
    {"Mail", "Password", TKind::Secret},
    {"Message", "Subject", TKind::Message},
    {"Message", "SMS", TKind::Message},
    {"Message", "Header", TKind::Message},
    {"Message", "Signature", TKind::Message},
    {"Service", "ServiceStatus", TKind::Bool},
    {"Service", "ServiceUrl", TKind::Text},
    {"Service", "ServicePassword", TKind::Digest},
    {"Service", "ServiceFrequency", TKind::Integer},
    {"Service", "DefaultFrequency", TKind::Integer},
    {"Service", "DefaultTriggerCount", TKind::Integer},
    {"Service", "DefaultResetCount", TKind::Integer},
    {"Service", "DefaultCheckExtra", TKind::Bool},
    {"Service", "DefaultCheckConnection", TKind::Bool},
    {"Proxy", "ActiveStatus", TKind::Bool},
    {"Proxy", "Address", TKind::Text},
    {"Proxy", "Port", TKind::Integer},
    {"Proxy", "Username", TKind::Text},
    {"Proxy", "Password", TKind::Secret},
    {"Proxy", "Exceptions", TKind::Text},
    {"Internet", "PingStatus", TKind::Bool},
    {"Internet", "Servers", TKind::Text},
    {"Internet", "Method", TKind::Integer},
}};

constexpr TKey kServiceStatus = {"Service", "ServiceStatus", TKind::Bool};

std::string FullName(const TKey& key) {
  return std::string(key.Section) + "." + key.Name;
}

// "Mail.Server", or "Server" when only one section has that key.
TKey FindKey(const std::string& word) {
  std::vector<TKey> found;
  for (const TKey& key : kKeys) {
    if (word == FullName(key) || word == key.Name)
      found.push_back(key);
  }
  if (found.size() == 1)
    return found.front();
  if (found.empty())
    throw EUsageError("unknown setting '" + word + "' ('vantrel-cli settings list' names them)");
  std::string names;
  for (const TKey& key : found)
    names += (names.empty() ? "" : ", ") + FullName(key);
  throw EUsageError("'" + word + "' is in several sections: " + names);
}

// What the settings store holds for `key`, as the file would hold it.
std::string StoredValue(const TSettings& settings, const TKey& key) {
  TIniFile ini("");
  const TKeptWindowState window;
  settings.WriteTo(ini, window);
  const std::string value = ini.ReadString(key.Section, key.Name, "");
  return key.Kind == TKind::Message ? DecodeBase64(value) : value;
}

std::string Shown(const TSettings& settings, const TKey& key) {
  const std::string value = StoredValue(settings, key);
  if (key.Kind == TKind::Secret || key.Kind == TKind::Digest)
    return value.empty() ? "(not set)" : "(set)";
  if (key.Kind == TKind::Bool)
    return value == "1" ? "on" : "off";
  return EscapeControlsKeepingLines(value);
}

// `text` as the file stores a value of `key`; throws for what cannot be one.
std::string Encoded(const TKey& key, const std::string& text) {
  switch (key.Kind) {
    case TKind::Bool: {
      static constexpr std::array<const char*, 4> kOn = {"1", "on", "true", "yes"};
      static constexpr std::array<const char*, 4> kOff = {"0", "off", "false", "no"};
      if (std::find(kOn.begin(), kOn.end(), text) != kOn.end())
        return "1";
      if (std::find(kOff.begin(), kOff.end(), text) != kOff.end())
        return "0";
      throw EUsageError(FullName(key) + ": '" + text + "' is not on or off");
    }
    case TKind::Integer:
      return std::to_string(ParseNumber(FullName(key), text,
                                        std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::int32_t>::max()));
    case TKind::Message:
      return EncodeBase64(text);
    case TKind::Digest:
      // The service is sent the password's digest; that is all that is kept.
      return text.empty() ? text : MD5Hex(text);
    default:
      // One line of text: a line break would end the value in the file.
      if (HasControls(text))
        throw EUsageError(FullName(key) + ": the value holds control characters");
      return text;
  }
}

bool HelpAsked(const TCommandContext& context, const TParsedArgs& args) {
  if (!args.Has("--help"))
    return false;
  context.Out << SettingsHelp();
  return true;
}

int List(const TCommandContext& context, const TParsedArgs& args) {
  const std::filesystem::path folder = UseDataFolder(context, args);
  TSettings settings;
  LoadFolderSettings(folder, settings);
  for (const TKey& key : kKeys)
    context.Out << FullName(key) << " = " << Shown(settings, key) << '\n';
  return kExitOk;
}

int Get(const TCommandContext& context, const TParsedArgs& args) {
  if (args.Positionals.size() != 2)
    throw EUsageError("settings get takes one KEY");
  const TKey key = FindKey(args.Positionals[1]);
  TSettings settings;
  LoadFolderSettings(UseDataFolder(context, args), settings);
  context.Out << Shown(settings, key) << '\n';
  return kExitOk;
}

int Set(const TCommandContext& context, const TParsedArgs& args) {
  if (args.Positionals.size() != 3)
    throw EUsageError("settings set takes a KEY and a VALUE");
  const TKey key = FindKey(args.Positionals[1]);
  const std::string& text = args.Positionals[2];
  const std::string encoded = Encoded(key, text);

  // Held like an edit of the list: a running monitor saves its own settings
  // when it stops and would undo the change.
  TFolderEdit edit(context, args, "settings set");
  const std::filesystem::path file = DataFilesIn(UseDataFolder(context, args)).Settings;
  TSettings settings;
  TKeptWindowState window;
  settings.Load(file, window);
  const bool serviceWasOn = StoredValue(settings, kServiceStatus) == "1";
  // Read through the store's own loading, so its checks apply.
  TIniFile patch("");
  patch.WriteString(key.Section, key.Name, encoded);
  TKeptWindowState ignored;
  settings.Load(patch, ignored);
  const std::string stored = StoredValue(settings, key);
  if (stored != (key.Kind == TKind::Message ? text : encoded))
    throw std::runtime_error(
        FullName(key) + ": the value is refused (" +
        (key.Kind == TKind::Integer ? "out of range" : "longer than 255 characters") + ")");
  settings.Save(file, window);
  context.Out << FullName(key) << " = " << Shown(settings, key) << std::endl;
  // Switching the service off also stops checking the items it brought.
  if (serviceWasOn && StoredValue(settings, kServiceStatus) == "0") {
    edit.List().SuspendServiceItems();
    edit.Files().Save();
    context.Out << "The web service's items are suspended." << std::endl;
  }
  return kExitOk;
}

}  // namespace

std::string SettingsHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] settings list\n"
         "       vantrel-cli [--data-dir DIR] settings get KEY\n"
         "       vantrel-cli [--data-dir DIR] settings set KEY VALUE\n"
         "\n"
         "Reads and changes the preferences and Internet options of the data folder's\n"
         "settings file (vantrel.ini). KEY is Section.Name as 'settings list' shows it\n"
         "(Mail.Server, Message.Subject ...), or the name alone where only one section\n"
         "has it. On/off settings take on or off; numbers are checked as the program\n"
         "checks them when it loads the file; Message texts may hold line breaks.\n"
         "Passwords are stored as the program stores them and never printed.\n"
         "'settings set' refuses while a monitor runs on the data folder (exit\n"
         "status 3): the monitor saves its own settings when it stops.\n";
}

int SettingsCommand(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, CommonOptions());
  if (HelpAsked(context, parsed))
    return kExitOk;
  if (parsed.Positionals.empty())
    throw EUsageError("needs a command: list, get or set");
  const std::string& command = parsed.Positionals.front();
  if (command == "list") {
    if (parsed.Positionals.size() > 1)
      throw EUsageError("settings list takes no arguments");
    return List(context, parsed);
  }
  if (command == "get")
    return Get(context, parsed);
  if (command == "set")
    return Set(context, parsed);
  throw EUsageError("unknown settings command '" + command + "' (list, get or set)");
}

}  // namespace vantrel
