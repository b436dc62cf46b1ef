#include "core/watch_item.h"

#include <algorithm>

#include "core/item_limits.h"
#include "core/response_codes.h"
#include "core/watch_list.h"

namespace vantrel {

TWatchItem::TWatchItem(const TClock& clock) : Clock_(&clock) {
  Created = Clock_->Now();
  NextRun_ = Created;
}

TWatchItem::TWatchItem(TWatchList& list) : List_(&list), Clock_(&list.Clock()), Id_(0) {
  Created = Clock_->Now();
  NextRun_ = Created;
}

void TWatchItem::Assign(const TWatchItem& source) {
  if (&source == this)
    return;
  Created = source.Created;
  Name = source.Name;
  Url = source.Url;
  SetFrequency(source.Frequency_);
  AlarmTrigger = source.AlarmTrigger;
  TriggerCount = source.TriggerCount;
  AlarmReset = source.AlarmReset;
  ResetCount = source.ResetCount;
  CheckExtra = source.CheckExtra;
  CheckConnection = source.CheckConnection;
  CheckType = source.CheckType;
  PingTimeout = source.PingTimeout;
  DownloadTimeout = source.DownloadTimeout;
  ServiceTimeout = source.ServiceTimeout;
  SearchText = source.SearchText;
  CaseSensitive = source.CaseSensitive;
  LogFailedPages = source.LogFailedPages;
  PopupAction = source.PopupAction;
  PopupText = source.PopupText;
  EmailAction = source.EmailAction;
  EmailAddress = source.EmailAddress;
  EmailType = source.EmailType;
  ReportId = source.ReportId;
  CommandAction = source.CommandAction;
  Command = source.Command;
  SoundAction = source.SoundAction;
  SoundFile = source.SoundFile;
  SoundRepeat = source.SoundRepeat;
  SetActive(source.Active_);
  ServiceId = source.ServiceId;
  Username = source.Username;
  UserEmail = source.UserEmail;
  UserFullName = source.UserFullName;
}

void TWatchItem::SetStatus(TWatchStatus status) {
  if (status == Status_)
    return;
  // The history replay must not raise alarms for failures long past.
  if (List_ != nullptr && List_->SuppressCount() > 0 && status == TWatchStatus::Down)
    return;
  const TWatchStatus oldStatus = Status_;
  Status_ = status;
  if (List_ != nullptr)
    List_->StatusChanged(*this, oldStatus);
}

void TWatchItem::SetActive(bool active) {
  if (active == Active_)
    return;
  MoveSchedule(NextRun_, active, Checking_);
  if (active) {
    SetStatus(TWatchStatus::Up);
    MoveSchedule(Clock_->Now(), true, Checking_);
  } else {
    SetStatus(TWatchStatus::Suspended);
  }
}

void TWatchItem::SetFrequency(std::int32_t seconds) {
  if (seconds == Frequency_)
    return;
  Frequency_ = seconds;
  if (LastChecked_ != 0)
    MoveSchedule(IncSeconds(LastChecked_, ScheduledFrequency()), Active_, Checking_);
}

std::int32_t TWatchItem::ScheduledFrequency() const {
  return std::max(Frequency_, kMinFrequency);
}

void TWatchItem::SetLastChecked(TDateTime value) {
  LastChecked_ = value;
  MoveSchedule(IncSeconds(value, ScheduledFrequency()), Active_, Checking_);
}

void TWatchItem::SetNextRun(TDateTime value) {
  MoveSchedule(value, Active_, Checking_);
}

void TWatchItem::SetChecking(bool checking) {
  if (checking != Checking_)
    MoveSchedule(NextRun_, Active_, checking);
}

void TWatchItem::MoveSchedule(TDateTime nextRun, bool active, bool checking) {
  const TDateTime oldNextRun = NextRun_;
  const bool wasDue = MayFallDue();
  NextRun_ = nextRun;
  Active_ = active;
  Checking_ = checking;
  if (List_ != nullptr)
    List_->ScheduleChanged(*this, oldNextRun, wasDue);
}

void TWatchItem::SetId(std::int32_t id) {
  Id_ = id;
  if (List_ != nullptr)
    List_->IdsChanged();
}

void TWatchItem::RestoreLastChecked() {
  SetLastChecked(LastSuccess > LastFailure ? LastSuccess : LastFailure);
}

void TWatchItem::ResetAlarm() {
  if (Status_ == TWatchStatus::Down)
    SetStatus(TWatchStatus::Up);
}

void TWatchItem::ClearStats() {
  // Before the counters go, so the reset actions still see them.
  if (Active_)
    SetStatus(TWatchStatus::Up);
  LastResponseText.clear();
  LastResponseCut = false;
  LastResponseCode = -1;
  LastResponseTime = 0;
  AvgResponseTime = 0;
  TimesChecked = 0;
  TimesFailed = 0;
  LastFailure = 0;
  LastSuccess = 0;
  ConsecutiveFailures = 0;
  ConsecutiveSuccesses = 0;
}

void TWatchItem::ProcessResult(const THistoryRecord& record) {
  if (static_cast<std::int32_t>(record.ItemId) != Id_)
    return;
  LastResponseCode = record.ResponseCode;
  LastResponseTime = record.ResponseTime;
  if (record.Success) {
    // Failures count in TimesChecked too, weighing the average down.
    AvgResponseTime = RunningAverage(AvgResponseTime, TimesChecked, record.ResponseTime);
  }
  ++TimesChecked;
  SetLastChecked(record.Date);
  if (record.Success) {
    LastSuccess = record.Date;
    ConsecutiveFailures = 0;
    ++ConsecutiveSuccesses;
  } else {
    ++TimesFailed;
    LastFailure = record.Date;
    ++ConsecutiveFailures;
    ConsecutiveSuccesses = 0;
  }
  if (!Active_)
    return;  // a late result of a suspended item counts, but moves no status
  // A failure of the connection rather than the site never raises the alarm.
  const bool connectionLost = CheckConnection && record.ResponseCode == kResponseConnectionFailed;
  if (AlarmTrigger && ConsecutiveFailures >= TriggerCount && !connectionLost)
    SetStatus(TWatchStatus::Down);
  if (AlarmReset && ConsecutiveSuccesses >= ResetCount)
    SetStatus(TWatchStatus::Up);
}

void TWatchItem::ApplyServiceDefaults(const TPreferences& preferences) {
  SetFrequency(preferences.DefaultFrequency);
  AlarmTrigger = true;
  TriggerCount = preferences.DefaultTriggerCount;
  AlarmReset = true;
  ResetCount = preferences.DefaultResetCount;
  CheckExtra = preferences.DefaultCheckExtra;
  CheckConnection = preferences.DefaultCheckConnection;
  CaseSensitive = false;
  LogFailedPages = false;
  PopupAction = false;
}

void TWatchItem::AssignFromServiceRecord(const TServerItem& record) {
  ServiceId = record.ServiceId;
  Username = record.Username;
  UserEmail = record.UserEmail;
  UserFullName = record.UserFullName;
  SetActive(record.State == 0);
  Name = record.Name;
  Url = record.Url;
  CheckType = record.CheckType;
  SearchText = record.SearchText;
  if (record.Frequency > 0)
    SetFrequency(record.Frequency);
}

std::string TWatchItem::DisplayName() const {
  return Username.empty() ? Name : Username + "_" + Name;
}

}  // namespace vantrel
