#include "app/headless_output.h"

#include <cstdint>

#include "core/response_codes.h"
#include "core/watch_item.h"
#include "platform/date_format.h"
#include "text/escape.h"

namespace vantrel {

namespace {

constexpr const char* kGap = "  ";
constexpr const char* kStandOut = "*** ";

// The start of a line: its time stamp and gap, or nothing.
std::string Stamp(const TClock& clock, TLineStyle style) {
  return style.TimeStamps ? TimeStampText(clock.Now()) + kGap : std::string();
}

std::string CodeText(std::int32_t code) {
  const std::string text = HttpCodeText(code);
  return text.empty() ? "code " + std::to_string(code) : text;
}

}  // namespace

std::string ItemLabel(const TWatchItem& item) {
  return EscapeControls(item.DisplayName() + " (" + item.Url + ")");
}

std::string ResultLine(const TWatchItem* item, const THistoryRecord& record, bool recorded,
                       TConnectState state) {
  std::string line = item != nullptr
                         ? ItemLabel(*item)
                         : "item " + std::to_string(static_cast<std::int32_t>(record.ItemId));
  if (!recorded)
    return line + kGap + "discarded (" + ConnectStateText(state) + ")";
  line += kGap;
  line += record.Success ? "OK" : "FAILED";
  line += kGap;
  // A response time below 1 ms means nothing came back.
  line += record.ResponseTime > 0 ? std::to_string(record.ResponseTime) + " ms" : "no response";
  line += kGap + CodeText(record.ResponseCode);
  return line;
}

std::string OneLine(const std::string& message) {
  std::string line;
  line.reserve(message.size());
  for (std::size_t i = 0; i < message.size(); ++i) {
    const char c = message[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n')
        ++i;
      line += ": ";
    } else {
      line += c;
    }
  }
  // Messages name files and items, which may hold any other control character.
  return EscapeControls(line);
}

TPrintedAlarmActions::TPrintedAlarmActions(std::ostream& out, const TClock& clock, TLineStyle style)
    : Out_(out), Clock_(clock), Style_(style) {}

void TPrintedAlarmActions::AlarmTriggered(TWatchItem& item) {
  Line(ItemLabel(item) + kGap + "DOWN");
}

void TPrintedAlarmActions::AlarmCleared(TWatchItem& item) {
  Line(ItemLabel(item) + kGap + "UP");
}

void TPrintedAlarmActions::Line(const std::string& text) {
  Out_ << Stamp(Clock_, Style_) << kStandOut << text << std::endl;
}

TPrintedMonitorEvents::TPrintedMonitorEvents(std::ostream& out, std::ostream& errors,
                                             const TClock& clock, TLineStyle style,
                                             bool printStatusTexts)
    : Out_(out),
      Errors_(errors),
      Clock_(clock),
      Style_(style),
      PrintStatusTexts_(printStatusTexts) {}

void TPrintedMonitorEvents::Line(std::ostream& out, const char* priority, const std::string& text) {
  // Flushed line by line: the output is followed live, or piped to a log.
  out << (Style_.PriorityPrefixes ? priority : "") << Stamp(Clock_, Style_) << text << std::endl;
}

void TPrintedMonitorEvents::StatusText(const std::string& text) {
  if (PrintStatusTexts_)
    Line(Out_, "", text);
}

void TPrintedMonitorEvents::ConnectStateChanged(TConnectState state) {
  State_ = state;
  Line(Out_, "", "Connection: " + ConnectStateText(state));
}

void TPrintedMonitorEvents::ResultHandled(const TWatchItem* item, const THistoryRecord& record,
                                          bool recorded) {
  Line(Out_, "", ResultLine(item, record, recorded, State_));
}

void TPrintedMonitorEvents::Error(const std::string& message) {
  Line(Errors_, "<3>", "error: " + OneLine(message));
}

void TPrintedMonitorEvents::Warning(const std::string& message) {
  Line(Errors_, "<4>", "warning: " + OneLine(message));
}

}  // namespace vantrel
