#include "cli/item_options.h"

#include <charconv>
#include <cstddef>
#include <limits>
#include <stdexcept>

#include "core/check_request.h"
#include "core/item_limits.h"
#include "core/watch_item.h"
#include "text/escape.h"

namespace vantrel {

namespace {

using TSetter = void (*)(TWatchItem& item, std::string_view option, const std::string& value);

struct TItemOption {
  TOptionSpec Syntax;
  TSetter Apply;
};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

EUsageError OptionError(std::string_view option, const std::string& what) {
  return EUsageError(std::string(option) + ": " + what);
}

// What becomes of control characters in a single-line text. A name only
// labels the item, so they become blanks; in a URL, an address or a command
// they would change what is requested, sent or run, so the text is refused.
enum class TControls { Blanked, Refused };

// A single-line text as the dialog saves it (trimmed, at most 255 characters),
// and never more than one line.
std::string LineText(std::string_view option, const std::string& value, bool required,
                     TControls controls = TControls::Refused) {
  std::string text = TrimBlanks(controls == TControls::Blanked ? BlankControls(value) : value);
  if (HasControls(text))
    throw OptionError(option,
                      "must not contain control characters (line breaks, tabs, escape sequences)");
  if (required && text.empty())
    throw OptionError(option, "must not be empty");
  if (text.size() > kMaxLineTextLength)
    throw OptionError(option, "longer than " + std::to_string(kMaxLineTextLength) + " characters");
  return text;
}

std::int32_t Number(std::string_view option, const std::string& value, std::int64_t min,
                    std::int64_t max) {
  return static_cast<std::int32_t>(ParseNumber(option, value, min, max));
}

std::int32_t AlarmCount(std::string_view option, const std::string& value) {
  return Number(option, value, kMinAlarmCount, kMaxAlarmCount);
}

std::optional<TEmailType> EmailTypeByName(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "sms")
    return TEmailType::Sms;
  if (lower == "page")
    return TEmailType::Page;
  if (lower == "report")
    return TEmailType::Report;
  return std::nullopt;
}

// The table behind the options: each option's name, value and effect.
const std::vector<TItemOption>& ItemOptionTable() {
  static const std::vector<TItemOption> table = {
      {{"--name", "TEXT"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.Name = LineText(option, value, true, TControls::Blanked);
       }},
      {{"--url", "URL"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.Url = LineText(option, value, true);
       }},
      {{"--type", "METHOD"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         const std::optional<TCheckType> type = CheckTypeByName(value);
         if (!type)
           throw OptionError(option,
                             "'" + value + "' is not one of ping, download, smtp, pop3, ftp");
         item.CheckType = *type;
       }},
      {{"--frequency", "SECONDS"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.SetFrequency(ParseFrequency(option, value));
       }},
      {{"--active", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.SetActive(true); }},
      {{"--suspended", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.SetActive(false); }},
      {{"--alarm-trigger", "COUNT"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.TriggerCount = AlarmCount(option, value);
         item.AlarmTrigger = true;
       }},
      {{"--no-alarm-trigger", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.AlarmTrigger = false; }},
      {{"--alarm-reset", "COUNT"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.ResetCount = AlarmCount(option, value);
         item.AlarmReset = true;
       }},
      {{"--no-alarm-reset", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.AlarmReset = false; }},
      {{"--check-extra", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.CheckExtra = true; }},
      {{"--no-check-extra", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.CheckExtra = false; }},
      {{"--check-connection", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.CheckConnection = true; }},
      {{"--no-check-connection", ""},
       [](TWatchItem& item, std::string_view, const std::string&) {
         item.CheckConnection = false;
       }},
      {{"--ping-timeout", "MS"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.PingTimeout = Number(option, value, kMinTimeout, kMaxPingTimeout);
       }},
      {{"--download-timeout", "MS"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.DownloadTimeout = Number(option, value, kMinTimeout, kMaxDownloadTimeout);
       }},
      {{"--service-timeout", "MS"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.ServiceTimeout = Number(option, value, kMinTimeout, kMaxServiceTimeout);
       }},
      {{"--search", "TEXT"},
       // As typed, like the dialog's multi-line box: the blanks may matter.
       [](TWatchItem& item, std::string_view, const std::string& value) {
         item.SearchText = value;
       }},
      {{"--case-sensitive", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.CaseSensitive = true; }},
      {{"--no-case-sensitive", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.CaseSensitive = false; }},
      {{"--log-failed-pages", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.LogFailedPages = true; }},
      {{"--no-log-failed-pages", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.LogFailedPages = false; }},
      {{"--popup", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.PopupAction = true; }},
      {{"--no-popup", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.PopupAction = false; }},
      {{"--popup-text", "TEXT"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         if (value.size() > kMaxPopupTextLength)
           throw OptionError(option,
                             "longer than " + std::to_string(kMaxPopupTextLength) + " characters");
         item.PopupText = value;
       }},
      {{"--email", "ADDRESSES"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.EmailAddress = LineText(option, value, true);
         item.EmailAction = true;
       }},
      {{"--no-email", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.EmailAction = false; }},
      {{"--email-type", "KIND"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         const std::optional<TEmailType> type = EmailTypeByName(value);
         if (!type)
           throw OptionError(option, "'" + value + "' is not one of sms, page, report");
         item.EmailType = *type;
       }},
      {{"--report-id", "ID"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.ReportId = Number(option, value, -1, std::numeric_limits<std::int32_t>::max());
       }},
      {{"--command", "TEXT"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.Command = LineText(option, value, true);
         item.CommandAction = true;
       }},
      {{"--no-command", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.CommandAction = false; }},
      {{"--sound", "FILE"},
       [](TWatchItem& item, std::string_view option, const std::string& value) {
         item.SoundFile = LineText(option, value, true);
         item.SoundAction = true;
       }},
      {{"--no-sound", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.SoundAction = false; }},
      {{"--sound-repeat", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.SoundRepeat = true; }},
      {{"--no-sound-repeat", ""},
       [](TWatchItem& item, std::string_view, const std::string&) { item.SoundRepeat = false; }},
  };
  return table;
}

const TItemOption* FindItemOption(std::string_view name) {
  for (const TItemOption& option : ItemOptionTable()) {
    if (option.Syntax.Name == name)
      return &option;
  }
  return nullptr;
}

}  // namespace

