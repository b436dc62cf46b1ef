#include "core/settings.h"

#include <sys/stat.h>

#include <cstdlib>
#include <limits>

#include "storage/ini_file.h"
#include "text/codings.h"

namespace vantrel {

namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::string ReadShort(const TIniFile& ini, const char* section, const char* key,
                      const std::string& current) {
  std::string value = ini.ReadString(section, key, current);
  if (value.size() > kShortTextLength)
    value.resize(kShortTextLength);
  return value;
}

std::string ReadBase64(const TIniFile& ini, const char* section, const char* key,
                       const std::string& current) {
  if (!ini.ValueExists(section, key))
    return current;
  return DecodeBase64(ini.ReadString(section, key, ""));
}

// A value outside what the program can act on (a period of 0 would make a timer
// fire without pause) keeps the current one, as text that is no number does.
std::int32_t ReadRanged(const TIniFile& ini, const char* section, const char* key,
                        std::int32_t current, std::int32_t low, std::int32_t high) {
  const std::int32_t value = ini.ReadInteger(section, key, current);
  return value < low || value > high ? current : value;
}

void LoadWindowState(const TIniFile& ini, TWindowStateStore& window) {
  TWindowState state = window.GetWindowState();
  state.Maximized = ini.ReadBool("Window", "State", false);
  if (!state.Maximized) {
    state.Top = ini.ReadInteger("Window", "Top", state.Top);
    state.Left = ini.ReadInteger("Window", "Left", state.Left);
    state.Width = ini.ReadInteger("Window", "Width", state.Width);
    state.Height = ini.ReadInteger("Window", "Height", state.Height);
  }
  state.ToolBarVisible = ini.ReadBool("ToolBar", "Visible", state.ToolBarVisible);
  state.StatusBarVisible = ini.ReadBool("StatusBar", "Visible", state.StatusBarVisible);
  state.TableView = ini.ReadBool("Tabstops", "TableView", false);
  state.Separator = ini.ReadInteger("Tabstops", "Separator", state.Separator);
  if (state.Separator == 0)
    state.Separator = 200;
  if (!state.TableView) {
    state.ItemTabstop = ini.ReadInteger("Tabstops", "ItemTabstop", state.ItemTabstop);
  }
  state.PropertyTabstop = ini.ReadInteger("Tabstops", "PropertyTabstop", state.PropertyTabstop);
  state.ValueTabstop = ini.ReadInteger("Tabstops", "ValueTabstop", state.ValueTabstop);
  window.SetWindowState(state);
}

TPreferences LoadPreferences(const TIniFile& ini, TPreferences p) {
  p.IconInSystray = ini.ReadBool("Preferences", "IconInSystray", p.IconInSystray);
  p.MinimizeToSystray = ini.ReadBool("Preferences", "MinimizeToSystray", p.MinimizeToSystray);
  p.StartMinimized = ini.ReadBool("Preferences", "StartMinimized", p.StartMinimized);
  p.Autosave = ini.ReadBool("Preferences", "Autosave", p.Autosave);
  // The auto-save period becomes a millisecond timer interval.
  p.AutosaveFrequency = ReadRanged(ini, "Preferences", "AutosaveFrequency", p.AutosaveFrequency, 1,
                                   kInt32Max / 60000);
  p.LogType = static_cast<std::uint8_t>(ReadRanged(ini, "Preferences", "LogType", p.LogType,
                                                   TPreferences::NoLog, TPreferences::ResetLog));

  p.Username = ReadShort(ini, "Mail", "Username", p.Username);
  p.Organization = ReadShort(ini, "Mail", "Organization", p.Organization);
  p.Address = ReadShort(ini, "Mail", "Address", p.Address);
  p.Server = ReadShort(ini, "Mail", "Server", p.Server);
  p.ServerAuth = ini.ReadBool("Mail", "ServerAuth", p.ServerAuth);
  p.Account = ReadShort(ini, "Mail", "Account", p.Account);
  p.Password = ReadShort(ini, "Mail", "Password", p.Password);

  p.Subject = ReadBase64(ini, "Message", "Subject", p.Subject);
  if (p.Subject.size() > kShortTextLength)
    p.Subject.resize(kShortTextLength);
  p.SMS = ReadBase64(ini, "Message", "SMS", p.SMS);
  if (p.SMS.size() > kShortTextLength)
    p.SMS.resize(kShortTextLength);
  p.Header = ReadBase64(ini, "Message", "Header", p.Header);
  p.Signature = ReadBase64(ini, "Message", "Signature", p.Signature);

  p.ServiceStatus = ini.ReadBool("Service", "ServiceStatus", p.ServiceStatus);
  p.ServiceUrl = ReadShort(ini, "Service", "ServiceUrl", p.ServiceUrl);
  p.ServicePassword = ReadShort(ini, "Service", "ServicePassword", p.ServicePassword);
  p.ServiceFrequency =
      ReadRanged(ini, "Service", "ServiceFrequency", p.ServiceFrequency, 1, kInt32Max / 1000);
  p.DefaultFrequency =
      ReadRanged(ini, "Service", "DefaultFrequency", p.DefaultFrequency, 1, kInt32Max / 1000);
  p.DefaultTriggerCount =
      ReadRanged(ini, "Service", "DefaultTriggerCount", p.DefaultTriggerCount, 1, kInt32Max);
  p.DefaultResetCount =
      ReadRanged(ini, "Service", "DefaultResetCount", p.DefaultResetCount, 1, kInt32Max);
  p.DefaultCheckExtra = ini.ReadBool("Service", "DefaultCheckExtra", p.DefaultCheckExtra);
  p.DefaultCheckConnection =
      ini.ReadBool("Service", "DefaultCheckConnection", p.DefaultCheckConnection);

  p.ItemAutosize = ini.ReadBool("Tabstops", "ItemAutosize", p.ItemAutosize);
  p.ValueAutosize = ini.ReadBool("Tabstops", "ValueAutosize", p.ValueAutosize);

  // The views index their columns by these entries; a list that does not name
  // every field once would show a field twice or reach past the table.
  TFieldList fields = p.Fields;
  for (int i = 0; i < kFieldCount; ++i) {
    fields[i] = ini.ReadInteger("Fields", std::to_string(i), fields[i]);
  }
  if (IsValidFieldList(fields))
    p.Fields = fields;
  return p;
}

TInternetOptions LoadInternetOptions(const TIniFile& ini, TInternetOptions o) {
  o.ActiveStatus = ini.ReadBool("Proxy", "ActiveStatus", o.ActiveStatus);
  o.Address = ReadShort(ini, "Proxy", "Address", o.Address);
  o.Port = ReadRanged(ini, "Proxy", "Port", o.Port, 0, 65535);
  o.Username = ReadShort(ini, "Proxy", "Username", o.Username);
  o.Password = ReadShort(ini, "Proxy", "Password", o.Password);
  o.Exceptions = ini.ReadString("Proxy", "Exceptions", o.Exceptions);
  o.PingStatus = ini.ReadBool("Internet", "PingStatus", o.PingStatus);
  o.Servers = ini.ReadString("Internet", "Servers", o.Servers);
  o.Method = ReadRanged(ini, "Internet", "Method", o.Method, TInternetOptions::ByPing,
                        TInternetOptions::ByDownload);
  return o;
}

void SaveAll(TIniFile& ini, const TWindowState& w, const TPreferences& p,
             const TInternetOptions& o) {
  ini.WriteBool("Window", "State", w.Maximized);
  if (!w.Maximized) {
    ini.WriteInteger("Window", "Top", w.Top);
    ini.WriteInteger("Window", "Left", w.Left);
    ini.WriteInteger("Window", "Width", w.Width);
    ini.WriteInteger("Window", "Height", w.Height);
  }
  ini.WriteBool("ToolBar", "Visible", w.ToolBarVisible);
  ini.WriteBool("StatusBar", "Visible", w.StatusBarVisible);

  ini.WriteBool("Preferences", "IconInSystray", p.IconInSystray);
  ini.WriteBool("Preferences", "MinimizeToSystray", p.MinimizeToSystray);
  ini.WriteBool("Preferences", "StartMinimized", p.StartMinimized);
  ini.WriteBool("Preferences", "Autosave", p.Autosave);
  ini.WriteInteger("Preferences", "AutosaveFrequency", p.AutosaveFrequency);
  ini.WriteInteger("Preferences", "LogType", p.LogType);

  ini.WriteString("Mail", "Username", p.Username);
  ini.WriteString("Mail", "Organization", p.Organization);
  ini.WriteString("Mail", "Address", p.Address);
  ini.WriteString("Mail", "Server", p.Server);
  ini.WriteBool("Mail", "ServerAuth", p.ServerAuth);
  ini.WriteString("Mail", "Account", p.Account);
  ini.WriteString("Mail", "Password", p.Password);

  ini.WriteString("Message", "Subject", EncodeBase64(p.Subject));
  ini.WriteString("Message", "SMS", EncodeBase64(p.SMS));
  ini.WriteString("Message", "Header", EncodeBase64(p.Header));
  ini.WriteString("Message", "Signature", EncodeBase64(p.Signature));

  ini.WriteBool("Service", "ServiceStatus", p.ServiceStatus);
  ini.WriteString("Service", "ServiceUrl", p.ServiceUrl);
  ini.WriteString("Service", "ServicePassword", p.ServicePassword);
  ini.WriteInteger("Service", "ServiceFrequency", p.ServiceFrequency);
  ini.WriteInteger("Service", "DefaultFrequency", p.DefaultFrequency);
  ini.WriteInteger("Service", "DefaultTriggerCount", p.DefaultTriggerCount);
  ini.WriteInteger("Service", "DefaultResetCount", p.DefaultResetCount);
  ini.WriteBool("Service", "DefaultCheckExtra", p.DefaultCheckExtra);
  ini.WriteBool("Service", "DefaultCheckConnection", p.DefaultCheckConnection);

  ini.WriteBool("Tabstops", "TableView", w.TableView);
  ini.WriteInteger("Tabstops", "Separator", w.Separator);
  if (!w.TableView)
    ini.WriteInteger("Tabstops", "ItemTabstop", w.ItemTabstop);
  ini.WriteBool("Tabstops", "ItemAutosize", p.ItemAutosize);
  ini.WriteInteger("Tabstops", "PropertyTabstop", w.PropertyTabstop);
  ini.WriteInteger("Tabstops", "ValueTabstop", w.ValueTabstop);
  ini.WriteBool("Tabstops", "ValueAutosize", p.ValueAutosize);

  for (int i = 0; i < kFieldCount; ++i) {
    ini.WriteInteger("Fields", std::to_string(i), p.Fields[i]);
  }

  ini.WriteBool("Proxy", "ActiveStatus", o.ActiveStatus);
  ini.WriteString("Proxy", "Address", o.Address);
  ini.WriteInteger("Proxy", "Port", o.Port);
  ini.WriteString("Proxy", "Username", o.Username);
  ini.WriteString("Proxy", "Password", o.Password);
  ini.WriteString("Proxy", "Exceptions", o.Exceptions);
  ini.WriteBool("Internet", "PingStatus", o.PingStatus);
  ini.WriteString("Internet", "Servers", o.Servers);
  ini.WriteInteger("Internet", "Method", o.Method);
}

}  // namespace

