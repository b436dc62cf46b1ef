#include "net/line_splitter.h"

#include <utility>

namespace vantrel {

void TLineSplitter::Settle(std::string_view& input) {
  if (Swallow_ == 0 || input.empty())
    return;
  if (input.front() == Swallow_)
    input.remove_prefix(1);
  Swallow_ = 0;
}

bool TLineSplitter::Next(std::string_view& input, std::string& line) {
  Settle(input);
  if (TooLong_)
    return false;
  return Terminator_.empty() ? NextOfAnyEnd(input, line) : NextOfTerminator(input, line);
}

bool TLineSplitter::NextOfAnyEnd(std::string_view& input, std::string& line) {
  const std::size_t end = input.find_first_of("\r\n");
  const std::size_t length = end == std::string_view::npos ? input.size() : end;
  if (Held_.size() + length > MaxLineLength_) {
    TooLong_ = true;
    return false;
  }
  Held_.append(input.substr(0, length));
  if (end == std::string_view::npos) {
    input = {};
    return false;
  }
  // CR LF and LF CR are one line end when both bytes are here; after a lone
  // one its partner may still come, first in the next bytes.
  const char partner = input[end] == '\r' ? '\n' : '\r';
  input.remove_prefix(end + 1);
  if (!input.empty() && input.front() == partner) {
    input.remove_prefix(1);
    Swallow_ = 0;
  } else {
    Swallow_ = partner;
  }
  line = std::move(Held_);
  Held_.clear();
  return true;
}

bool TLineSplitter::NextOfTerminator(std::string_view& input, std::string& line) {
  const std::size_t held = Held_.size();
  // The terminator may have begun in the bytes held before.
  const std::size_t from = held < Terminator_.size() ? 0 : held - Terminator_.size() + 1;
  Held_.append(input);
  const std::size_t at = Held_.find(Terminator_, from);
  // Without a terminator yet, any one still to come starts after the bytes
  // held but its own first ones.
  const bool tooLong = at == std::string::npos ? Held_.size() >= MaxLineLength_ + Terminator_.size()
                                               : at > MaxLineLength_;
  if (tooLong) {
    Held_.resize(held);
    TooLong_ = true;
    return false;
  }
  if (at == std::string::npos) {
    input = {};
    return false;
  }
  input.remove_prefix(at + Terminator_.size() - held);
  Held_.resize(at);
  line = std::move(Held_);
  Held_.clear();
  return true;
}

std::string TLineSplitter::TakeHeld() {
  TooLong_ = false;
  return std::exchange(Held_, std::string());
}

void TLineSplitter::Reset() {
  Held_.clear();
  Swallow_ = 0;
  TooLong_ = false;
}

}  // namespace vantrel
