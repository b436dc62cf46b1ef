#pragma once

// Little-endian integers in byte buffers: the data files and the MD5 state
// store their numbers least significant byte first, whatever the machine.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantrel {

// Writes the `size` (at most 8) low bytes of `value` to `out`.
inline void PutLittleEndian(std::uint64_t value, unsigned char* out, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    out[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Reads `size` (at most 8) bytes from `in`.
inline std::uint64_t GetLittleEndian(const unsigned char* in, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i)
    value |= static_cast<std::uint64_t>(in[i]) << (8 * i);
  return value;
}

// Fixed-size reads for hot loops: one load on a little-endian machine.
inline std::uint32_t LoadLittleEndian32(const unsigned char* in) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t value;
    std::memcpy(&value, in, sizeof(value));
    return value;
  } else {
    return static_cast<std::uint32_t>(GetLittleEndian(in, 4));
  }
}

inline std::uint64_t LoadLittleEndian64(const unsigned char* in) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t value;
    std::memcpy(&value, in, sizeof(value));
    return value;
  } else {
    return GetLittleEndian(in, 8);
  }
}

}  // namespace vantrel
