#include "net/http_chunks.h"

#include <algorithm>

namespace vantrel {

bool THttpBody::Append(std::string_view bytes) {
  if (Capped)
    return false;
  const std::size_t room = Limit - Data.size();
  if (bytes.size() > room) {
    Data.append(bytes.substr(0, room));
    Capped = true;
    return false;
  }
  Data.append(bytes);
  return true;
}

std::uint64_t ChunkSizeOf(std::string_view line) {
  // The size ends at a blank or at the ";" of a chunk extension: servers may
  // send extensions, and reading them as size 0 would cut the page short.
  std::string_view digits = line.substr(0, line.find_first_of(" \t;"));
  if (digits.empty())
    return 0;
  const std::size_t significant = digits.find_first_not_of('0');
  if (significant == std::string_view::npos)
    return 0;
  digits.remove_prefix(significant);
  if (digits.size() > 16)
    return 0;  // beyond 64 bits
  std::uint64_t size = 0;
  for (const char c : digits) {
    int value = 0;
    if (c >= '0' && c <= '9')
      value = c - '0';
    else if (c >= 'a' && c <= 'f')
      value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      value = c - 'A' + 10;
    else
      return 0;
    size = size * 16 + static_cast<std::uint64_t>(value);
  }
  return size;
}

void THttpChunkDecoder::Feed(std::string_view& input, TLineSplitter& lines, THttpBody& body) {
  while (!Done_ && !input.empty()) {
    if (Remaining_ > 0) {
      lines.Settle(input);  // a half line end after the size line is no data
      const std::size_t take =
          static_cast<std::size_t>(std::min<std::uint64_t>(Remaining_, input.size()));
      const bool fits = body.Append(input.substr(0, take));
      input.remove_prefix(take);
      Remaining_ -= take;
      if (!fits)
        return;
      continue;
    }
    std::string line;
    if (!lines.Next(input, line))
      return;
    if (line.empty())
      continue;  // the line end after a chunk's data
    const std::uint64_t size = ChunkSizeOf(line);
    if (size == 0) {
      Done_ = true;
    } else {
      Remaining_ = size;
      LastChunkSize_ = size;
    }
  }
}

}  // namespace vantrel
