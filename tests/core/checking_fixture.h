#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/checker_manager.h"
#include "core/result_handler.h"
#include "core/result_sink.h"
#include "platform/manual_main_loop.h"
#include "scripted_checks.h"
#include "storage/history.h"
#include "storage/temp_history.h"
#include "support/test_files.h"
#include "watch_list_fixture.h"

namespace vantrel::test {

inline constexpr TDateTime kMillisecond = 1.0 / 86400000.0;

// Virtual time moves in whole milliseconds, but a due moment computed as date
// plus seconds may lie a fraction of one beyond it.
inline constexpr TDateTime kScheduleSlack = 3 * kMillisecond;

class TCheckingStateStub final : public TCheckingState {
 public:
  bool IsOnline() const override { return Online; }
  bool IsPaused() const override { return Paused; }
  bool Online = true;
  bool Paused = false;
};

// Notes every record handed over, then passes it on.
class TRecordingSink final : public TResultSink {
 public:
  explicit TRecordingSink(TResultSink& next) : Next_(next) {}
  void HandleResult(const THistoryRecord& record) override {
    Records.push_back(record);
    if (OnResult)
      OnResult(record);
    Next_.HandleResult(record);
  }
  std::vector<THistoryRecord> Records;
  std::function<void(const THistoryRecord&)> OnResult;

 private:
  TResultSink& Next_;
};

// The scheduler on a manual loop and clock, with stand-in checks, the real
// result handler and histories in a temporary folder, and the log lines,
// status texts and errors it produced.
class TCheckingFixture : public TWatchListFixture {
 protected:
  TCheckingFixture()
      : History(List, (Dir / "vantrel.vth").string()),
        TempHistory(List, (Dir / "vantrel.vtt").string()),
        Handler(List, History, TempHistory, State, Settings),
        Sink(Handler) {}

  // The loop goes down first, so that the scheduler can join its checkers.
  ~TCheckingFixture() override {
    Loop.Shutdown();
    Manager.reset();
    EXPECT_FALSE(Checks.HoldTimedOut()) << "a held check was never released";
  }

  TCheckerContext Context() {
    return TCheckerContext{
        .Loop = &Loop,
        .Clock = &Clock,
        .WatchList = &List,
        .Results = &Sink,
        .MakeRunner = Checks.Factory(),
        .Settings = &Settings,
        .Log =
            [this](const std::string& text) {
              LogLines.push_back(text);
              if (text.starts_with("Start checking "))
                StartMoments.push_back(Clock.Now());
              if (OnLog)
                OnLog(text);
            },
        .ShowStatus = [this](const std::string& text) { Statuses.push_back(text); },
        .HandleError =
            [this](std::exception_ptr error) {
              try {
                std::rethrow_exception(error);
              } catch (const std::exception& e) {
                Errors.push_back(e.what());
              } catch (...) {
                Errors.push_back("unknown error");
              }
            },
        .ChooseProxy = [](const std::string&) { return TProxyChoice{}; },
    };
  }

  void StartManager(bool paused = false) {
    Manager = std::make_unique<TCheckerManager>(Context(), paused);
  }

  // A download check of "http://<name>.test/", which is also its host.
  TWatchItem& AddSite(const std::string& name, std::int32_t frequency = 60) {
    TWatchItem source(Clock);
    source.Name = name;
    source.Url = "http://" + name + ".test/";
    source.CheckType = TCheckType::Download;
    source.SetFrequency(frequency);
    return List.AddItem(source);
  }

  bool Settle() {
    return Checks.Settle(Loop, [this] { return Manager ? Manager->CheckerCount() : 0; });
  }

  void Advance(std::uint64_t ms) {
    Loop.AdvanceBy(ms);
    ASSERT_TRUE(Settle());
  }

  // The moment `ms` after the test began.
  static TDateTime At(double ms) { return TManualClock::kDefaultNow + ms / 86400000.0; }

  std::size_t CountLines(const std::string& prefix) const {
    std::size_t count = 0;
    for (const std::string& line : LogLines)
      count += line.starts_with(prefix) ? 1 : 0;
    return count;
  }

  TTempDir Dir;
  TManualMainLoop Loop{Clock};
  TWatchHistory History;
  TTempHistory TempHistory;
  TCheckingStateStub State;
  TResultHandler Handler;
  TRecordingSink Sink;
  TScriptedChecks Checks;
  std::vector<std::string> LogLines;
  std::vector<TDateTime> StartMoments;  // of the "Start checking " lines
  std::function<void(const std::string&)> OnLog;
  std::vector<std::string> Statuses;
  std::vector<std::string> Errors;
  std::unique_ptr<TCheckerManager> Manager;
};

}  // namespace vantrel::test
