#pragma once

// How the data files store the fields that are not plain integers, doubles or
// texts: a boolean as one byte, an enumeration (one byte in memory) as a
// 32-bit integer.

#include <cstdint>

#include "storage/file_system.h"

namespace vantrel {

inline bool ReadBool(TxxFileSystem& file) {
  return file.ReadByte() != 0;
}

inline void WriteBool(TxxFileSystem& file, bool value) {
  file.WriteByte(value ? 1 : 0);
}

template <class TEnum>
TEnum ReadEnum(TxxFileSystem& file) {
  return static_cast<TEnum>(static_cast<std::uint8_t>(file.ReadInteger()));
}

template <class TEnum>
void WriteEnum(TxxFileSystem& file, TEnum value) {
  file.WriteInteger(static_cast<std::int32_t>(value));
}

}  // namespace vantrel
