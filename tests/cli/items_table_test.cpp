// What `items list` prints: the table, the details and the JSON.

#include "cli/items_table.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <sstream>
#include <string>
#include <vector>

#include "core/watch_list_fixture.h"
#include "support/test_env.h"

namespace vantrel {
namespace {

class ItemsOutput : public test::TWatchListFixture {
 protected:
  TWatchItem& AddItem(const std::string& name, const std::string& url, TCheckType type) {
    TWatchItem source(Clock);
    source.Name = name;
    source.Url = url;
    source.CheckType = type;
    return List.AddItem(source);
  }

  template <class TWriter>
  std::vector<std::string> Lines(TWriter write) {
    std::ostringstream out;
    write(out, List);
    std::vector<std::string> lines;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }

  test::TLocaleGuard Locale{"C"};
};

TEST_F(ItemsOutput, TableShowsTheDisplayTextsInColumnsCountedInLetters) {
  TWatchItem& web = AddItem("Café", "http://web.test/", TCheckType::Download);
  web.TimesChecked = 3;
  web.TimesFailed = 1;
  web.SetFrequency(7200);
  AddItem("mail", "mail.test", TCheckType::Smtp).SetActive(false);

  const std::vector<std::string> lines = Lines(WriteItemsTable);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("Id  Status     Name  URL/IP            Checking Type  ", 0), 0u)
      << lines[0];
  for (const char* text : {"by Download", "2 hour(s)", "33%", "Up"})
    EXPECT_NE(lines[1].find(text), std::string::npos) << text << " in " << lines[1];
  for (const char* text : {"Suspended", "SMTP", "1 minute(s)", "no data", "no failed"})
    EXPECT_NE(lines[2].find(text), std::string::npos) << text << " in " << lines[2];
  // "é" is two bytes but one letter wide.
  EXPECT_EQ(lines[1].find("http://"), lines[0].find("URL/IP") + 1);
  EXPECT_EQ(lines[2].find("mail.test"), lines[0].find("URL/IP"));
}

// A stored file may hold names and URLs with line breaks and escape
// sequences (written by an older version or another program).
TEST_F(ItemsOutput, TableAndDetailsShowControlCharactersAsEscapes) {
  AddItem("web\r\n1  Down  *** shop\x1b[2J", "http://web.test/\x07", TCheckType::Download);
  const std::vector<std::string> table = Lines(WriteItemsTable);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_NE(table[1].find("web\\r\\n1  Down  *** shop\\x1b[2J  http://web.test/\\x07  "),
            std::string::npos)
      << table[1];
  const std::vector<std::string> details = Lines(WriteItemsDetails);
  EXPECT_EQ(details[2], "  Name                   web\\r\\n1  Down  *** shop\\x1b[2J");
  EXPECT_EQ(details[3], "  URL/IP                 http://web.test/\\x07");
}

TEST_F(ItemsOutput, DetailsShowEveryShownPropertyAndNoLineEndsInABlank) {
  AddItem("web", "http://web.test/", TCheckType::Download);  // no user name or address
  const std::vector<std::string> details = Lines(WriteItemsDetails);
  ASSERT_EQ(details.size(), 22u);
  EXPECT_EQ(details[0], "Item 1");
  EXPECT_EQ(details[1].rfind("  Status                 Up", 0), 0u) << details[1];
  EXPECT_EQ(details[7], "  Username               root");
  EXPECT_EQ(details[8], "  User Full Name");
  EXPECT_EQ(details[21], "  Consecutive Successes  0");
  for (const auto& lines : {details, Lines(WriteItemsTable)}) {
    for (const std::string& line : lines)
      EXPECT_TRUE(line.empty() || line.back() != ' ') << '"' << line << '"';
  }
}

TEST_F(ItemsOutput, JsonHoldsEveryFieldOfEveryItemUnderItsName) {
  std::ostringstream empty;
  WriteItemsJson(empty, List);
  EXPECT_EQ(empty.str(), "[]\n");

  TWatchItem& web = AddItem("web \"main\"", "http://web.test/", TCheckType::Download);
  web.SearchText = "line one\nline two";
  web.EmailType = TEmailType::Report;
  AddItem("mail", "mail.test", TCheckType::Pop3).SetActive(false);
  std::ostringstream out;
  WriteItemsJson(out, List);
  QJsonParseError error;
  const QJsonArray items =
      QJsonDocument::fromJson(QByteArray::fromStdString(out.str()), &error).array();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << out.str();
  ASSERT_EQ(items.size(), 2);
  const QJsonObject first = items[0].toObject();
  EXPECT_EQ(first.size(), 49);
  EXPECT_EQ(first["Id"].toInt(), 1);
  EXPECT_EQ(first["Name"].toString(), "web \"main\"");
  EXPECT_EQ(first["SearchText"].toString(), "line one\nline two");
  EXPECT_EQ(first["CheckType"].toString(), "Download");
  EXPECT_EQ(first["EmailType"].toString(), "Report");
  EXPECT_EQ(first["LastResponseCode"].toInt(), -1);
  EXPECT_TRUE(first["LastFailure"].isNull());
  EXPECT_TRUE(first["Created"].isString());
  EXPECT_EQ(items[1].toObject()["CheckType"].toString(), "Pop3");
  EXPECT_EQ(items[1].toObject()["Status"].toString(), "Suspended");
}

TEST(JsonText, EscapesAndReadsBytesThatAreNotUtf8AsLatin1) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\"b\\c", R"("a\"b\\c")"},
      {"\n\r\t", R"("\n\r\t")"},
      {std::string("\x01\x7f\0", 3), R"("\u0001\u007f\u0000")"},
      {"caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},
      {"caf\xe9", R"("caf\u00e9")"},
      // Overlong forms, surrogates and cut sequences are not UTF-8.
      {"\xc0\xaf", R"("\u00c0\u00af")"},
      {"\xed\xa0\x80", R"("\u00ed\u00a0\u0080")"},
      {"\xe2\x82", R"("\u00e2\u0082")"},
  };
  for (const auto& [text, json] : cases)
    EXPECT_EQ(JsonString(text), json);
  EXPECT_EQ(TextWidth("caf\xc3\xa9"), 4u);
  EXPECT_EQ(TextWidth("caf\xe9"), 4u);
}

TEST(JsonText, DateTimeIsIsoLocalTimeWithItsOffsetOrNullForNone) {
  const std::pair<const char*, const char*> zones[] = {
      {"UTC0", "\"2024-03-01T14:05:09.250+00:00\""},
      {"EST5", "\"2024-03-01T14:05:09.250-05:00\""},
      {"IST-5:30", "\"2024-03-01T14:05:09.250+05:30\""},
  };
  for (const auto& [zone, text] : zones) {
    test::TTimeZoneGuard guard(zone);
    EXPECT_EQ(JsonDateTime(EncodeDateTime(2024, 3, 1, 14, 5, 9, 250)), text);
  }
  EXPECT_EQ(JsonDateTime(0), "null");
  EXPECT_EQ(JsonDateTime(-1), "null");
}

}  // namespace
}  // namespace vantrel
