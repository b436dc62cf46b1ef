#include "core/watch_types.h"

namespace vantrel {

std::string StatusText(TWatchStatus status) {
  switch (status) {
    case TWatchStatus::Up:
      return "Up";
    case TWatchStatus::Down:
      return "Down";
    case TWatchStatus::Suspended:
      return "Suspended";
  }
  return "";
}

std::string CheckTypeText(TCheckType checkType) {
  switch (checkType) {
    case TCheckType::Ping:
      return "by Ping";
    case TCheckType::Download:
      return "by Download";
    case TCheckType::Smtp:
      return "SMTP";
    case TCheckType::Pop3:
      return "POP3";
    case TCheckType::Ftp:
      return "FTP";
  }
  return "";
}

std::string ActiveText(bool active) {
  return active ? "Active" : "Suspended";
}

}  // namespace vantrel
