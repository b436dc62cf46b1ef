#include "core/property_format.h"

#include "core/response_codes.h"
#include "core/watch_item.h"
#include "platform/date_format.h"

namespace vantrel {

namespace {

constexpr const char* kNoData = "no data";

std::string MillisecondsText(std::int32_t ms) {
  return ms <= 0 ? kNoData : std::to_string(ms) + " milli-second(s)";
}

std::string MomentText(TDateTime moment) {
  return moment <= 0 ? kNoData : TimeStampText(moment);
}

std::string FailurePercentText(const TWatchItem& item) {
  if (item.TimesChecked <= 0)
    return kNoData;
  // In 64 bits: failures times 100 leaves 32 bits after 21 million failures.
  const std::int64_t percent =
      static_cast<std::int64_t>(item.TimesFailed) * 100 / item.TimesChecked;
  return std::to_string(percent) + "%";
}

}  // namespace

std::string PropertyCaption(int propertyId) {
  if (propertyId < 1 || propertyId > kFieldCount)
    return "";
  return kFieldCaptions[static_cast<std::size_t>(propertyId - 1)];
}

std::string FrequencyText(std::int32_t seconds) {
  if (seconds < 60)
    return std::to_string(seconds) + " second(s)";
  if (seconds < 3600)
    return std::to_string(seconds / 60) + " minute(s)";
  return std::to_string(seconds / 3600) + " hour(s)";
}

std::string FormatProperty(const TWatchItem& item, int propertyId,
                           const TPreferences& preferences) {
  const bool localItem = item.Username.empty();
  switch (propertyId) {
    case kPropertyStatus:
      return StatusText(item.Status());
    case kPropertyName:
      // The full name here, unlike the row caption, which prefixes the login.
      return localItem ? item.Name : item.UserFullName + "_" + item.Name;
    case kPropertyUrl:
      return item.Url;
    case kPropertyCheckType:
      return CheckTypeText(item.CheckType);
    case kPropertyFrequency:
      return FrequencyText(item.Frequency());
    case kPropertyActive:
      return ActiveText(item.Active());
    case kPropertyUsername:
      return localItem ? "root" : item.Username;
    case kPropertyUserFullName:
      return localItem ? preferences.Username : item.UserFullName;
    case kPropertyUserEmail:
      return localItem ? preferences.Address : item.UserEmail;
    case kPropertyLastResponseText:
      // The code's text, not the stored page or greeting.
      return item.LastResponseCode < 0 ? kNoData : HttpCodeText(item.LastResponseCode);
    case kPropertyLastResponseTime:
      return MillisecondsText(item.LastResponseTime);
    case kPropertyAvgResponseTime:
      return MillisecondsText(item.AvgResponseTime);
    case kPropertyCreated:
      return MomentText(item.Created);
    case kPropertyTimesChecked:
      return item.TimesChecked <= 0 ? kNoData : std::to_string(item.TimesChecked);
    case kPropertyTimesFailed:
      return item.TimesFailed <= 0 ? "no failed" : std::to_string(item.TimesFailed);
    case kPropertyFailurePercent:
      return FailurePercentText(item);
    case kPropertyNextRun:
      return item.Active() ? TimeStampText(item.NextRun()) : "suspended";
    case kPropertyLastFailure:
      return MomentText(item.LastFailure);
    case kPropertyLastSuccess:
      return MomentText(item.LastSuccess);
    case kPropertyConsecutiveFailures:
      return std::to_string(item.ConsecutiveFailures);
    case kPropertyConsecutiveSuccesses:
      return std::to_string(item.ConsecutiveSuccesses);
    default:
      return "";
  }
}

}  // namespace vantrel