bool IsValidFieldList(const TFieldList& fields) {
  std::array<bool, kFieldCount> seen{};
  for (std::int32_t entry : fields) {
    const std::int32_t index = std::abs(static_cast<std::int64_t>(entry)) - 1;
    if (index < 0 || index >= kFieldCount || seen[index])
      return false;
    seen[index] = true;
  }
  return true;
}

void SetDefaultPreferences(TPreferences& preferences) {
  preferences = TPreferences{};
  SetDefaultMailIdentity(preferences);
}

void SetDefaultMailIdentity(TPreferences& p) {
  p.Username.clear();
  p.Organization.clear();
  p.Address.clear();
  p.Server.clear();
  p.ServerAuth = false;
  p.Account.clear();
  p.Password.clear();
}

void SetDefaultInternetOptions(TInternetOptions& options) {
  options = TInternetOptions{};
}

TSettings::TSettings() {
  SetDefaultPreferences(Preferences_);
  SetDefaultInternetOptions(InternetOptions_);
}

TPreferences TSettings::GetPreferences() const {
  std::lock_guard lock(Lock_);
  return Preferences_;
}

void TSettings::SetPreferences(const TPreferences& preferences) {
  std::lock_guard lock(Lock_);
  Preferences_ = preferences;
}

TInternetOptions TSettings::GetInternetOptions() const {
  std::lock_guard lock(Lock_);
  return InternetOptions_;
}

void TSettings::SetInternetOptions(const TInternetOptions& options) {
  std::lock_guard lock(Lock_);
  InternetOptions_ = options;
}

void TSettings::Load(const std::filesystem::path& iniFile, TWindowStateStore& window) {
  Load(TIniFile::Load(iniFile), window);
}

void TSettings::Load(const TIniFile& ini, TWindowStateStore& window) {
  LoadWindowState(ini, window);
  SetPreferences(LoadPreferences(ini, GetPreferences()));
  SetInternetOptions(LoadInternetOptions(ini, GetInternetOptions()));
}

void TSettings::Save(const std::filesystem::path& iniFile, const TWindowStateStore& window,
                     TFileOps& ops) const {
  TIniFile ini = TIniFile::Load(iniFile);
  WriteTo(ini, window);
  ini.Save(TFilePermissions::Exactly(S_IRUSR | S_IWUSR), ops);
}

void TSettings::WriteTo(TIniFile& ini, const TWindowStateStore& window) const {
  SaveAll(ini, window.GetWindowState(), GetPreferences(), GetInternetOptions());
}

}  // namespace vantrel
