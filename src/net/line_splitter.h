#pragma once

// Cutting received bytes into lines. The splitter is fed whatever the network
// delivered, cut anywhere, and never touches a socket: the socket's line reads
// and the HTTP response reader share it, and the same bytes split one at a
// time give the same lines as in one piece.

#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel {

// Longest line accepted; a longer one ends the reading (TooLong) instead of
// growing without bound.
inline constexpr std::size_t kMaxLineLength = 256 * 1024;

class TLineSplitter {
 public:
  // Any line end: CR LF, LF CR, CR or LF. A line that ended in a lone CR (LF)
  // swallows one LF (CR) at the start of the next bytes, even when they come
  // in a later piece: the two may be one line end cut in two.
  explicit TLineSplitter(std::size_t maxLineLength = kMaxLineLength)
      : MaxLineLength_(maxLineLength) {}
  // Only `terminator` (not empty) ends a line; other CR and LF bytes are text.
  explicit TLineSplitter(std::string_view terminator, std::size_t maxLineLength = kMaxLineLength)
      : MaxLineLength_(maxLineLength), Terminator_(terminator) {}

  // Takes bytes from the front of `input` up to and including the next line
  // end and returns true with the line (without its end) in `line`. False
  // when `input` is used up first (the bytes are held for the next call) or
  // the line is known to outgrow the limit (TooLong; what is not held yet
  // stays in `input`).
  bool Next(std::string_view& input, std::string& line);
  // Drops the byte that the last line end still swallows, if `input` starts
  // with it; for bytes that follow a line but are no line themselves.
  void Settle(std::string_view& input);
  // The byte the last line end still swallows: '\n', '\r', or 0 for none.
  char Swallows() const { return Swallow_; }
  // Bytes of a line whose end has not come.
  const std::string& Held() const { return Held_; }
  // Gives the held bytes up and starts a fresh line; what the last line end
  // swallows stays.
  std::string TakeHeld();
  bool TooLong() const { return TooLong_; }
  // Forgets everything: held bytes, the byte to swallow, TooLong.
  void Reset();

 private:
  bool NextOfAnyEnd(std::string_view& input, std::string& line);
  bool NextOfTerminator(std::string_view& input, std::string& line);

  std::size_t MaxLineLength_;
  std::string Terminator_;  // empty: any line end
  std::string Held_;
  char Swallow_ = 0;
  bool TooLong_ = false;
};

}  // namespace vantrel
