#include "storage/file_system.h"

#include <bit>
#include <charconv>
#include <limits>
#include <stdexcept>
#include <utility>

#include "platform/ui_pump.h"
#include "storage/file_errors.h"
#include "storage/file_system_format.h"
#include "text/byte_order.h"

namespace vantrel {

namespace {

// The version with two decimals and a "." whatever the locale, or an empty
// text when it does not fit (NaN, infinities, huge values).
std::string FormatVersion(double version) {
  char text[32];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, version, std::chars_format::fixed, 2);
  if (error != std::errc{})
    return {};
  return std::string(text, end);
}

// Digits with exactly one separator, "." or ",": files written under a
// locale with a decimal comma carry "1,00".
bool ParseVersion(const char* text, double& version) {
  int separators = 0;
  int decimals = 0;
  unsigned digits = 0;
  for (std::size_t i = 0; i < kVersionTextSize; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      if (separators > 0)
        ++decimals;
    } else if (c == '.' || c == ',') {
      if (++separators > 1)
        return false;
    } else {
      return false;
    }
  }
  if (separators != 1)
    return false;
  constexpr double kScale[] = {1.0, 10.0, 100.0, 1000.0};
  // One correctly rounded division: "2.10" gives exactly the double 2.1.
  version = static_cast<double>(digits) / kScale[decimals];
  return true;
}

// Sums the plain bytes with the key mixed in, alternately into the low and the
// high byte.
std::uint16_t CheckValue(const std::string& key, const unsigned char* plain, std::size_t size) {
  std::uint16_t sum = 0;
  std::size_t k = 0;
  for (std::size_t i = 0; i < size; ++i) {
    sum = static_cast<std::uint16_t>(sum + plain[i]);
    const auto keyByte = static_cast<std::uint16_t>(static_cast<unsigned char>(key[k]));
    sum ^= (i % 2 == 0) ? keyByte : static_cast<std::uint16_t>(keyByte << 8);
    if (++k == key.size())
      k = 0;
  }
  return sum;
}

// First key byte K[i mod L] and second key byte K[(size - i) mod L] walk
// through the key in opposite directions.
void Scramble(const std::string& key, const unsigned char* plain, std::size_t size,
              unsigned char* stored) {
  const std::size_t length = key.size();
  std::size_t first = 0;
  std::size_t second = size % length;
  for (std::size_t i = 0; i < size; ++i) {
    const auto k1 = static_cast<unsigned char>(key[first]);
    const auto k2 = static_cast<unsigned char>(key[second]);
    stored[i] = static_cast<unsigned char>((plain[i] ^ k1) + k2);
    if (++first == length)
      first = 0;
    second = (second == 0 ? length : second) - 1;
  }
}

void Unscramble(const std::string& key, unsigned char* data, std::size_t size) {
  const std::size_t length = key.size();
  std::size_t first = 0;
  std::size_t second = size % length;
  for (std::size_t i = 0; i < size; ++i) {
    const auto k1 = static_cast<unsigned char>(key[first]);
    const auto k2 = static_cast<unsigned char>(key[second]);
    data[i] = static_cast<unsigned char>(static_cast<unsigned char>(data[i] - k2) ^ k1);
    if (++first == length)
      first = 0;
    second = (second == 0 ? length : second) - 1;
  }
}

}  // namespace

TxxFileSystem::TxxFileSystem(std::string fileName, std::string signature, double version,
                             std::string passPhrase, TFileOps& ops)
    : File_(ops),
      FileName_(std::move(fileName)),
      Signature_(std::move(signature)),
      PassPhrase_(std::move(passPhrase)),
      Version_(version) {}

void TxxFileSystem::Open(TxxOpenMode mode) {
  PumpUi();
  if (mode != omRead && mode != omCreate && mode != omAppend) {
    throw std::invalid_argument("TxxFileSystem: open mode " + std::to_string(int{mode}) + " for " +
                                FileName_);
  }
  if (Opened_)
    throw std::logic_error("TxxFileSystem: " + FileName_ + " is open already");
  try {
    switch (mode) {
      case omRead:
        File_.OpenRead(FileName_);
        if (File_.Size() == 0)
          Fail(kFileNotFound);
        ReadHeader();
        break;
      case omCreate: {
        // Checked before the file is touched, so a bad version empties nothing.
        const std::string versionText = FormatVersion(Version_);
        if (versionText.size() != kVersionTextSize)
          Fail(kWrongFileVersion);
        File_.Create(FileName_);
        WriteHeader(versionText);
        break;
      }
      case omAppend:
        File_.OpenAppend(FileName_);
        // An empty file has no header yet, just like a new one; blocks
        // appended without it could never be read back.
        if (File_.Size() == 0) {
          const std::string versionText = FormatVersion(Version_);
          if (versionText.size() != kVersionTextSize)
            Fail(kWrongFileVersion);
          WriteHeader(versionText);
        }
        break;
    }
  } catch (...) {
    File_.Abandon();
    throw;
  }
  Opened_ = true;
}

