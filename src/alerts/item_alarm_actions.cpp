#include "alerts/item_alarm_actions.h"

#include "alerts/alarm_templates.h"
#include "core/response_codes.h"
#include "core/settings.h"
#include "core/watch_item.h"
#include "reports/report_document.h"

namespace vantrel {

TCommandEnvironment CommandEnvironment(const TWatchItem& item) {
  return {{"VANTREL_ITEM_ID", std::to_string(item.Id())},
          {"VANTREL_ITEM_NAME", item.DisplayName()},
          {"VANTREL_ITEM_URL", item.Url},
          {"VANTREL_STATUS", StatusText(item.Status())},
          {"VANTREL_RESPONSE_CODE", std::to_string(item.LastResponseCode)},
          {"VANTREL_RESPONSE_TEXT", HttpCodeText(item.LastResponseCode)},
          {"VANTREL_RESPONSE_TIME", std::to_string(item.LastResponseTime)}};
}

void TItemAlarmActions::AlarmTriggered(TWatchItem& item) {
  if (item.PopupAction)
    ShowAlarmPage(item);
  if (!item.Username.empty() && !item.UserEmail.empty())
    SendAlarmMail(item, item.UserEmail, TEmailType::Sms);
  if (item.EmailAction)
    SendAlarmMail(item, item.EmailAddress, item.EmailType);
  if (item.CommandAction)
    RunCommand(item);
  if (item.SoundAction) {
    SoundItemId_ = item.Id();
    Parts_.Desktop.PlayAlarmSound(item.SoundFile, item.SoundRepeat);
  }
}

void TItemAlarmActions::AlarmCleared(TWatchItem& item) {
  if (item.PopupAction)
    ShowAlarmPage(item);
  if (item.EmailAction)
    SendAlarmMail(item, item.EmailAddress, item.EmailType);
  if (item.CommandAction)
    RunCommand(item);
  if (SoundItemId_ == item.Id())
    Parts_.Desktop.StopAlarmSound();
  if (item.SoundAction && !item.SoundRepeat) {
    SoundItemId_ = item.Id();
    Parts_.Desktop.PlayAlarmSound(item.SoundFile, false);
  }
}

void TItemAlarmActions::ShowAlarmPage(const TWatchItem& item) {
  Report(Parts_.Desktop.ShowHtml("Alarm " + item.Name + ".html",
                                 HtmlAlarmPage(item, Parts_.Clock.Now())));
}

void TItemAlarmActions::Report(const std::string& trouble) {
  if (!trouble.empty() && Parts_.Report)
    Parts_.Report(trouble);
}

void TItemAlarmActions::SendAlarmMail(const TWatchItem& item, const std::string& recipients,
                                      TEmailType type) {
  // One copy, so the mail's texts agree with each other.
  const TPreferences preferences = Parts_.Settings.GetPreferences();
  const TAlarmTextSources sources{.List = Parts_.List,
                                  .Preferences = preferences,
                                  .Reports = &Parts_.Reports,
                                  .History = &Parts_.History,
                                  .Now = Parts_.Clock.Now()};
  TMailJob job;
  job.Host = preferences.Server;
  if (preferences.ServerAuth) {
    job.Username = preferences.Account;
    job.Password = preferences.Password;
  }
  job.From = preferences.Address;
  job.FromName = preferences.Username;
  job.Recipients = recipients;
  job.Organization = preferences.Organization;
  job.IsHtml = IsHtmlMessage(type);
  job.Subject = MakeSubject(sources, item);
  job.Body = MakeMessage(sources, item, type);
  Parts_.Mail.Send(std::move(job));
}

void TItemAlarmActions::RunCommand(const TWatchItem& item) {
  Report(Parts_.Desktop.RunCommand(item.Command, CommandEnvironment(item)));
}

}  // namespace vantrel