const std::vector<TOptionSpec>& ItemOptionSpecs() {
  static const std::vector<TOptionSpec> specs = [] {
    std::vector<TOptionSpec> list;
    for (const TItemOption& option : ItemOptionTable())
      list.push_back(option.Syntax);
    return list;
  }();
  return specs;
}

bool IsItemOption(std::string_view name) {
  return FindItemOption(name) != nullptr;
}

void ApplyItemOptions(const std::vector<TParsedOption>& options, TWatchItem& item) {
  for (const TParsedOption& parsed : options) {
    if (const TItemOption* option = FindItemOption(parsed.Name))
      option->Apply(item, parsed.Name, parsed.Value);
  }
}

void ApplyItemOption(std::string_view option, std::string_view label, const std::string& value,
                     TWatchItem& item) {
  const TItemOption* known = FindItemOption(option);
  if (known == nullptr)
    throw std::logic_error("no item option " + std::string(option));
  known->Apply(item, label, value);
}

void CompleteNewItem(TWatchItem& item, bool methodGiven, bool nameGiven) {
  if (!methodGiven)
    item.CheckType = DefaultCheckType(item.Url);
  if (!nameGiven)
    item.Name = item.Url;
}

std::int32_t ParseFrequency(std::string_view option, std::string_view text) {
  std::int64_t unit = 1;
  std::string_view digits = text;
  if (!digits.empty()) {
    switch (digits.back()) {
      case 's':
      case 'S':
        unit = 1;
        digits.remove_suffix(1);
        break;
      case 'm':
      case 'M':
        unit = 60;
        digits.remove_suffix(1);
        break;
      case 'h':
      case 'H':
        unit = 3600;
        digits.remove_suffix(1);
        break;
      default:
        break;
    }
  }
  std::int64_t count = 0;
  const char* const end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, count);
  const bool number = !digits.empty() && digits.front() != '-' && stop == end &&
                      (error == std::errc() || error == std::errc::result_out_of_range);
  if (!number)
    throw OptionError(option, "'" + std::string(text) +
                                  "' is not a frequency (seconds, or a number followed by s, m "
                                  "or h: 30s, 5m, 2h)");
  const std::int64_t limit = kMaxFrequency / unit;
  if (error == std::errc::result_out_of_range || count > limit || count * unit < kMinFrequency)
    throw OptionError(option, std::string(text) + " is out of range (1 second to " +
                                  std::to_string(kMaxFrequencyInUnit) + " hours)");
  return static_cast<std::int32_t>(count * unit);
}

