#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/date_time.h"
#include "text/byte_order.h"

namespace vantrel {

// The result of one recorded check. On disk it is one 21-byte block, packed and
// little-endian:
//   offset  0, 4 bytes  ItemId        unsigned 32-bit (the web-service id in the
//                                     temporary history)
//   offset  4, 1 byte   Success       1 succeeded, 0 failed
//   offset  5, 8 bytes  Date          IEEE-754 double, TDateTime of the check
//   offset 13, 4 bytes  ResponseTime  signed 32-bit ms; below 1 = no response
//   offset 17, 4 bytes  ResponseCode  signed 32-bit: HTTP status or own code
struct THistoryRecord {
  std::uint32_t ItemId = 0;
  bool Success = false;
  TDateTime Date = 0;
  std::int32_t ResponseTime = 0;
  std::int32_t ResponseCode = 0;

  bool operator==(const THistoryRecord&) const = default;
};

inline constexpr std::size_t kHistoryRecordSize = 21;

using THistoryArray = std::vector<THistoryRecord>;
using THistoryRecordBytes = std::array<unsigned char, kHistoryRecordSize>;

// The record's 21 bytes as stored (before the container scrambles them).
inline THistoryRecordBytes EncodeHistoryRecord(const THistoryRecord& record) {
  THistoryRecordBytes bytes{};
  PutLittleEndian(record.ItemId, bytes.data(), 4);
  bytes[4] = record.Success ? 1 : 0;
  PutLittleEndian(std::bit_cast<std::uint64_t>(record.Date), bytes.data() + 5, 8);
  PutLittleEndian(static_cast<std::uint32_t>(record.ResponseTime), bytes.data() + 13, 4);
  PutLittleEndian(static_cast<std::uint32_t>(record.ResponseCode), bytes.data() + 17, 4);
  return bytes;
}

// The record stored in `bytes` (kHistoryRecordSize of them). Any non-zero
// success byte counts as a success.
inline THistoryRecord DecodeHistoryRecord(const unsigned char* bytes) {
  THistoryRecord record;
  record.ItemId = LoadLittleEndian32(bytes);
  record.Success = bytes[4] != 0;
  record.Date = std::bit_cast<double>(LoadLittleEndian64(bytes + 5));
  record.ResponseTime = static_cast<std::int32_t>(LoadLittleEndian32(bytes + 13));
  record.ResponseCode = static_cast<std::int32_t>(LoadLittleEndian32(bytes + 17));
  return record;
}

// The running average of response times kept by the item statistics and the
// summaries: (average * count + value) div (count + 1), truncating toward zero.
// The product is taken in 64 bits: in 32 it overflows after a few million
// checks of a slow site. `count` is the number of checks averaged so far,
// failures included; a negative count is taken as 0.
constexpr std::int32_t RunningAverage(std::int32_t average, std::int32_t count,
                                      std::int32_t value) {
  const std::int64_t n = count < 0 ? 0 : count;
  // A mean of 32-bit values lies between them, so it fits 32 bits again.
  return static_cast<std::int32_t>((std::int64_t{average} * n + value) / (n + 1));
}

}  // namespace vantrel
