#include "core/checker.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "core/check_result_logic.h"
#include "core/response_codes.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "core/watch_types.h"
#include "text/escape.h"

namespace vantrel {

namespace {

// "Name (Url)", with "Username_" before it in the log. Control characters
// show as escapes: a name from a file or the web service must not forge a
// line of the log or reach the terminal as an escape sequence.
std::string LogName(const TWatchItem& item) {
  return EscapeControls(item.DisplayName() + " (" + item.Url + ")");
}

std::string StatusName(const TWatchItem& item) {
  return EscapeControls(item.Name + " (" + item.Url + ")");
}

}  // namespace

TChecker::TChecker(const TCheckerContext& context, std::int32_t itemId,
                   std::unique_ptr<TCheckRunner> runner, THooks hooks)
    : Context_(context), ItemId_(itemId), Runner_(std::move(runner)), Hooks_(std::move(hooks)) {}

TChecker::~TChecker() {
  Join();
}

void TChecker::Start(TThreadPool& pool) {
  Ended_ = pool.Submit([this] { Execute(); });
}

void TChecker::Cancel() {
  if (Runner_)
    Runner_->Cancel();
}

void TChecker::Join() {
  if (Ended_.valid())
    Ended_.wait();
}

void TChecker::Execute() {
  std::exception_ptr error;
  try {
    Work();
  } catch (...) {
    error = std::current_exception();
  }
  if (error) {
    // Nothing is recorded for this check; the item comes round again at the
    // NextRun the scheduler already gave it. Posted outside the handler with
    // the only reference, so the main thread alone ends the exception's life;
    // and the task may run after the scheduler is gone, so it takes its own
    // copy of the error handler.
    Context_.Loop->Post([handler = Context_.HandleError, error = std::move(error)] {
      ReportUnexpected(handler, error);
    });
  }
  Finished_.store(true);
  if (Hooks_.Ended)
    Hooks_.Ended(*this);
}

void TChecker::Work() {
  if (!OnMainThread(&TChecker::Prepare) || ItemGone_)
    return;
  if (Terminated() || !Request_.Active) {
    OnMainThread(&TChecker::Stop);
    return;
  }
  if (!Runner_)
    throw std::logic_error("checker without a check runner");
  Result_ = Runner_->Run(Request_);
  OnMainThread(&TChecker::Finish);
}

bool TChecker::OnMainThread(void (TChecker::*step)()) {
  return Context_.Loop->Synchronize([this, step] { (this->*step)(); });
}

TWatchItem* TChecker::FindItem() const {
  const int index = Context_.WatchList->IndexOfId(ItemId_);
  return index >= 0 ? &Context_.WatchList->Item(index) : nullptr;
}

void TChecker::Log(const std::string& text) const {
  if (Context_.Log)
    Context_.Log(text);
}

void TChecker::ShowStatus(const std::string& text) const {
  if (Context_.ShowStatus)
    Context_.ShowStatus(text);
}

// A log entry lets the window dispatch its pending events first, and one of
// them may delete the item: so each step looks the item up again after logging.

void TChecker::Prepare() {
  const TWatchItem* item = FindItem();
  if (item == nullptr) {
    ItemGone_ = true;
    return;
  }
  const std::string checkType = CheckTypeText(item->CheckType);
  const std::string statusText = "Start checking " + StatusName(*item) + " " + checkType;
  Log("Start checking " + LogName(*item) + " " + checkType);
  ShowStatus(statusText);

  item = FindItem();
  if (item == nullptr) {
    ItemGone_ = true;
    return;
  }
  const TInternetOptions options =
      Context_.Settings ? Context_.Settings->GetInternetOptions() : TInternetOptions{};
  TProxyChoice proxy;
  if (Context_.ChooseProxy)
    proxy = Context_.ChooseProxy(item->Url);
  else if (Context_.Settings)
    proxy = GetProxyForHost(item->Url, options);
  Request_ = MakeCheckRequest(*item, proxy, options);
}

void TChecker::Stop() {
  const TWatchItem* item = FindItem();
  if (item == nullptr)
    return;
  Log("Stop checking " + LogName(*item));
  if (TWatchItem* again = FindItem())
    again->RestoreLastChecked();
}

namespace {

// The "Response Page: " entry: the page's first kLoggedPageLimit bytes, with
// its control characters shown as text so that a page cannot write terminal
// escapes into the log, and a line saying what was left out.
std::string PageLogEntry(const std::string& page) {
  const std::size_t logged = std::min(page.size(), TChecker::kLoggedPageLimit);
  std::string entry =
      "Response Page: \r\n" + EscapeControlsKeepingLines(std::string_view(page).substr(0, logged));
  if (logged < page.size())
    entry += "\r\n[... " + std::to_string(page.size() - logged) + " more bytes not logged]";
  return entry;
}

}  // namespace

void TChecker::Finish() {
  const TWatchItem* item = FindItem();
  if (item == nullptr)
    return;
  const bool logPage =
      Request_.CheckType == TCheckType::Download && item->LogFailedPages && !Result_.Success;
  const std::string statusText = "End checking " + StatusName(*item);
  Log("End checking " + LogName(*item));
  if (Result_.ResponseTime > 0) {
    Log("Response Time: " + std::to_string(Result_.ResponseTime));
    Log("Response Code: " + HttpCodeText(Result_.ResponseCode));
    if (logPage)
      Log(PageLogEntry(Result_.ResponseText));
  } else {
    Log("Response Code: Connection is unavailable");
  }
  ShowStatus(statusText);

  if (TWatchItem* again = FindItem())
    ApplyCheckResult(*again, Result_, *Context_.Results, Hooks_.Wake);
}

}  // namespace vantrel
