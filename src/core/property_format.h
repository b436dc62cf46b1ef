#pragma once

#include <cstdint>
#include <string>

#include "core/settings.h"

namespace vantrel {

class TWatchItem;

// The item properties that the details view and the table columns show. The
// preferences' Fields list them by these numbers, in display order.
enum TPropertyId : int {
  kPropertyStatus = 1,
  kPropertyName = 2,
  kPropertyUrl = 3,
  kPropertyCheckType = 4,
  kPropertyFrequency = 5,
  kPropertyActive = 6,
  kPropertyUsername = 7,
  kPropertyUserFullName = 8,
  kPropertyUserEmail = 9,
  kPropertyLastResponseText = 10,
  kPropertyLastResponseTime = 11,
  kPropertyAvgResponseTime = 12,
  kPropertyCreated = 13,
  kPropertyTimesChecked = 14,
  kPropertyTimesFailed = 15,
  kPropertyFailurePercent = 16,
  kPropertyNextRun = 17,
  kPropertyLastFailure = 18,
  kPropertyLastSuccess = 19,
  kPropertyConsecutiveFailures = 20,
  kPropertyConsecutiveSuccesses = 21,
};

// The caption of a property ("Status" ...); empty outside 1 to 21.
std::string PropertyCaption(int propertyId);

// The display text of a property of `item`; empty outside 1 to 21. Items
// created here show the sender identity of `preferences` as their user.
std::string FormatProperty(const TWatchItem& item, int propertyId, const TPreferences& preferences);

// A check frequency in its largest whole unit: "59 second(s)", "1 minute(s)",
// "2 hour(s)" (minutes and hours truncated).
std::string FrequencyText(std::int32_t seconds);

}  // namespace vantrel
