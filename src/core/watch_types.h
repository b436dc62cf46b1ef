#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/date_time.h"

namespace vantrel {

// An item's state; also the index of its row's state image (up, down,
// suspended). Down is the alarm state.
enum class TWatchStatus : std::uint8_t { Up = 0, Down = 1, Suspended = 2 };

// How an item is checked.
enum class TCheckType : std::uint8_t { Ping = 0, Download = 1, Smtp = 2, Pop3 = 3, Ftp = 4 };

// What an alarm e-mail carries: an SMS-sized text, the downloaded page or a
// report.
enum class TEmailType : std::uint8_t { Sms = 0, Page = 1, Report = 2 };

// "Up", "Down", "Suspended"; empty for a value outside the enumeration.
std::string StatusText(TWatchStatus status);
// "by Ping", "by Download", "SMTP", "POP3", "FTP"; empty outside the enumeration.
std::string CheckTypeText(TCheckType checkType);
// "Active" or "Suspended".
std::string ActiveText(bool active);

// `value` moved by whole seconds (negative moves back).
inline TDateTime IncSeconds(TDateTime value, std::int64_t seconds) {
  return value + static_cast<double>(seconds) / 86400.0;
}

// One item as the web service sends it. The short texts hold at most 255
// characters; whoever fills the record cuts longer ones.
struct TServerItem {
  std::int32_t ServiceId = 0;  // the item's identifier in the service
  std::string Username;        // owning user's login
  std::string UserEmail;
  std::string UserFullName;
  std::int32_t State = 0;  // 0 active, above 0 suspended, below 0 deleted in the service
  std::string Name;
  std::string Url;
  TCheckType CheckType = TCheckType::Ping;
  std::string SearchText;
  std::int32_t Frequency = 0;  // seconds; 0 keeps the item's frequency

  bool operator==(const TServerItem&) const = default;
};

using TServerItemList = std::vector<TServerItem>;

}  // namespace vantrel