std::optional<TCheckType> CheckTypeByName(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "ping")
    return TCheckType::Ping;
  if (lower == "download")
    return TCheckType::Download;
  if (lower == "smtp")
    return TCheckType::Smtp;
  if (lower == "pop3")
    return TCheckType::Pop3;
  if (lower == "ftp")
    return TCheckType::Ftp;
  return std::nullopt;
}

TCheckType DefaultCheckType(std::string_view url) {
  const std::string trimmed = TrimBlanks(url);
  const std::size_t separator = trimmed.find("://");
  if (separator == std::string::npos)
    return TCheckType::Ping;
  const std::string scheme = Lower(std::string_view(trimmed).substr(0, separator));
  return scheme == "http" || scheme == "https" ? TCheckType::Download : TCheckType::Ping;
}

std::string ItemOptionsHelp() {
  return "Item settings (the last of contradicting options wins; one-line texts are\n"
         "trimmed and hold no control characters, which become blanks in a name):\n"
         "  --name TEXT              display name (at most 255 characters)\n"
         "  --url URL                URL, host name or IP address (at most 255 characters)\n"
         "  --type METHOD            ping, download, smtp, pop3 or ftp\n"
         "  --frequency SECONDS      time between checks: seconds, or with a unit\n"
         "                           (30s, 5m, 2h); 1 second to 59 hours\n"
         "  --active, --suspended    check the item, or leave it alone\n"
         "  --alarm-trigger COUNT    raise the alarm after COUNT consecutive failures\n"
         "                           (1 to 999); --no-alarm-trigger never raises it\n"
         "  --alarm-reset COUNT      reset the alarm after COUNT consecutive successes\n"
         "                           (1 to 999); --no-alarm-reset never resets it\n"
         "  --check-extra            after a failure, try twice more before it counts\n"
         "                           (--no-check-extra)\n"
         "  --check-connection       after a failure, test the Internet connection first\n"
         "                           (--no-check-connection)\n"
         "  --ping-timeout MS        slowest good echo reply, 0 to 9999 ms\n"
         "  --download-timeout MS    slowest good page download, 0 to 99999 ms\n"
         "  --service-timeout MS     slowest good SMTP, POP3 or FTP greeting, 0 to 9999 ms\n"
         "  --search TEXT            text the downloaded page must contain (as given;\n"
         "                           empty: any page with status 200 is good)\n"
         "  --case-sensitive         search with letter case (--no-case-sensitive)\n"
         "  --log-failed-pages       write failed pages to the event log\n"
         "                           (--no-log-failed-pages)\n"
         "  --popup, --no-popup      show a pop-up on alarm and reset\n"
         "  --popup-text TEXT        the pop-up's message\n"
         "  --email ADDRESSES        send e-mail on alarm and reset to these addresses,\n"
         "                           separated by \";\" (--no-email)\n"
         "  --email-type KIND        sms, page (the downloaded page) or report\n"
         "  --report-id ID           the report an e-mail of kind report sends (-1: none)\n"
         "  --command TEXT           run a program or open a URL on alarm and reset\n"
         "                           (--no-command)\n"
         "  --sound FILE             play a sound on alarm (--no-sound)\n"
         "  --sound-repeat           play it until the alarm is reset (--no-sound-repeat)\n";
}

}  // namespace vantrel
