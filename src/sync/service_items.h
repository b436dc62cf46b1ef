#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/watch_types.h"

namespace vantrel {

// The most records one answer of the web service may bring; the rest are
// refused, so that a hostile or broken service cannot make the monitor add
// items without end.
inline constexpr std::size_t kMaxServiceRecords = 100000;

// An item list of the web service, read whole before any of it is applied.
struct TServiceItems {
  TServerItemList Items;
  // Empty when the answer was read to its end; otherwise why it was not (a
  // number line that is no number, a record cut short): then Items holds
  // what came before, which must not be applied.
  std::string Error;
  // Records past kMaxServiceRecords that were left out.
  std::size_t Refused = 0;
};

// Reads an answer of the "items" and "sync" requests: Base64 text whose lines
// (CR LF, CR or LF) are records of ten or eleven lines: ServiceId, Username,
// UserEmail, UserFullName, State, Name, Url, CheckType, SearchText (Base64),
// then "-" (frequency 0, kept) or the frequency followed by a separator line.
// Short texts are cut to 255 characters.
TServiceItems ParseServiceItems(std::string_view body, std::size_t maxRecords = kMaxServiceRecords);

}  // namespace vantrel
