#pragma once

// On-disk layout of the record files (watch list, response history, temporary
// history, report definitions), as written by TxxFileSystem.
//
// A file is a plain sequence of blocks; there is no other framing, no block
// count and no end marker. Byte 0 is the first byte of the header block.
//
//   header block   Signature, then the 4-character version text
//   data block     N bytes: one typed value or one fixed-size record
//
// Each block is stored as
//
//   stored[i]      ((plain[i] xor K[i mod L]) + K[(N - i) mod L]) mod 256,
//                  i = 0 .. N-1, K the pass phrase bytes, L its length
//   check value    2 bytes, little-endian: S = 0; for each i,
//                  S = (S + plain[i]) mod 65536, then
//                  S = S xor (K[i mod L] << 8 * (i mod 2))
//
// The key positions restart at 0 in every block and the second key byte
// depends on N, so a block reads back only with the length it was written
// with. With an empty pass phrase blocks are stored plainly and carry no check
// value. With the program's pass phrase and a three-letter signature the
// header takes 9 bytes and a block of N bytes takes N + 2.
//
// Version text: exactly 4 characters, the version with two decimals and "."
// as separator ("1.00", "2.10"); readers also accept "," (older files written
// under a locale with a decimal comma). 0.00 .. 9.99 are representable.
//
// Typed values, each one block unless noted:
//
//   integer        4 bytes, signed 32-bit, little-endian
//   byte           1 byte (booleans, small enumerations)
//   double         8 bytes, IEEE-754 binary64, little-endian
//   string         two blocks: a 4-byte integer with the count of 8-bit
//                  characters, then a block of that many characters (an
//                  empty string still has its empty block, stored as just
//                  its check value 0)
//   buffer         N bytes as given (fixed-size records)

#include <cstddef>
#include <string>

namespace vantrel {

// The key of every data file of the program.
inline constexpr const char* kDataPassPhrase =
    "$1$Qm7TzR4e$Hv2LpX9cWd5NkY8sBq3JfA$1$Ur6GxK1o$Ta4ZeM7iVb0Cy.nRwPsDl2";
static_assert(std::char_traits<char>::length(kDataPassPhrase) == 68);

inline constexpr std::size_t kCheckValueSize = 2;
inline constexpr std::size_t kVersionTextSize = 4;

// Signature and current version of each file.
inline constexpr const char* kWatchListSignature = "VTD";  // .vtd
inline constexpr double kWatchListVersion = 2.1;
inline constexpr const char* kHistorySignature = "VTH";  // .vth
inline constexpr double kHistoryVersion = 1.0;
inline constexpr const char* kTempHistorySignature = "VTT";  // .vtt and the batch .vt1
inline constexpr double kTempHistoryVersion = 1.0;
inline constexpr const char* kReportListSignature = "VTR";  // .vtr
inline constexpr double kReportListVersion = 1.0;

}  // namespace vantrel
