#pragma once

#include <cstdint>
#include <string>

#include "core/settings.h"
#include "core/watch_types.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "storage/history_record.h"

namespace vantrel {

class TWatchList;
class TxxFileSystem;

// One monitored site or host: what to check and how, when to raise and reset
// the alarm, the alarm actions, and the statistics its checks produce.
//
// An item either belongs to a TWatchList (which creates it, gives it its Id and
// shows it in a row) or stands alone, as the scratch copy the properties dialog
// edits. The fields with side effects (Status, Active, Frequency, LastChecked,
// NextRun, Id) are read through getters and changed through their setters;
// the rest are plain fields.
class TWatchItem {
 public:
  // A free-standing item with the defaults of a new item and Id -1; `clock`
  // gives its creation moment and the moment activation makes it due.
  explicit TWatchItem(const TClock& clock = SystemClock());
  ~TWatchItem() = default;

  // Items are not copied: a copy would carry the owner and the identity along.
  // Assign copies what a copy should.
  TWatchItem(const TWatchItem&) = delete;
  TWatchItem& operator=(const TWatchItem&) = delete;

  // Copies the settings and identity of `source`: Created, Name, Url, the
  // frequency (through SetFrequency), the alarm and check settings, the
  // time-outs, the search, the actions, Active (through SetActive) and the four
  // web-service fields. Not Id, Status, the statistics or the schedule.
  void Assign(const TWatchItem& source);

  // The only way Status changes. In a list: a change to Down is ignored while
  // the list suppresses alarms; the row's state image follows; Up -> Down
  // raises the list's OnAlarm and Down -> Up its OnAlarmReset.
  void SetStatus(TWatchStatus status);
  // Activating makes the item Up and due at once; suspending makes it
  // Suspended (silently ending an alarm).
  void SetActive(bool active);
  // After the item was checked once, the next run moves to match.
  void SetFrequency(std::int32_t seconds);
  // Also schedules the next run one frequency later (ScheduledFrequency).
  void SetLastChecked(TDateTime value);
  void SetNextRun(TDateTime value);
  // Set by the scheduler while a check of the item is under way: the item is
  // not due meanwhile, whatever its NextRun, so that a server slower than the
  // frequency holds one check at a time. When the check ends it is due again
  // at its NextRun, at once when that has passed.
  void SetChecking(bool checking);
  // Sets the identifier; in a list, keeps the list's lookup by Id right.
  void SetId(std::int32_t id);

  // Falls back to the last recorded check (the later of LastSuccess and
  // LastFailure), for a check that was abandoned or whose result was dropped.
  void RestoreLastChecked();
  // Ends an alarm: Down -> Up.
  void ResetAlarm();
  // An active item goes Up first (raising the reset event when it was Down),
  // then every statistic returns to "never checked". The schedule stays.
  void ClearStats();

  // Applies one recorded check result to the statistics and, when the item is
  // active, to the status. A record of another item is ignored.
  void ProcessResult(const THistoryRecord& record);

  // The defaults an item arriving from the web service gets.
  void ApplyServiceDefaults(const TPreferences& preferences);
  // Takes the identity, state, name, URL, method, search text and (when given)
  // frequency of a web-service record.
  void AssignFromServiceRecord(const TServerItem& record);

  // The item's record of the watch-list file: ReadFrom reads the fields the
  // file's version holds (the others keep their values), WriteTo writes all.
  void ReadFrom(TxxFileSystem& file);
  void WriteTo(TxxFileSystem& file) const;

  // The owning list; null for a free-standing item.
  TWatchList* List() const { return List_; }

  TWatchStatus Status() const { return Status_; }
  std::int32_t Id() const { return Id_; }
  bool Active() const { return Active_; }
  std::int32_t Frequency() const { return Frequency_; }
  // The frequency the schedule follows: Frequency, but at least
  // kMinFrequency. A hand-made file may hold 0 or less, which would make the
  // item due again the moment its check starts.
  std::int32_t ScheduledFrequency() const;
  bool Checking() const { return Checking_; }
  TDateTime LastChecked() const { return LastChecked_; }
  TDateTime NextRun() const { return NextRun_; }
  // `Name`, or "Username_Name" for an item owned by a web-service user.
  std::string DisplayName() const;

  // Settings (stored in the watch-list file).
  TDateTime Created = 0;
  std::string Name;
  std::string Url;  // URL, host name or IP address
  bool AlarmTrigger = false;
  std::int32_t TriggerCount = 1;  // consecutive failures that raise the alarm
  bool AlarmReset = false;
  std::int32_t ResetCount = 1;   // consecutive successes that reset it
  bool CheckExtra = false;       // retry a failure before it counts
  bool CheckConnection = false;  // a lost connection raises no alarm
  TCheckType CheckType = TCheckType::Ping;
  std::int32_t PingTimeout = 3000;      // ms
  std::int32_t DownloadTimeout = 8000;  // ms
  std::string SearchText;               // empty: any page with status 200 succeeds
  bool CaseSensitive = false;
  bool LogFailedPages = false;
  std::int32_t ServiceTimeout = 4000;  // ms, SMTP, POP3 and FTP
  bool PopupAction = true;
  std::string PopupText;
  bool EmailAction = false;
  std::string EmailAddress;  // recipients separated by ";"
  TEmailType EmailType = TEmailType::Page;
  std::int32_t ReportId = -1;  // -1: none
  bool CommandAction = false;
  std::string Command;
  bool SoundAction = false;
  std::string SoundFile;
  bool SoundRepeat = false;
  std::int32_t ServiceId = 0;  // 0: not known to the web service
  std::string Username;        // empty for items created here
  std::string UserEmail;
  std::string UserFullName;

  // Statistics, rebuilt from the response history at start.
  // The page (or greeting) of the last recorded check, kept only where an
  // alarm mail sends it (ApplyCheckResult); LastResponseCut when it holds only
  // the page's beginning.
  std::string LastResponseText;
  bool LastResponseCut = false;
  std::int32_t LastResponseCode = -1;  // -1: no check recorded
  std::int32_t LastResponseTime = 0;   // ms; 0 or below: none
  std::int32_t AvgResponseTime = 0;    // ms
  std::int32_t TimesChecked = 0;
  std::int32_t TimesFailed = 0;
  TDateTime LastFailure = 0;  // 0: none
  TDateTime LastSuccess = 0;  // 0: none
  std::int32_t ConsecutiveFailures = 0;
  std::int32_t ConsecutiveSuccesses = 0;

  // The additional attempts of the current failure.
  std::int32_t ExtraCount = 0;  // 0 to 2
  TDateTime FirstFailTime = 0;  // start of the first attempt of the series

 private:
  friend class TWatchList;
  // An item of `list`, with Id 0 until the list gives it one.
  explicit TWatchItem(TWatchList& list);
  // Every change of NextRun, Active or Checking goes through here, so that
  // the list's index of due items stays in step.
  void MoveSchedule(TDateTime nextRun, bool active, bool checking);
  // Whether the list's due index holds the item.
  bool MayFallDue() const { return Active_ && !Checking_; }

  TWatchList* List_ = nullptr;
  std::uint64_t ListOrder_ = 0;  // rank in the list's collection order
  const TClock* Clock_;
  TWatchStatus Status_ = TWatchStatus::Up;
  std::int32_t Id_ = -1;
  bool Active_ = true;
  bool Checking_ = false;
  std::int32_t Frequency_ = 60;  // seconds
  TDateTime LastChecked_ = 0;    // 0: never
  TDateTime NextRun_ = 0;
};

}  // namespace vantrel
