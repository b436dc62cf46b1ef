#pragma once

// The byte-level pieces of reading an HTTP response: lines, a body that keeps
// to its limit, and the chunked body. They are fed whatever the network
// delivered, cut anywhere, and never touch a socket, so the same bytes split
// one at a time give the same result as in one piece.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/block_socket.h"

namespace vantrel {

// Lines as the socket's line reads give them with AcceptAnyLineEnd: CR LF,
// LF CR, CR or LF ends a line. A line that ended in a lone CR (LF) swallows
// one LF (CR) coming next, even when it arrives in a later piece.
class THttpLineSplitter {
 public:
  explicit THttpLineSplitter(std::size_t maxLineLength = kMaxLineLength)
      : MaxLineLength_(maxLineLength) {}

  // Takes bytes from the front of `input` up to and including the next line
  // end and returns true with the line (without its end) in `line`. False
  // when `input` is used up first (the bytes are held for the next call) or
  // the line outgrows the limit (TooLong; nothing more is taken).
  bool Next(std::string_view& input, std::string& line);
  // Drops the byte that the last line end still swallows, if `input` starts
  // with it; for bytes that follow a line but are no line themselves.
  void Settle(std::string_view& input);
  // Bytes of a line whose end has not come.
  const std::string& Held() const { return Held_; }
  bool TooLong() const { return TooLong_; }

 private:
  std::size_t MaxLineLength_;
  std::string Held_;
  char Swallow_ = 0;  // '\n' or '\r' to drop when it comes next; 0: none
  bool TooLong_ = false;
};

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
  void Feed(std::string_view& input, THttpLineSplitter& lines, THttpBody& body);
  bool Done() const { return Done_; }
  // The size of the last chunk begun; nothing before the first one.
  std::optional<std::uint64_t> LastChunkSize() const { return LastChunkSize_; }

 private:
  std::uint64_t Remaining_ = 0;  // data bytes of the current chunk still to come
  std::optional<std::uint64_t> LastChunkSize_;
  bool Done_ = false;
};

}  // namespace vantrel
