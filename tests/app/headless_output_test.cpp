// The lines the headless monitor prints.

#include "app/headless_output.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/watch_item.h"
#include "platform/date_format.h"
#include "platform/manual_main_loop.h"

namespace vantrel {
namespace {

class THeadlessOutput : public ::testing::Test {
 protected:
  THeadlessOutput() {
    Item.Name = "web";
    Item.Url = "http://example.test/";
  }

  std::string Stamp() const { return TimeStampText(Clock.Now()); }

  TManualClock Clock;
  TWatchItem Item{Clock};
  std::ostringstream Out;
  std::ostringstream Errors;
};

TEST_F(THeadlessOutput, ResultShowsOutcomeTimeAndCodeTextOrWhyItWasDiscarded) {
  EXPECT_EQ(ResultLine(&Item, THistoryRecord{1, true, 0, 123, 200}, true, TConnectState::Connected),
            "web (http://example.test/)  OK  123 ms  OK");
  EXPECT_EQ(ResultLine(&Item, THistoryRecord{1, false, 0, 0, 408}, true, TConnectState::Connected),
            "web (http://example.test/)  FAILED  no response  Request Timeout");
  EXPECT_EQ(ResultLine(&Item, THistoryRecord{1, false, 0, 40, 299}, true, TConnectState::Connected),
            "web (http://example.test/)  FAILED  40 ms  code 299");
  EXPECT_EQ(
      ResultLine(nullptr, THistoryRecord{42, true, 0, 5, 200}, true, TConnectState::Connected),
      "item 42  OK  5 ms  OK");
  EXPECT_EQ(ResultLine(&Item, THistoryRecord{1, true, 0, 5, 200}, false, TConnectState::Paused),
            "web (http://example.test/)  discarded (Paused)");
}

TEST_F(THeadlessOutput, AlarmLinesStandOutAndNoNameForgesOneOrDrivesTheTerminal) {
  TPrintedAlarmActions alarms(Out, Clock);
  alarms.AlarmTriggered(Item);
  alarms.AlarmCleared(Item);
  Item.Name = "web\r\n" + Stamp() + "  *** shop DOWN\x1b[2J";  // as a stored file may hold
  alarms.AlarmCleared(Item);
  EXPECT_EQ(Out.str(), Stamp() + "  *** web (http://example.test/)  DOWN\n" + Stamp() +
                           "  *** web (http://example.test/)  UP\n" + Stamp() + "  *** web\\r\\n" +
                           Stamp() + "  *** shop DOWN\\x1b[2J (http://example.test/)  UP\n");
}

TEST_F(THeadlessOutput, EventsGoToTheirStreamsOneLineEach) {
  TPrintedMonitorEvents events(Out, Errors, Clock);
  events.StatusText("Start checking web");
  events.ConnectStateChanged(TConnectState::Disconnected);
  events.ResultHandled(&Item, THistoryRecord{1, true, 0, 5, 200}, false);
  events.Error("/data/vantrel.vtd\r\nWrong file format.");
  events.Warning("log\nfailed");
  EXPECT_EQ(Out.str(), Stamp() + "  Connection: Disconnected\n" + Stamp() +
                           "  web (http://example.test/)  discarded (Disconnected)\n");
  EXPECT_EQ(Errors.str(), Stamp() + "  error: /data/vantrel.vtd: Wrong file format.\n" + Stamp() +
                              "  warning: log: failed\n");
}

TEST_F(THeadlessOutput, TheJournalsStyleLeavesOutTheStampAndRanksErrorsAndWarnings) {
  const TLineStyle journal{.TimeStamps = false, .PriorityPrefixes = true};
  TPrintedAlarmActions alarms(Out, Clock, journal);
  TPrintedMonitorEvents events(Out, Errors, Clock, journal);
  alarms.AlarmTriggered(Item);
  events.ConnectStateChanged(TConnectState::Connected);
  events.Error("disk full");
  events.Warning("slow");
  EXPECT_EQ(Out.str(), "*** web (http://example.test/)  DOWN\nConnection: Connected\n");
  EXPECT_EQ(Errors.str(), "<3>error: disk full\n<4>warning: slow\n");
}

}  // namespace
}  // namespace vantrel
