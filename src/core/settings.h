#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

#include "net/internet_options.h"
#include "platform/file_ops.h"
#include "storage/log_file.h"

namespace vantrel {

class TIniFile;

// The item fields that the item list, the property view and the alarm-text
// macros show, in their standard order.
inline constexpr int kFieldCount = 21;
inline constexpr std::array<const char*, kFieldCount> kFieldCaptions = {"Status",
                                                                        "Name",
                                                                        "URL/IP",
                                                                        "Checking Type",
                                                                        "Check Frequency",
                                                                        "Active Status",
                                                                        "Username",
                                                                        "User Full Name",
                                                                        "User Email",
                                                                        "Last Response Text",
                                                                        "Last Response Time",
                                                                        "Avg Response Time",
                                                                        "Created",
                                                                        "Times Checked",
                                                                        "Times Failed",
                                                                        "Failure (%)",
                                                                        "Next Run",
                                                                        "Last Failure",
                                                                        "Last Success",
                                                                        "Consecutive Failures",
                                                                        "Consecutive Successes"};

// Field order and visibility: an entry's absolute value minus 1 is an index
// into kFieldCaptions; positive entries are shown, negative ones hidden.
using TFieldList = std::array<std::int32_t, kFieldCount>;

// Shows every field in standard order.
constexpr TFieldList DefaultFieldList() {
  TFieldList fields{};
  for (int i = 0; i < kFieldCount; ++i)
    fields[i] = i + 1;
  return fields;
}

// True when the entries name every field exactly once.
bool IsValidFieldList(const TFieldList& fields);

// The user's preferences. The member values are the defaults. Texts marked
// "short" hold at most kShortTextLength characters; longer ones are cut on load.
struct TPreferences {
  enum TLogType : std::uint8_t {
    NoLog = TLogFile::NoLog,
    UnlimitedLog = TLogFile::UnlimitedLog,
    ResetLog = TLogFile::ResetLog
  };

  bool IconInSystray = true;
  bool MinimizeToSystray = true;
  bool StartMinimized = false;
  bool Autosave = true;
  std::int32_t AutosaveFrequency = 15;  // minutes
  std::uint8_t LogType = NoLog;
  std::string Username;      // short: sender's display name for alarm e-mails
  std::string Organization;  // short
  std::string Address;       // short: sender's e-mail address
  std::string Server;        // short: SMTP server
  bool ServerAuth = false;
  std::string Account;   // short
  std::string Password;  // short
  TFieldList Fields = DefaultFieldList();
  bool ItemAutosize = true;
  bool ValueAutosize = true;
  bool ServiceStatus = false;
  std::string ServiceUrl;                // short
  std::string ServicePassword;           // short
  std::int32_t ServiceFrequency = 3600;  // seconds
  std::int32_t DefaultFrequency = 1800;  // seconds
  std::int32_t DefaultTriggerCount = 2;
  std::int32_t DefaultResetCount = 1;
  bool DefaultCheckExtra = true;
  bool DefaultCheckConnection = false;
  std::string Subject = "Alarm %Status% - %Name% (%URL%) %TimeStamp%";  // short
  std::string SMS = "%Name% is %Status%";                               // short
  std::string Header;                                                   // unlimited
  std::string Signature;                                                // unlimited

  bool operator==(const TPreferences&) const = default;
};

inline constexpr std::size_t kShortTextLength = 255;

// The main window's state as the settings file keeps it. The desktop window
// implements TWindowStateStore; without a window, TKeptWindowState keeps the
// values as read so that a save writes them back unchanged.
struct TWindowState {
  bool Maximized = false;
  std::int32_t Top = 0, Left = 0, Width = 0, Height = 0;
  bool ToolBarVisible = true;
  bool StatusBarVisible = true;
  bool TableView = false;
  std::int32_t Separator = 200;  // width of the item list
  std::int32_t ItemTabstop = 0;
  std::int32_t PropertyTabstop = 0;
  std::int32_t ValueTabstop = 0;

  bool operator==(const TWindowState&) const = default;
};

class TWindowStateStore {
 public:
  virtual ~TWindowStateStore() = default;
  virtual TWindowState GetWindowState() const = 0;
  virtual void SetWindowState(const TWindowState& state) = 0;
};

class TKeptWindowState : public TWindowStateStore {
 public:
  TWindowState GetWindowState() const override { return State_; }
  void SetWindowState(const TWindowState& state) override { State_ = state; }

 private:
  TWindowState State_;
};

// Fills `preferences` with the defaults. The mail identity has no system
// source here, so it stays empty.
void SetDefaultPreferences(TPreferences& preferences);
// Clears the sender identity and SMTP account (the mail page's "Default").
void SetDefaultMailIdentity(TPreferences& preferences);
void SetDefaultInternetOptions(TInternetOptions& options);

// The preferences and the Internet options of one monitor or one command:
// owned by the controller (or the command) and handed to whoever reads them.
// The records are read as copies and replaced whole; a worker thread takes its
// copy in one call, so it never sees half a replacement.
class TSettings {
 public:
  // The built-in values.
  TSettings();
  TSettings(const TSettings&) = delete;
  TSettings& operator=(const TSettings&) = delete;

  TPreferences GetPreferences() const;
  void SetPreferences(const TPreferences& preferences);
  TInternetOptions GetInternetOptions() const;
  void SetInternetOptions(const TInternetOptions& options);

  // Reads the window state, the preferences and the Internet options from the
  // INI file, each key with the current value as its default. A missing file
  // leaves everything as it is. Throws EInOutError when the file exists but
  // cannot be read.
  void Load(const std::filesystem::path& iniFile, TWindowStateStore& window);
  // The same from an INI text already read: each key it has replaces the
  // current value, with the checks of loading (ranges, lengths).
  void Load(const TIniFile& ini, TWindowStateStore& window);
  // Every key of the three groups, as Save writes them, into `ini`.
  void WriteTo(TIniFile& ini, const TWindowStateStore& window) const;

  // Writes every key of the three groups; keys the program does not know stay
  // in the file. The file is replaced atomically and readable by its owner
  // only, because it holds passwords. Throws EInOutError; the old file is
  // then unchanged.
  void Save(const std::filesystem::path& iniFile, const TWindowStateStore& window,
            TFileOps& ops = PosixFileOps()) const;

 private:
  mutable std::mutex Lock_;
  TPreferences Preferences_;
  TInternetOptions InternetOptions_;
};

}  // namespace vantrel
