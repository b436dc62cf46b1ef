#include "core/checker_manager.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <utility>

#include "core/item_limits.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "text/escape.h"

namespace vantrel {

namespace {

constexpr double kMSecsPerDay = 86400000.0;
// Timers are not armed longer than this (about 24.8 days); a later item is
// simply looked at again then.
constexpr std::uint32_t kLongestWaitMs = 0x7FFFFFFF;

// Whole milliseconds from `now` to the later `due`. A remainder below one
// millisecond still waits one: a zero wait would tick again before the clock
// reached `due`.
std::uint32_t MillisecondsUntil(TDateTime now, TDateTime due) {
  const double ms = std::trunc((due - now) * kMSecsPerDay);
  if (!(ms >= 1))
    return 1;
  if (ms >= kLongestWaitMs)
    return kLongestWaitMs;
  return static_cast<std::uint32_t>(ms);
}

}  // namespace

TCheckerManager::TCheckerManager(TCheckerContext context, bool createPaused)
    : Context_(std::move(context)),
      Running_(!createPaused),
      Token_(std::make_shared<TToken>(TToken{this})) {
  if (Context_.Loop == nullptr || Context_.Clock == nullptr || Context_.WatchList == nullptr ||
      Context_.Results == nullptr || !Context_.MakeRunner) {
    throw std::invalid_argument(
        "TCheckerManager needs a main loop, a clock, a watch list, a result sink and a check "
        "runner factory");
  }
  Timer_ = Context_.Loop->CreateTimer([this] { Tick(); });
  ArmTimer(kFirstTickMs);
}

TCheckerManager::~TCheckerManager() {
  Token_->Manager = nullptr;
  Timer_.reset();
  for (const auto& [number, started] : Checkers_)
    started.Checker->Cancel();
  const bool mayCallLoop = std::any_of(Checkers_.begin(), Checkers_.end(), [](const auto& entry) {
    return !entry.second.Checker->Finished();
  });
  if (mayCallLoop && !Context_.Loop->ShuttingDown())
    Context_.Loop->Shutdown();
  for (auto& [number, started] : Checkers_) {
    started.Checker->Join();
    ReleaseItem(started);
  }
  Checkers_.clear();
}

void TCheckerManager::Wake() {
  if (!Running_)
    return;
  Context_.Loop->Post([token = Token_] {
    if (token->Manager != nullptr)
      token->Manager->Tick();
  });
}

void TCheckerManager::Pause() {
  if (!Running_)
    return;
  Running_ = false;
  for (const auto& [number, started] : Checkers_)
    started.Checker->Terminate();
  SetStatus("Pause checking");
}

void TCheckerManager::Resume() {
  if (Running_)
    return;
  SetStatus("Resume checking");
  Running_ = true;
  Wake();
}

std::vector<std::int32_t> TCheckerManager::CheckerItemIds() const {
  std::vector<std::int32_t> ids;
  ids.reserve(Checkers_.size());
  for (const auto& [number, started] : Checkers_)
    ids.push_back(started.Checker->ItemId());
  return ids;
}

void TCheckerManager::Tick() {
  try {
    RunTick();
  } catch (...) {
    // The tick is abandoned without re-arming: the next wake-up starts again.
    ReportUnexpected(Context_.HandleError, std::current_exception());
  }
}

void TCheckerManager::RunTick() {
  Timer_->Stop();
  if (!Running_)
    return;
  if (Checkers_.size() >= kMaxCheckers) {
    ArmTimer(kBusyRetryMs);
    return;
  }
  SetStatus("Start checking");
  // Only what was due when the tick began is started: with many items,
  // starting their checks can take longer than their frequency, and items
  // falling due meanwhile would keep the loop going for ever, away from the
  // main loop's events. They wait for the next tick instead. An item started
  // is Checking and not found again, so a tick starts each item once at most.
  const TDateTime tickMoment = Context_.Clock->Now();
  for (;;) {
    TWatchItem* item = Context_.WatchList->FindEarliestDue();
    if (item == nullptr) {
      ArmTimer(kIdleWaitMs);
      break;
    }
    const TDateTime nextRun = item->NextRun();
    const TDateTime now = Context_.Clock->Now();
    if (tickMoment < nextRun) {
      ArmTimer(MillisecondsUntil(now, nextRun));
      break;
    }
    // Logging may let pending events run, which may change the list: the
    // item is looked for again.
    if (WarnOfFrequency(*item))
      continue;
    // Moves NextRun on by one frequency, for when the check has ended.
    item->SetLastChecked(now);
    StartChecker(*item);
  }
  if (Checkers_.empty())
    SetStatus("Done");
}

bool TCheckerManager::WarnOfFrequency(const TWatchItem& item) {
  if (item.Frequency() >= kMinFrequency || !FrequencyWarned_.insert(item.Id()).second)
    return false;
  if (Context_.Log) {
    Context_.Log("Frequency of " + EscapeControls(item.DisplayName()) + " (" +
                 EscapeControls(item.Url) + ") is " + std::to_string(item.Frequency()) +
                 " seconds; checked every second instead");
  }
  return true;
}

void TCheckerManager::StartChecker(TWatchItem& item) {
  const std::uint64_t number = NextChecker_++;
  const std::int32_t itemId = item.Id();
  TChecker::THooks hooks;
  hooks.Wake = [token = Token_, number] {
    if (token->Manager != nullptr)
      token->Manager->CheckEnded(number);
  };
  hooks.Ended = [loop = Context_.Loop, token = Token_, number](TChecker&) {
    loop->Post([token, number] {
      if (token->Manager != nullptr)
        token->Manager->CheckerDone(number);
    });
  };
  // Not due again until this check ends; every way out below lets it go.
  item.SetChecking(true);
  TStarted started{nullptr, itemId};
  try {
    started.Checker =
        std::make_unique<TChecker>(Context_, itemId, Context_.MakeRunner(), std::move(hooks));
  } catch (...) {
    ReleaseItem(started);
    throw;
  }
  TChecker& checker = *started.Checker;
  Checkers_.emplace(number, std::move(started));
  try {
    checker.Start(Pool_);
  } catch (...) {
    ReleaseItem(Checkers_.at(number));
    Checkers_.erase(number);
    throw;
  }
}

bool TCheckerManager::ReleaseItem(TStarted& started) {
  if (!started.HoldsItem)
    return false;
  started.HoldsItem = false;
  const int index = Context_.WatchList->IndexOfId(started.ItemId);
  if (index < 0)
    return false;
  TWatchItem& item = Context_.WatchList->Item(index);
  item.SetChecking(false);
  return item.Active();
}

void TCheckerManager::CheckEnded(std::uint64_t number) {
  const auto found = Checkers_.find(number);
  if (found != Checkers_.end())
    ReleaseItem(found->second);
  Wake();
}

void TCheckerManager::CheckerDone(std::uint64_t number) {
  bool released = false;
  const auto found = Checkers_.find(number);
  if (found != Checkers_.end()) {
    TStarted ended = std::move(found->second);
    Checkers_.erase(found);
    ended.Checker->Join();
    // Ended without a result (stopped, or an error): the item may be overdue.
    released = ReleaseItem(ended);
  }
  if (Checkers_.empty())
    SetStatus("Done");
  if (released)
    Wake();
}

void TCheckerManager::SetStatus(std::string text) {
  StatusText_ = std::move(text);
  if (Context_.ShowStatus)
    Context_.ShowStatus(StatusText_);
}

void TCheckerManager::ArmTimer(std::uint32_t ms) {
  Timer_->Start(ms);
}

}  // namespace vantrel
