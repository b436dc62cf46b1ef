#pragma once

#include <string>
#include <vector>

namespace vantrel::test {

// Every item option, each with a value other than a new item's: texts with a
// comma, quotes, a line break and blanks at their ends.
inline std::vector<std::string> EveryItemOption() {
  std::vector<std::string> args;
  args.insert(args.end(), {"--name", " Shop, \"main\" ", "--url", " https://shop.test/ ", "--type",
                           "POP3", "--frequency", "90", "--suspended", "--alarm-trigger", "4",
                           "--alarm-reset", "2", "--check-extra", "--check-connection"});
  args.insert(args.end(),
              {"--ping-timeout", "500", "--download-timeout", "12000", "--service-timeout", "1500",
               "--search", " Buy,\n\"now\" ", "--case-sensitive", "--log-failed-pages",
               "--no-popup", "--popup-text", " down "});
  args.insert(args.end(),
              {"--email", "a@x.test;b@x.test", "--email-type", "report", "--report-id", "7",
               "--command", "notify-send down", "--sound", "/tmp/alarm.wav", "--sound-repeat"});
  return args;
}

}  // namespace vantrel::test
