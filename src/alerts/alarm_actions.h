#pragma once

namespace vantrel {

class TWatchItem;

// What happens when an item goes down and when it comes back up: the alarm
// page, e-mails, command and sound of the desktop program, a printed line in
// the headless monitor. Called on the main thread from inside the item's status
// change, before the result that caused it is fully handled: an implementation
// must not delete items or change the watch list.
class TAlarmActions {
 public:
  virtual ~TAlarmActions() = default;
  // Up -> Down.
  virtual void AlarmTriggered(TWatchItem& item) = 0;
  // Down -> Up (also through Reset Alarm and Clear Statistics).
  virtual void AlarmCleared(TWatchItem& item) = 0;
};

}  // namespace vantrel
