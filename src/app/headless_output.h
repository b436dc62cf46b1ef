#pragma once

#include <ostream>
#include <string>

#include "alerts/alarm_actions.h"
#include "app/monitor_events.h"
#include "platform/clock.h"

namespace vantrel {

// One readable line per event for a monitor without a window. Each line starts
// with the time stamp; a going down and a coming back up stand out with "***".
//
//   <time>  Connection: Connected
//   <time>  web (http://example.test/)  OK  123 ms  OK
//   <time>  web (http://example.test/)  FAILED  no response  Request Timeout
//   <time>  web (http://example.test/)  discarded (Disconnected)
//   <time>  *** web (http://example.test/)  DOWN
//   <time>  *** web (http://example.test/)  UP

// "web (http://example.test/)": the item's display name and its Url, with
// control characters shown as escapes ("\n", "\x1b").
std::string ItemLabel(const TWatchItem& item);
// The line of a handled check result, without time stamp. `item` may be null
// (deleted meanwhile): the record's identifier stands in for it.
std::string ResultLine(const TWatchItem* item, const THistoryRecord& record, bool recorded,
                       TConnectState state);
// A multi-line message (file errors are "name CR LF reason") on one line,
// its other control characters shown as escapes.
std::string OneLine(const std::string& message);

// How each printed line begins. Under a service manager whose journal stamps
// every line itself, the monitor's own time stamp would only repeat it, and a
// "<3>" or "<4>" before an error or warning gives the line its priority there.
struct TLineStyle {
  bool TimeStamps = true;
  bool PriorityPrefixes = false;
};

// Alarm actions of the headless monitor: a line per going down and coming up.
class TPrintedAlarmActions final : public TAlarmActions {
 public:
  // `out` and `clock` must outlive this object.
  TPrintedAlarmActions(std::ostream& out, const TClock& clock, TLineStyle style = {});

  void AlarmTriggered(TWatchItem& item) override;
  void AlarmCleared(TWatchItem& item) override;

 private:
  void Line(const std::string& text);

  std::ostream& Out_;
  const TClock& Clock_;
  TLineStyle Style_;
};

// The monitor's events for the headless front: check results and connection
// states to `out`, errors and warnings to `errors`. Status texts repeat what
// the result lines say, so they are printed only when asked for.
class TPrintedMonitorEvents final : public TMonitorEvents {
 public:
  // The streams and `clock` must outlive this object.
  TPrintedMonitorEvents(std::ostream& out, std::ostream& errors, const TClock& clock,
                        TLineStyle style = {}, bool printStatusTexts = false);

  void StatusText(const std::string& text) override;
  void ConnectStateChanged(TConnectState state) override;
  void ResultHandled(const TWatchItem* item, const THistoryRecord& record, bool recorded) override;
  void ActionsChanged() override {}  // no actions to show
  void Error(const std::string& message) override;
  void Warning(const std::string& message) override;
  // A line of its own, time-stamped like the others (the alarm actions of the
  // headless desktop).
  void Note(const std::string& text) { Line(Out_, "", text); }

 private:
  // `priority`: the journal's "<N>" for the line, used when the style asks.
  void Line(std::ostream& out, const char* priority, const std::string& text);

  std::ostream& Out_;
  std::ostream& Errors_;
  const TClock& Clock_;
  TLineStyle Style_;
  bool PrintStatusTexts_;
  // The last state announced: the reason a result was discarded.
  TConnectState State_ = TConnectState::Disconnected;
};

}  // namespace vantrel
