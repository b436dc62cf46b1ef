#include "net/line_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace vantrel {
namespace {

// Feeds `bytes` whole or one byte at a time and returns the lines; `rest` gets
// the bytes held and left unread when the bytes ran out or the line grew too long.
std::vector<std::string> Split(TLineSplitter& splitter, std::string_view bytes, bool byteByByte,
                               std::string& rest) {
  std::vector<std::string> lines;
  std::string line;
  std::string_view piece;
  std::size_t at = 0;
  while (at < bytes.size() && !splitter.TooLong()) {
    piece = bytes.substr(at, byteByByte ? 1 : std::string_view::npos);
    at += piece.size();
    while (splitter.Next(piece, line))
      lines.push_back(line);
  }
  rest = splitter.Held() + std::string(piece) + std::string(bytes.substr(at));
  return lines;
}

TEST(LineSplitter, LineEndsAndTheLimitHoldHoweverTheBytesAreCut) {
  // The terminator (else only it ends a line; "": any line end), the limit, the
  // bytes, the lines, the rest and whether the line grew too long.
  const std::vector<std::tuple<std::string, std::size_t, std::string, std::vector<std::string>,
                               std::string, bool>>
      rows = {
          // CR LF, LF CR, CR, LF: one line end each, also when cut between the two bytes.
          {"", 16, "a\r\nb\n\rc\rd\ne\r\n\r\nf\n", {"a", "b", "c", "d", "e", "", "f"}, "", false},
          {"", 16, "g\n\nh\r\ri\r", {"g", "", "h", "", "i"}, "", false},  // two lone ends
          {"", 16, "cut by the end", {}, "cut by the end", false},
          {"", 8, "12345678\r\n123456789\r\nnext", {"12345678"}, "123456789\r\nnext", true},
          {"\r\n", 16, "l1\r\nl2\nl3\rl4\n\r\r\n\r\nl5", {"l1", "l2\nl3\rl4\n\r", ""}, "l5", false},
          {"END", 16, "head-ENENDtail", {"head-EN"}, "tail", false},
          {"END", 4, "1234END1234EN", {"1234"}, "1234EN", false},
          {"END", 4, "12345END", {}, "12345END", true},
          {"END", 4, "12345EN", {}, "12345EN", true},  // known too long before its end comes
      };
  for (const auto& [terminator, limit, bytes, lines, rest, tooLong] : rows) {
    for (const bool byteByByte : {false, true}) {
      TLineSplitter splitter =
          terminator.empty() ? TLineSplitter(limit) : TLineSplitter(terminator, limit);
      std::string left;
      EXPECT_EQ(Split(splitter, bytes, byteByByte, left), lines) << bytes << byteByByte;
      EXPECT_EQ(left, rest) << bytes << byteByByte;
      EXPECT_EQ(splitter.TooLong(), tooLong) << bytes << byteByByte;
    }
  }
}

}  // namespace
}  // namespace vantrel
