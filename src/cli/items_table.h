#pragma once

// What `items list` prints: the items in the display texts of the item list
// and the details pane, or every field as JSON for programs. Names, URLs and
// the other texts show their control characters as escapes ("\n", "\x1b"),
// so that no item can forge a line or drive the terminal.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/date_time.h"

namespace vantrel {

class TWatchList;

// One row per item under a heading: its Id, then the status, name, URL,
// method, frequency and statistics as the table view shows them.
void WriteItemsTable(std::ostream& out, const TWatchList& list);

// Per item, the properties the preferences show, in their order, one
// "caption  value" line each, as the details pane shows them.
void WriteItemsDetails(std::ostream& out, const TWatchList& list);

// The names of the fields WriteItemsJson writes, in its order.
std::vector<std::string> ItemFieldNames();

// A JSON array with one object per item, holding every field of the item
// under its own name: enumerations by their names ("Up", "Download", "Page"),
// date-times as ISO 8601 local times with their offset, or null for none.
void WriteItemsJson(std::ostream& out, const TWatchList& list);

// `text` as a JSON string with its quotes. Texts are 8-bit: bytes that do not
// form UTF-8 are read as Latin-1, so every text gives valid JSON.
std::string JsonString(std::string_view text);

// "2024-03-01T14:05:09.250+01:00" in the local time zone; "null" for a
// date-time of 0 or less (none).
std::string JsonDateTime(TDateTime value);

// The width of `text` on a terminal, counting UTF-8 sequences as one.
std::size_t TextWidth(std::string_view text);

}  // namespace vantrel
