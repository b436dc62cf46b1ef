#include "core/checker_manager.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <utility>

#include "core/watch_item.h"
#include "core/watch_list.h"

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
  for (const auto& [number, checker] : Checkers_)
    checker->Cancel();
  const bool mayCallLoop = std::any_of(Checkers_.begin(), Checkers_.end(), [](const auto& started) {
    return !started.second->Finished();
  });
  if (mayCallLoop && !Context_.Loop->ShuttingDown())
    Context_.Loop->Shutdown();
  for (const auto& [number, checker] : Checkers_)
    checker->Join();
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
  for (const auto& [number, checker] : Checkers_)
    checker->Terminate();
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
  for (const auto& [number, checker] : Checkers_)
    ids.push_back(checker->ItemId());
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
  // main loop's events. They wait for the next tick instead.
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
    // Moves NextRun on by one frequency, so the next round finds another item
    // or this one's next due moment.
    item->SetLastChecked(now);
    StartChecker(item->Id());
  }
  if (Checkers_.empty())
    SetStatus("Done");
}

void TCheckerManager::StartChecker(std::int32_t itemId) {
  const std::uint64_t number = NextChecker_++;
  TChecker::THooks hooks;
  hooks.Wake = [token = Token_] {
    if (token->Manager != nullptr)
      token->Manager->Wake();
  };
  hooks.Ended = [loop = Context_.Loop, token = Token_, number](TChecker&) {
    loop->Post([token, number] {
      if (token->Manager != nullptr)
        token->Manager->CheckerDone(number);
    });
  };
  auto checker =
      std::make_unique<TChecker>(Context_, itemId, Context_.MakeRunner(), std::move(hooks));
  TChecker& started = *checker;
  Checkers_.emplace(number, std::move(checker));
  try {
    started.Start(Pool_);
  } catch (...) {
    Checkers_.erase(number);
    throw;
  }
}

void TCheckerManager::CheckerDone(std::uint64_t number) {
  const auto found = Checkers_.find(number);
  if (found != Checkers_.end()) {
    std::unique_ptr<TChecker> ended = std::move(found->second);
    Checkers_.erase(found);
    ended->Join();
  }
  if (Checkers_.empty())
    SetStatus("Done");
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
