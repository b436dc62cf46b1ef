#include "core/check_rules.h"

#include "core/response_codes.h"

namespace vantrel {

namespace {

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    c = LowerAscii(c);
  return lower;
}

// The result of a reply measured at `time` against the threshold.
void JudgeTime(TCheckResult& result, std::int32_t time, std::int32_t timeout) {
  result.ResponseTime = RecordedTime(time);
  result.Success = result.ResponseTime <= timeout;
  result.ResponseCode = result.Success ? kResponseOk : kResponseTimeout;
}

}  // namespace

std::int32_t RecordedTime(std::int32_t measured) {
  if (measured < 0)
    return -1;
  return measured == 0 ? 1 : measured;
}

bool ContainsSearchText(std::string_view page, std::string_view search, bool caseSensitive) {
  if (caseSensitive)
    return page.find(search) != std::string_view::npos;
  return LowerAscii(page).find(LowerAscii(search)) != std::string::npos;
}

bool GreetingAccepted(TCheckType checkType, std::string_view line) {
  const std::string_view head = line.substr(0, 3);
  switch (checkType) {
    case TCheckType::Smtp:
    case TCheckType::Ftp:
      return head == "220";
    case TCheckType::Pop3:
      return LowerAscii(head) == "+ok";
    case TCheckType::Ping:
    case TCheckType::Download:
      break;
  }
  return false;
}

TCheckResult JudgePing(const TPingOutcome& outcome, std::int32_t timeout) {
  TCheckResult result;
  if (outcome.Replied)
    JudgeTime(result, outcome.Time, timeout);
  return result;
}

TCheckResult JudgeDownload(const THttpOutcome& outcome, std::int32_t timeout,
                           std::string_view searchText, bool caseSensitive) {
  TCheckResult result;
  result.ResponseCode = outcome.ResultCode;
  if (!outcome.Sent)
    return result;
  result.ResponseTime = RecordedTime(outcome.ElapsedTime);
  result.ResponseText = outcome.Document;
  if (result.ResponseCode != kResponseOk)
    return result;
  if (result.ResponseTime > timeout)
    result.ResponseCode = kResponseTimeout;
  else if (searchText.empty() || ContainsSearchText(outcome.Document, searchText, caseSensitive))
    result.Success = true;
  else
    result.ResponseCode = kResponseSearchFailed;
  return result;
}

TCheckResult JudgeGreeting(TCheckType checkType, const TGreetingOutcome& outcome,
                           std::int32_t timeout) {
  TCheckResult result;
  result.ResponseText = outcome.Line;
  if (outcome.Error != 0) {
    result.ResponseTime = RecordedTime(outcome.ElapsedTime);
    result.ResponseCode = kResponseConnectionFailed;
    return result;
  }
  if (GreetingAccepted(checkType, outcome.Line)) {
    JudgeTime(result, outcome.ElapsedTime, timeout);
  } else {
    result.ResponseTime = RecordedTime(outcome.ElapsedTime);
    result.ResponseCode = kResponseConnectionFailed;
  }
  return result;
}

void ApplyConnectionTest(TCheckResult& result, TConnectionTestResult test) {
  if (test == TConnectionTestResult::Unreachable)
    result.ResponseCode = kResponseConnectionFailed;
}

}  // namespace vantrel
