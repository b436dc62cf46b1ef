#pragma once

#include <string>

#include "app/connect_state.h"
#include "storage/history_record.h"

namespace vantrel {

class TWatchItem;

// What the monitor tells its front: the window shows it in the status bar,
// the item list and dialogs; the headless front prints it. Everything is
// called on the main thread. The controller writes nothing itself except
// through this interface and the event log.
//
// Events during the controller's constructor carry all they say in their
// arguments, because the front cannot call the controller yet; ActionsChanged
// comes only afterwards, so the front updates its actions itself once the
// controller exists.
class TMonitorEvents {
 public:
  virtual ~TMonitorEvents() = default;

  // Texts of the scheduler and the checks ("Start checking ...", "Done").
  virtual void StatusText(const std::string& text) = 0;
  // The connection state changed; also once when the monitor has started.
  virtual void ConnectStateChanged(TConnectState state) = 0;
  // A finished check's record was recorded (history, statistics, status) or
  // discarded (offline or paused). `item` is null when the item was deleted
  // meanwhile; otherwise it shows the item after the record was applied.
  virtual void ResultHandled(const TWatchItem* item, const THistoryRecord& record,
                             bool recorded) = 0;
  // Which actions are enabled may have changed: the window updates its actions.
  virtual void ActionsChanged() = 0;
  // An operation failed and the monitor goes on: a watch list or history that
  // would not load, a save that failed, an unexpected error of a check. The
  // message is the file name, CR LF and the reason for file errors.
  virtual void Error(const std::string& message) = 0;
  // Trouble worked around: damage cut off a history file, the event log
  // could not be written.
  virtual void Warning(const std::string& message) = 0;
};

}  // namespace vantrel
