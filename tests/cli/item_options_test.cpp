// The item options of `items add` and `items set`, and the fields they set.

#include "cli/item_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/watch_item.h"
#include "every_item_option.h"

namespace vantrel {
namespace {

void Apply(TWatchItem& item, const std::vector<std::string>& args) {
  ApplyItemOptions(ParseArgs(args, ItemOptionSpecs()).Options, item);
}

std::string ErrorOf(const std::vector<std::string>& args) {
  TWatchItem item;
  try {
    Apply(item, args);
  } catch (const EUsageError& e) {
    return e.what();
  }
  return "no error";
}

TEST(ItemOptions, EverySettingReachesItsField) {
  TWatchItem item;
  Apply(item, test::EveryItemOption());
  EXPECT_EQ(item.Name, "Shop, \"main\"");  // single-line texts trimmed, as the dialog saves them
  EXPECT_EQ(item.Url, "https://shop.test/");
  EXPECT_EQ(item.CheckType, TCheckType::Pop3);
  EXPECT_EQ(item.Frequency(), 90);
  EXPECT_EQ(item.Status(), TWatchStatus::Suspended);
  EXPECT_TRUE(item.AlarmTrigger && item.AlarmReset && item.CheckExtra && item.CheckConnection);
  EXPECT_EQ(item.TriggerCount, 4);
  EXPECT_EQ(item.ResetCount, 2);
  EXPECT_EQ(item.PingTimeout, 500);
  EXPECT_EQ(item.DownloadTimeout, 12000);
  EXPECT_EQ(item.ServiceTimeout, 1500);
  EXPECT_EQ(item.SearchText, " Buy,\n\"now\" ");  // as given: its blanks may matter
  EXPECT_TRUE(item.CaseSensitive && item.LogFailedPages);
  EXPECT_FALSE(item.PopupAction);
  EXPECT_EQ(item.PopupText, " down ");
  EXPECT_TRUE(item.EmailAction && item.CommandAction && item.SoundAction && item.SoundRepeat);
  EXPECT_EQ(item.EmailAddress, "a@x.test;b@x.test");
  EXPECT_EQ(item.EmailType, TEmailType::Report);
  EXPECT_EQ(item.ReportId, 7);
  EXPECT_EQ(item.Command, "notify-send down");
  EXPECT_EQ(item.SoundFile, "/tmp/alarm.wav");

  // Switched off, the actions keep their values; the last contradicting option wins.
  Apply(item, {"--no-alarm-trigger", "--no-alarm-reset", "--no-check-extra",
               "--no-check-connection", "--no-case-sensitive", "--no-log-failed-pages", "--popup",
               "--no-email", "--no-command", "--no-sound", "--no-sound-repeat", "--suspended",
               "--active", "--type", "ftp", "--type", "smtp", "--email-type", "SMS"});
  EXPECT_FALSE(item.AlarmTrigger || item.AlarmReset || item.CheckExtra || item.CheckConnection);
  EXPECT_FALSE(item.CaseSensitive || item.LogFailedPages);
  EXPECT_FALSE(item.EmailAction || item.CommandAction || item.SoundAction || item.SoundRepeat);
  EXPECT_TRUE(item.PopupAction);
  EXPECT_EQ(item.TriggerCount, 4);
  EXPECT_EQ(item.EmailAddress, "a@x.test;b@x.test");
  EXPECT_EQ(item.Status(), TWatchStatus::Up);
  EXPECT_EQ(item.CheckType, TCheckType::Smtp);
  EXPECT_EQ(item.EmailType, TEmailType::Sms);
}

TEST(ItemOptions, NumbersAcceptedUpToTheDialogsBoundsAndNotBeyond) {
  struct TBound {
    const char* Option;
    const char* Lowest;
    const char* Highest;
    const char* Below;
    const char* Above;
  };
  for (const TBound& bound : {TBound{"--ping-timeout", "0", "9999", "-1", "10000"},
                              TBound{"--download-timeout", "0", "99999", "-1", "100000"},
                              TBound{"--service-timeout", "0", "9999", "-1", "10000"},
                              TBound{"--alarm-trigger", "1", "999", "0", "1000"},
                              TBound{"--alarm-reset", "1", "999", "0", "1000"},
                              TBound{"--report-id", "-1", "2147483647", "-2", "2147483648"}}) {
    EXPECT_EQ(ErrorOf({bound.Option, bound.Lowest}), "no error") << bound.Option;
    EXPECT_EQ(ErrorOf({bound.Option, bound.Highest}), "no error") << bound.Option;
    for (const char* outside : {bound.Below, bound.Above})
      EXPECT_NE(
          ErrorOf({bound.Option, outside}).find(": " + std::string(outside) + " is out of range"),
          std::string::npos)
          << bound.Option;
    EXPECT_EQ(ErrorOf({bound.Option, "ten"}),
              std::string(bound.Option) + ": 'ten' is not a whole number");
  }
}

TEST(ItemOptions, TextsTheDialogWouldRefuseAreNamed) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--name", "   "}, "--name: must not be empty"},
      {{"--url", ""}, "--url: must not be empty"},
      {{"--email", " "}, "--email: must not be empty"},
      {{"--name", std::string(255, 'n')}, "no error"},
      {{"--name", std::string(256, 'n')}, "--name: longer than 255 characters"},
      {{"--sound", std::string(256, 's')}, "--sound: longer than 255 characters"},
      {{"--popup-text", std::string(65535, 'p')}, "no error"},
      {{"--popup-text", std::string(65536, 'p')}, "--popup-text: longer than 65535 characters"},
      {{"--type", "telnet"}, "--type: 'telnet' is not one of ping, download, smtp, pop3, ftp"},
      {{"--email-type", "fax"}, "--email-type: 'fax' is not one of sms, page, report"},
  };
  for (const auto& [args, message] : cases)
    EXPECT_EQ(ErrorOf(args), message) << args.front();
}

