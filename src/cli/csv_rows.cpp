#include "cli/csv_rows.h"

namespace vantrel {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool AtLineEnd(std::string_view text, std::size_t i) {
  return text[i] == '\n' || (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
}

// Moves `i` past the line end at `i`.
void SkipLineEnd(std::string_view text, std::size_t& i) {
  i += text[i] == '\r' ? 2 : 1;
}

}  // namespace

std::vector<TCsvRow> SplitCsvRows(std::string_view text) {
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark)
    text.remove_prefix(kUtf8Mark.size());
  std::vector<TCsvRow> rows;
  std::size_t i = 0;
  while (i < text.size()) {
    if (AtLineEnd(text, i)) {  // an empty line
      SkipLineEnd(text, i);
      continue;
    }
    const std::size_t row = rows.size();
    TCsvRow cells;
    for (;;) {
      std::string cell;
      if (i < text.size() && text[i] == '"') {
        ++i;
        for (;;) {
          if (i >= text.size())
            throw ECsvError(row, "a quoted cell is not closed");
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              cell += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          cell += text[i++];
        }
        if (i < text.size() && text[i] != ',' && !AtLineEnd(text, i))
          throw ECsvError(row, "text after the closing quote of a cell");
      } else {
        while (i < text.size() && text[i] != ',' && !AtLineEnd(text, i))
          cell += text[i++];
      }
      cells.push_back(std::move(cell));
      if (i < text.size() && text[i] == ',') {
        ++i;
        continue;
      }
      if (i < text.size())
        SkipLineEnd(text, i);
      break;
    }
    rows.push_back(std::move(cells));
  }
  return rows;
}

}  // namespace vantrel
