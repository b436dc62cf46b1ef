#pragma once

// Reading one HTTP response from the bytes of a connection: the status line,
// the header lines, and the body delimited by length, by chunks or by the end
// of the connection. The HTTP client feeds it what the socket delivers and
// tells it when the delivery ends, so every rule here is tested on strings.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_chunks.h"

namespace vantrel {

// How the body of a response is delimited.
enum class THttpBodyMode : std::uint8_t { UntilClose = 0, ByLength = 1, Chunked = 2 };

// Most bytes of a response body kept. Plenty for a page check; a server
// sending more (or without end) cannot fill the memory.
inline constexpr std::size_t kMaxHttpBodyLength = 32 * 1024 * 1024;

// Most header lines and header bytes (line ends counted) of one response; a
// server sending endless header lines ends the response there, as one that
// sent no status line (code 0).
inline constexpr std::size_t kMaxHttpHeaderLines = 1000;
inline constexpr std::size_t kMaxHttpHeaderLength = 1024 * 1024;

// The status code of a status line: the first word after the first blank,
// 0 when it is not a plain decimal number. Runs of blanks count as one, as
// SeparateLeft and SeparateRight trim.
std::int32_t HttpStatusCodeOf(std::string_view line);
// The reason phrase: the text after the blank that follows the status code,
// trimmed; empty when there is none.
std::string HttpReasonOf(std::string_view line);

class THttpResponseReader {
 public:
  struct TOptions {
    bool Head = false;  // a HEAD request: no body follows the header lines
    // "Expect: 100-continue" was sent: an interim 1xx answer may come first.
    bool ExpectContinue = false;
    std::size_t MaxBodyLength = kMaxHttpBodyLength;
  };

  explicit THttpResponseReader(TOptions options);

  // Consumes received bytes and returns how many it took. It takes none after
  // the end of the response (Done) nor while ContinueReceived; the rest is
  // for the caller to keep or drop.
  std::size_t Feed(std::string_view bytes);
  // The bytes ended before Done: `error` is the socket error that ended them
  // (the peer's close, a wait or the deadline that ran out, an abort). What
  // arrived stays the response: a body cut short keeps its bytes; nothing at
  // all, or an unfinished first line, counts as body data after CR LF; a
  // header block without its empty line gives code 0.
  void End(std::int32_t error);

  // The response is complete, cut short by End, or stopped at a limit.
  bool Done() const { return State_ == TState::Done; }
  // An interim 1xx answer to "Expect: 100-continue" has been read: the
  // request body may be sent now; then Resume reads the final response.
  bool ContinueReceived() const { return State_ == TState::ContinueReceived; }
  void Resume();

  // The status line (when one came), the header lines and the empty line
  // that ended them.
  std::vector<std::string>& Headers() { return Headers_; }
  std::string& Body() { return Body_.Data; }
  // The status code; 0 without a status line or when the header lines
  // never ended.
  std::int32_t ResultCode() const { return ResultCode_; }
  const std::string& ResultString() const { return ResultString_; }
  // The Content-Type value, when the response carried one.
  const std::optional<std::string>& ContentType() const { return ContentType_; }
  THttpBodyMode BodyMode() const { return BodyMode_; }
  // A "Connection: Close" line came.
  bool ConnectionClose() const { return ConnectionClose_; }
  // The length of the last body part read by length (the body, or a chunk).
  std::optional<std::uint64_t> LastPartLength() const;
  // The body reached MaxBodyLength; the rest was not stored.
  bool BodyCapped() const { return Body_.Capped; }
  // Why reading ended before the response did: 0 when it ended by its own
  // length, its last chunk, or a body that needs none; the error given to
  // End; kSockMessageTooLong when a header line or the header block outgrew
  // its limit.
  std::int32_t EndError() const { return EndError_; }

 private:
  enum class TState : std::uint8_t {
    Interim,           // waiting for the answer to "Expect: 100-continue"
    InterimHeaders,    // dropping the header lines of a 1xx answer
    ContinueReceived,  // the caller sends the body, then calls Resume
    StatusLine,        // waiting for the first non-empty line
    HeaderLines,       // until the empty line
    LengthBody,        // Remaining_ bytes
    ChunkedBody,       // Chunks_
    CloseBody,         // everything until End
    Done,
  };

  void TakeStatusLine(std::string line);
  void TakeHeaderLine(std::string line);
  void StartBody();
  void Finish(std::int32_t error);

  TOptions Options_;
  TState State_;
  TLineSplitter Lines_;
  THttpChunkDecoder Chunks_;
  THttpBody Body_;
  std::vector<std::string> Headers_;
  std::size_t HeaderLength_ = 0;
  std::int32_t ResultCode_ = 0;
  std::string ResultString_;
  std::optional<std::string> ContentType_;
  THttpBodyMode BodyMode_ = THttpBodyMode::UntilClose;
  std::uint64_t ContentLength_ = 0;
  std::uint64_t Remaining_ = 0;
  std::optional<std::uint64_t> LengthRead_;  // a body read by length was begun
  bool ConnectionClose_ = false;
  std::int32_t EndError_ = 0;
};

}  // namespace vantrel