// A line break and an escape sequence in a name would forge a "*** ... DOWN"
// line and clear the screen wherever the name is printed; in a URL, an e-mail
// address or a command they would change what is requested, sent or run.
TEST(ItemOptions, ControlCharactersBecomeBlanksInANameAndAreRefusedInOtherLineTexts) {
  TWatchItem item;
  Apply(item, {"--name", "web\r\n12:00  *** shop DOWN\x1b[2J\t", "--url", " http://web.test/\n"});
  EXPECT_EQ(item.Name, "web  12:00  *** shop DOWN [2J");
  EXPECT_EQ(item.Url, "http://web.test/");  // trimmed like any blank at the ends
  const char* const refusal =
      ": must not contain control characters (line breaks, tabs, escape sequences)";
  for (const char* option : {"--url", "--email", "--command", "--sound"})
    EXPECT_EQ(ErrorOf({option, "a.test\r\nRCPT TO:<b@x.test>"}), option + std::string(refusal));
  EXPECT_EQ(ErrorOf({"--url", "a.test/\x1b[2J"}), "--url" + std::string(refusal));
}

TEST(ItemOptions, FrequencyIsSecondsOrANumberWithAUnitFromOneSecondToFiftyNineHours) {
  const std::pair<const char*, int> accepted[] = {
      {"1", 1},     {"90", 90},         {"30s", 30},          {"5m", 300},
      {"2H", 7200}, {"59h", 59 * 3600}, {"3540m", 59 * 3600}, {"212400", 59 * 3600},
  };
  for (const auto& [text, seconds] : accepted)
    EXPECT_EQ(ParseFrequency("--frequency", text), seconds) << text;

  const auto error = [](const char* text) {
    try {
      ParseFrequency("--frequency", text);
    } catch (const EUsageError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  for (const char* text : {"0", "0s", "60h", "212401", "3541m", "99999999999999999999h"})
    EXPECT_EQ(error(text),
              "--frequency: " + std::string(text) + " is out of range (1 second to 59 hours)");
  for (const char* text : {"", "m", "-5", "1.5h", "5 m", "5d", "+5"})
    EXPECT_EQ(error(text).rfind("--frequency: '" + std::string(text) + "' is not a frequency", 0),
              0u)
        << error(text);
}

TEST(ItemOptions, HttpAndHttpsUrlsAreDownloadedEverythingElsePinged) {
  EXPECT_EQ(DefaultCheckType("http://shop.test/"), TCheckType::Download);
  EXPECT_EQ(DefaultCheckType("  HTTPS://shop.test/ "), TCheckType::Download);
  for (const char* url : {"ftp://files.test/", "shop.test", "192.0.2.1", "://odd"})
    EXPECT_EQ(DefaultCheckType(url), TCheckType::Ping) << url;
}

TEST(ItemOptions, OtherOptionsAreLeftAloneAndTheHelpNamesEveryItemOption) {
  TWatchItem item;
  ApplyItemOptions({{"--data-dir", "/tmp"}, {"--help", ""}, {"--name", "kept"}}, item);
  EXPECT_EQ(item.Name, "kept");
  EXPECT_FALSE(IsItemOption("--data-dir"));
  const std::string help = ItemOptionsHelp();
  for (const TOptionSpec& known : ItemOptionSpecs())
    EXPECT_NE(help.find(known.Name), std::string::npos) << known.Name;
}

}  // namespace
}  // namespace vantrel
