#pragma once

// Rows of comma-separated values as spreadsheets write them: cells separated
// by commas, rows by LF or CR LF; a cell in double quotes may hold commas,
// line breaks and doubled quotes ("" for one). Empty lines are skipped.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

using TCsvRow = std::vector<std::string>;

// A text that is not CSV: a quoted cell left open, or text after the closing
// quote of a cell. `Row()` is the index of the row (0 for the first).
class ECsvError : public std::runtime_error {
 public:
  ECsvError(std::size_t row, const std::string& what) : std::runtime_error(what), Row_(row) {}
  std::size_t Row() const { return Row_; }

 private:
  std::size_t Row_;
};

// The rows of `text`, cells unquoted. A UTF-8 byte-order mark at the start is
// dropped. Throws ECsvError.
std::vector<TCsvRow> SplitCsvRows(std::string_view text);

}  // namespace vantrel