void TxxFileSystem::Close() {
  PumpUi();
  if (!Opened_)
    return;
  File_.Close();
  Opened_ = false;
}

bool TxxFileSystem::Eof() const {
  return !Opened_ || File_.Eof();
}

std::uint64_t TxxFileSystem::StoredSize(std::size_t blockSize) const {
  return blockSize + (PassPhrase_.empty() ? 0 : kCheckValueSize);
}

std::uint64_t TxxFileSystem::HeaderSize() const {
  return StoredSize(Signature_.size() + kVersionTextSize);
}

void TxxFileSystem::Truncate(std::uint64_t size) {
  File_.Truncate(size);
}

void TxxFileSystem::Fail(const char* reason) const {
  throw EDataFileError(FileName_, reason);
}

void TxxFileSystem::RequireRemaining(std::uint64_t size) const {
  if (!File_.IsOpen())
    return;  // the read itself reports the closed file
  const std::uint64_t position = File_.Position();
  const std::uint64_t end = File_.Size();
  if (position > end || end - position < size)
    throw EInOutError::ReadPastEnd(FileName_);
}

const TxxFileSystem::TKeyRow* TxxFileSystem::KeyRowFor(std::size_t size) {
  if (KeyRow_.Ready && KeyRow_.Size == size)
    return &KeyRow_;
  const bool repeated = size == PreviousBlockSize_;
  PreviousBlockSize_ = size;
  if (!repeated || size > kMaxKeyRowSize || PassPhrase_.empty())
    return nullptr;
  return &KeyRow(size);
}

const TxxFileSystem::TKeyRow& TxxFileSystem::KeyRow(std::size_t size) {
  if (KeyRow_.Ready && KeyRow_.Size == size)
    return KeyRow_;
  const std::size_t length = PassPhrase_.size();
  KeyRow_.First.resize(size);
  KeyRow_.Second.resize(size);
  KeyRow_.Mix.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
    const auto k1 = static_cast<unsigned char>(PassPhrase_[i % length]);
    KeyRow_.First[i] = k1;
    KeyRow_.Second[i] = static_cast<unsigned char>(PassPhrase_[(size - i) % length]);
    KeyRow_.Mix[i] = (i % 2 == 0) ? k1 : static_cast<std::uint16_t>(k1 << 8);
  }
  KeyRow_.Size = size;
  KeyRow_.Ready = true;
  return KeyRow_;
}

std::size_t TxxFileSystem::DecodeBlocks(const TKeyRow& row, const unsigned char* stored,
                                        unsigned char* plain, std::size_t count) {
  const std::size_t size = row.Size;
  const unsigned char* first = row.First.data();
  const unsigned char* second = row.Second.data();
  const std::uint16_t* mix = row.Mix.data();
  for (std::size_t block = 0; block < count; ++block) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
      const auto byte =
          static_cast<unsigned char>(static_cast<unsigned char>(stored[i] - second[i]) ^ first[i]);
      plain[i] = byte;
      sum = static_cast<std::uint16_t>((sum + byte) ^ mix[i]);
    }
    if (sum != GetLittleEndian(stored + size, kCheckValueSize))
      return block;
    stored += size + kCheckValueSize;
    plain += size;
  }
  return count;
}

void TxxFileSystem::ReadBlock(void* buffer, std::size_t size) {
  PumpUi();
  RequireRemaining(StoredSize(size));
  auto* data = static_cast<unsigned char*>(buffer);
  if (PassPhrase_.empty()) {
    File_.Read(data, size);
    return;
  }
  if (const TKeyRow* row = KeyRowFor(size)) {
    // Block and check value in one read, unscrambled into the caller's buffer.
    unsigned char stored[kMaxKeyRowSize + kCheckValueSize];
    File_.Read(stored, size + kCheckValueSize);
    if (DecodeBlocks(*row, stored, data, 1) != 1)
      Fail(kWrongFileFormat);
    return;
  }
  File_.Read(data, size);
  unsigned char stored[kCheckValueSize];
  File_.Read(stored, kCheckValueSize);
  Unscramble(PassPhrase_, data, size);
  if (CheckValue(PassPhrase_, data, size) != GetLittleEndian(stored, kCheckValueSize)) {
    Fail(kWrongFileFormat);
  }
}

