// The records `items import` reads: how a CSV header names the fields.

#include "cli/item_records.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

TEST(ItemRecords, CsvHeaderNamesKnownFieldsOnceAndTheUrl) {
  const std::pair<std::string, std::string> cases[] = {
      {"Url,Name\nx.test,X\n", "Name=X Url=x.test "},
      // Any letter case; blanks around names; a byte-order mark; CR LF.
      {"\xEF\xBB\xBF url , NAME\r\nx.test,X\r\n", "Name=X Url=x.test "},
      // Columns of the export that are no setting are skipped; empty cells too.
      {"Id,Url,TimesChecked,Name\n7,x.test,3,\n", "Url=x.test "},
      {"Name,\"Url\"\n\"X, \"\"the\"\"\nsite\",x.test\n", "Name=X, \"the\"\nsite Url=x.test "},
      {"Url,Nmae\nx.test,X\n", "header: unknown field 'Nmae' (did you mean Name?)"},
      {"Url,Name,url\n", "header: field url named twice"},
      {"Url,,Name\n", "header: column 2 has no name"},
      {"Name,Frequency\nX,60\n", "header: no Url column (the URL or host of each item)"},
      {"Url,Name\nx.test\n", "record 1: 1 cells where the header names 2"},
      {"Url,Name\nx.test,\"X\n", "record 1: a quoted cell is not closed"},
      {"Url,Name\nx.test,\"X\"Y\n", "record 1: text after the closing quote of a cell"},
      {"\n\n", "no header row naming the fields (Url, Name, Frequency ...)"},
  };
  for (const auto& [csv, expected] : cases) {
    std::string read;
    try {
      for (const TItemRecord& record : ReadCsvRecords(csv)) {
        for (const auto& [field, value] : record.Fields)
          read += field + "=" + value + " ";
      }
    } catch (const EImportError& e) {
      read = e.what();
    }
    EXPECT_EQ(read, expected) << csv;
  }
}

}  // namespace
}  // namespace vantrel
