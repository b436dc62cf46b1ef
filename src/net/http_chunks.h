#pragma once

// The byte-level pieces of reading an HTTP response besides its lines: a
// body that keeps to its limit, and the chunked body. They are fed whatever
// the network delivered, cut anywhere, and never touch a socket, so the same
// bytes split one at a time give the same result as in one piece.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/line_splitter.h"

namespace vantrel {

// A response body that never grows past its limit: bytes beyond it are
// dropped and Capped set.
struct THttpBody {
  explicit THttpBody(std::size_t limit) : Limit(limit) {}
  // Appends what still fits; false once the limit is reached.
  bool Append(std::string_view bytes);

  std::string Data;
  std::size_t Limit;
  bool Capped = false;
};

// The size of a chunk-size line: its text up to the first blank, tab or ";"
// (a chunk extension such as "1a;name=value") as a hexadecimal number.
// Anything else (a sign, nothing at all, more than 64 bits) counts as 0,
// which ends the body.
std::uint64_t ChunkSizeOf(std::string_view line);

// A chunked body: size lines (empty lines skipped) each followed by that many
// bytes of data, until a size of 0. Trailer lines after the last chunk are
// left unread. Uses the caller's line splitter so that a half line end at a
// boundary is treated alike everywhere.
class THttpChunkDecoder {
 public:
  // Consumes bytes from the front of `input`, appending data to `body`. Stops
  // at the end of the body (Done), at a size line beyond the line limit
  // (the splitter's TooLong) or when the body is capped.
  void Feed(std::string_view& input, TLineSplitter& lines, THttpBody& body);
  bool Done() const { return Done_; }
  // The size of the last chunk begun; nothing before the first one.
  std::optional<std::uint64_t> LastChunkSize() const { return LastChunkSize_; }

 private:
  std::uint64_t Remaining_ = 0;  // data bytes of the current chunk still to come
  std::optional<std::uint64_t> LastChunkSize_;
  bool Done_ = false;
};

}  // namespace vantrel
