#include "net/http_response.h"

#include <algorithm>
#include <cctype>

#include "net/socket_errors.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

// Up to this much of a declared length is reserved at once; a larger body
// grows as it arrives, so a false length costs nothing.
constexpr std::size_t kMaxBodyReserve = 1024 * 1024;

// A plain decimal number (no sign) of at most 18 digits.
std::optional<std::uint64_t> DecimalOf(std::string_view text) {
  if (text.empty() || text.size() > 18)
    return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

std::int32_t HttpStatusCodeOf(std::string_view line) {
  const std::string code = SeparateLeft(SeparateRight(line, " "), " ");
  if (code.size() > 9)
    return 0;
  return static_cast<std::int32_t>(DecimalOf(code).value_or(0));
}

std::string HttpReasonOf(std::string_view line) {
  const std::string rest = SeparateRight(line, " ");
  // Without a blank after the code, SeparateRight would give the code back.
  return rest.find(' ') == std::string::npos ? std::string() : SeparateRight(rest, " ");
}

THttpResponseReader::THttpResponseReader(TOptions options)
    : Options_(options),
      State_(options.ExpectContinue ? TState::Interim : TState::StatusLine),
      Body_(options.MaxBodyLength) {}

void THttpResponseReader::Resume() {
  if (State_ == TState::ContinueReceived)
    State_ = TState::StatusLine;
}

std::optional<std::uint64_t> THttpResponseReader::LastPartLength() const {
  return BodyMode_ == THttpBodyMode::Chunked ? Chunks_.LastChunkSize() : LengthRead_;
}

std::size_t THttpResponseReader::Feed(std::string_view bytes) {
  std::string_view in = bytes;
  while (!in.empty() && State_ != TState::Done && State_ != TState::ContinueReceived) {
    switch (State_) {
      case TState::Interim:
      case TState::InterimHeaders:
      case TState::StatusLine:
      case TState::HeaderLines: {
        std::string line;
        if (Lines_.Next(in, line)) {
          if (State_ == TState::Interim) {
            if (line.empty())
              break;
            const std::int32_t code = HttpStatusCodeOf(line);
            if (code >= 100 && code <= 199) {
              State_ = TState::InterimHeaders;
            } else {
              // The final answer came instead: whatever it is, it is the status line.
              ResultCode_ = code;
              ResultString_ = HttpReasonOf(line);
              HeaderLength_ = line.size() + 2;
              Headers_.push_back(std::move(line));
              State_ = TState::HeaderLines;
            }
          } else if (State_ == TState::InterimHeaders) {
            if (line.empty())
              State_ = TState::ContinueReceived;
          } else if (State_ == TState::StatusLine) {
            if (!line.empty())
              TakeStatusLine(std::move(line));
          } else {
            TakeHeaderLine(std::move(line));
          }
        } else if (Lines_.TooLong()) {
          if (State_ == TState::StatusLine) {
            // No status line in sight: all of it is body data.
            Body_.Append("\r\n");
            Body_.Append(Lines_.Held());
            State_ = TState::CloseBody;
          } else {
            Finish(kSockMessageTooLong);
          }
        }
        break;
      }
      case TState::LengthBody: {
        Lines_.Settle(in);
        const std::size_t take =
            static_cast<std::size_t>(std::min<std::uint64_t>(Remaining_, in.size()));
        const bool fits = Body_.Append(in.substr(0, take));
        in.remove_prefix(take);
        Remaining_ -= take;
        if (!fits || Remaining_ == 0)
          Finish(0);
        break;
      }
      case TState::ChunkedBody:
        Chunks_.Feed(in, Lines_, Body_);
        if (Lines_.TooLong())
          Finish(kSockMessageTooLong);
        else if (Chunks_.Done() || Body_.Capped)
          Finish(0);
        break;
      case TState::CloseBody:
        Lines_.Settle(in);
        if (!Body_.Append(in))
          Finish(0);
        in = {};
        break;
      case TState::ContinueReceived:
      case TState::Done:
        break;
    }
  }
  // The second half of the line end that closed the response (or the interim
  // answer) belongs to it, even when it comes in the next piece.
  if (State_ == TState::Done || State_ == TState::ContinueReceived)
    Lines_.Settle(in);
  return bytes.size() - in.size();
}

void THttpResponseReader::TakeStatusLine(std::string line) {
  if (!StartsWithNoCase(line, "HTTP/")) {
    // An answer without a status line is all body.
    Body_.Append(line);
    Body_.Append("\r\n");
    ResultCode_ = 0;
    StartBody();
    return;
  }
  ResultCode_ = HttpStatusCodeOf(line);
  ResultString_ = HttpReasonOf(line);
  HeaderLength_ = line.size() + 2;
  Headers_.push_back(std::move(line));
  State_ = TState::HeaderLines;
}

void THttpResponseReader::TakeHeaderLine(std::string line) {
  HeaderLength_ += line.size() + 2;
  if (Headers_.size() >= kMaxHttpHeaderLines || HeaderLength_ > kMaxHttpHeaderLength) {
    Finish(kSockMessageTooLong);
    return;
  }
  if (StartsWithNoCase(line, "CONTENT-LENGTH:")) {
    if (const auto length = DecimalOf(SeparateRight(line, " "))) {
      ContentLength_ = *length;
      BodyMode_ = THttpBodyMode::ByLength;
    }
  } else if (StartsWithNoCase(line, "CONTENT-TYPE:")) {
    ContentType_ = SeparateRight(line, " ");
  } else if (StartsWithNoCase(line, "TRANSFER-ENCODING:")) {
    if (UpperCase(SeparateRight(line, " ")).find("CHUNKED") != std::string::npos)
      BodyMode_ = THttpBodyMode::Chunked;
  } else if (StartsWithNoCase(line, "CONNECTION: CLOSE")) {
    ConnectionClose_ = true;
  }
  const bool end = line.empty();
  Headers_.push_back(std::move(line));
  if (end)
    StartBody();
}

void THttpResponseReader::StartBody() {
  if (Options_.Head || ResultCode_ == 204 || ResultCode_ == 304) {
    Finish(0);
    return;
  }
  switch (BodyMode_) {
    case THttpBodyMode::ByLength:
      Remaining_ = ContentLength_;
      LengthRead_ = ContentLength_;
      if (Remaining_ == 0) {
        Finish(0);
        return;
      }
      Body_.Data.reserve(Body_.Data.size() +
                         static_cast<std::size_t>(std::min<std::uint64_t>(
                             Remaining_, std::min(kMaxBodyReserve, Body_.Limit))));
      State_ = TState::LengthBody;
      break;
    case THttpBodyMode::Chunked:
      State_ = TState::ChunkedBody;
      break;
    case THttpBodyMode::UntilClose:
      State_ = TState::CloseBody;
      break;
  }
}

void THttpResponseReader::Finish(std::int32_t error) {
  // A header block that never ended (cut by a limit, the deadline or the
  // close) is no answer, however well it began.
  if (error != 0 && State_ == TState::HeaderLines) {
    ResultCode_ = 0;
    ResultString_.clear();
  }
  EndError_ = error;
  State_ = TState::Done;
}

void THttpResponseReader::End(std::int32_t error) {
  switch (State_) {
    case TState::Done:
      return;
    case TState::Interim:
      // The wait for the interim answer ended: its empty line stands as the
      // status line, and what had come of a line is data.
      Headers_.emplace_back();
      ResultCode_ = 0;
      Body_.Append(Lines_.Held());
      break;
    case TState::InterimHeaders:
    case TState::ContinueReceived:
    case TState::StatusLine:
      // No status line: the empty line the wait gave counts as body data.
      ResultCode_ = 0;
      Body_.Append("\r\n");
      Body_.Append(Lines_.Held());
      break;
    case TState::HeaderLines:
    case TState::LengthBody:
    case TState::ChunkedBody:
    case TState::CloseBody:
      break;  // a header line or size line without its end is dropped
  }
  Finish(error);
}

}  // namespace vantrel
