#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "alerts/alarm_actions.h"
#include "alerts/desktop.h"
#include "alerts/mail_job.h"
#include "core/watch_types.h"
#include "platform/clock.h"

namespace vantrel {

class TReportList;
class TSettings;
class TWatchHistory;
class TWatchList;

// An item's own alarm actions, in their order: the alarm page, the mail to the
// web-service owner (alarm only), the e-mail, the command and the sound. Main
// thread; the mails go to their own threads with finished texts.
class TItemAlarmActions final : public TAlarmActions {
 public:
  // Everything must outlive this object.
  struct TParts {
    const TWatchList& List;
    const TSettings& Settings;
    const TReportList& Reports;
    TWatchHistory& History;
    const TClock& Clock;
    TDesktop& Desktop;
    TMailQueue& Mail;
    // Gets what went wrong with a page or a command (the event log).
    std::function<void(const std::string&)> Report = {};
  };

  explicit TItemAlarmActions(TParts parts) : Parts_(parts) {}

  void AlarmTriggered(TWatchItem& item) override;
  void AlarmCleared(TWatchItem& item) override;

  // The item whose alarm sound was started last; -1 before any.
  std::int32_t SoundItemId() const { return SoundItemId_; }

 private:
  void ShowAlarmPage(const TWatchItem& item);
  void SendAlarmMail(const TWatchItem& item, const std::string& recipients, TEmailType type);
  void RunCommand(const TWatchItem& item);
  void Report(const std::string& trouble);

  TParts Parts_;
  std::int32_t SoundItemId_ = -1;
};

// What a command started for `item` learns through its environment.
TCommandEnvironment CommandEnvironment(const TWatchItem& item);

}  // namespace vantrel