void TxxFileSystem::WriteBlock(const void* buffer, std::size_t size) {
  PumpUi();
  const auto* plain = static_cast<const unsigned char*>(buffer);
  if (PassPhrase_.empty()) {
    File_.Write(plain, size);
    return;
  }
  // Block and check value go to the file in one write, so a failed write
  // leaves no half block pending.
  Scratch_.resize(size + kCheckValueSize);
  unsigned char* stored = Scratch_.data();
  if (const TKeyRow* row = KeyRowFor(size)) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
      stored[i] = static_cast<unsigned char>((plain[i] ^ row->First[i]) + row->Second[i]);
      sum = static_cast<std::uint16_t>((sum + plain[i]) ^ row->Mix[i]);
    }
    PutLittleEndian(sum, stored + size, kCheckValueSize);
  } else {
    Scramble(PassPhrase_, plain, size, stored);
    PutLittleEndian(CheckValue(PassPhrase_, plain, size), stored + size, kCheckValueSize);
  }
  File_.Write(stored, Scratch_.size());
}

void TxxFileSystem::ReadHeader() {
  std::string header(Signature_.size() + kVersionTextSize, '\0');
  ReadBlock(header.data(), header.size());
  if (header.compare(0, Signature_.size(), Signature_) != 0)
    Fail(kWrongFileFormat);
  double version = 0;
  if (!ParseVersion(header.data() + Signature_.size(), version) || version > Version_) {
    Fail(kWrongFileVersion);
  }
  Version_ = version;
}

void TxxFileSystem::WriteHeader(const std::string& versionText) {
  const std::string header = Signature_ + versionText;
  WriteBlock(header.data(), header.size());
}

void TxxFileSystem::ReadBuffer(void* buffer, std::size_t size) {
  ReadBlock(buffer, size);
}

std::size_t TxxFileSystem::ReadBuffers(void* buffer, std::size_t size, std::size_t count) {
  return ReadRun(buffer, size, count, false).Good;
}

TxxFileSystem::TBlockRun TxxFileSystem::SalvageBuffers(void* buffer, std::size_t size,
                                                       std::size_t count) {
  return ReadRun(buffer, size, count, true);
}

TxxFileSystem::TBlockRun TxxFileSystem::ReadRun(void* buffer, std::size_t size, std::size_t count,
                                                bool passDamaged) {
  PumpUi();
  const std::uint64_t stored = StoredSize(size);
  RequireRemaining(stored * count);
  auto* plain = static_cast<unsigned char*>(buffer);
  if (PassPhrase_.empty()) {
    File_.Read(plain, size * count);
    return {count, 0};
  }
  const TKeyRow& row = KeyRow(size);
  const std::uint64_t start = File_.Position();
  Scratch_.resize(stored * count);
  File_.Read(Scratch_.data(), Scratch_.size());
  // Decoded in stretches between damaged blocks, so a clean run is one pass.
  TBlockRun run;
  std::size_t done = 0;
  for (;;) {
    const std::size_t good =
        DecodeBlocks(row, Scratch_.data() + done * stored, plain + run.Good * size, count - done);
    run.Good += good;
    done += good;
    if (done == count)
      return run;
    if (!passDamaged) {
      File_.Seek(start + done * stored);  // where the next read fails
      if (done == 0)
        Fail(kWrongFileFormat);
      return run;
    }
    ++run.Damaged;
    ++done;
  }
}

void TxxFileSystem::WriteBuffer(const void* buffer, std::size_t size) {
  WriteBlock(buffer, size);
}

std::int32_t TxxFileSystem::ReadInteger() {
  unsigned char bytes[4];
  ReadBlock(bytes, sizeof bytes);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(GetLittleEndian(bytes, 4)));
}

void TxxFileSystem::WriteInteger(std::int32_t value) {
  unsigned char bytes[4];
  PutLittleEndian(static_cast<std::uint32_t>(value), bytes, sizeof bytes);
  WriteBlock(bytes, sizeof bytes);
}

std::uint8_t TxxFileSystem::ReadByte() {
  std::uint8_t value = 0;
  ReadBlock(&value, 1);
  return value;
}

void TxxFileSystem::WriteByte(std::uint8_t value) {
  WriteBlock(&value, 1);
}

double TxxFileSystem::ReadDouble() {
  unsigned char bytes[8];
  ReadBlock(bytes, sizeof bytes);
  return std::bit_cast<double>(GetLittleEndian(bytes, 8));
}

void TxxFileSystem::WriteDouble(double value) {
  unsigned char bytes[8];
  PutLittleEndian(std::bit_cast<std::uint64_t>(value), bytes, sizeof bytes);
  WriteBlock(bytes, sizeof bytes);
}

std::string TxxFileSystem::ReadString() {
  const std::int32_t length = ReadInteger();
  if (length < 0)
    Fail(kWrongFileFormat);
  // A damaged length must not turn into a huge allocation.
  RequireRemaining(StoredSize(static_cast<std::size_t>(length)));
  std::string value(static_cast<std::size_t>(length), '\0');
  ReadBlock(value.data(), value.size());
  return value;
}

void TxxFileSystem::WriteString(const std::string& value) {
  if (value.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::length_error("TxxFileSystem: text too long for " + FileName_);
  }
  WriteInteger(static_cast<std::int32_t>(value.size()));
  WriteBlock(value.data(), value.size());
}

}  // namespace vantrel
