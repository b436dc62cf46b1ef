#include "storage/file_system.h"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <tuple>

#include "platform/ui_pump.h"
#include "storage/file_errors.h"
#include "storage/file_system_format.h"
#include "support/test_env.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using test::IncrementByte;
using test::ReadFileBytes;
using test::ShrinkFile;
using test::TTempDir;
using test::WriteFileBytes;

const std::string kKey = kDataPassPhrase;

// The stored form of one block, worked out from the format's definition
// independently of the container's code.
std::string StoreBlock(const std::string& plain, const std::string& key = kKey) {
  if (key.empty())
    return plain;
  const std::size_t n = plain.size(), l = key.size();
  std::string stored;
  unsigned check = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned p = static_cast<unsigned char>(plain[i]);
    const unsigned k1 = static_cast<unsigned char>(key[i % l]);
    const unsigned k2 = static_cast<unsigned char>(key[(n - i) % l]);
    stored += static_cast<char>(((p ^ k1) + k2) & 0xFF);
    check = (check + p) & 0xFFFF;
    check ^= (i % 2 == 1) ? (k1 << 8) : k1;
  }
  return stored + static_cast<char>(check & 0xFF) + static_cast<char>(check >> 8);
}

std::string Le(std::uint64_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i)
    bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

// What `action` threw: the message of a data-file error ("file CR LF reason"),
// "file CR LF read past end" or "file CR LF errno N" for the file layer, or "no error".
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EDataFileError& error) {
    return error.what();
  } catch (const EInOutError& error) {
    return error.FileName() + "\r\n" +
           (error.IsReadPastEnd() ? "read past end"
                                  : "errno " + std::to_string(error.ErrorNumber()));
  } catch (const std::exception& error) {
    return std::string("other error: ") + error.what();
  }
  return "no error";
}

TxxFileSystem History(const std::string& path, const std::string& key = kKey,
                      double version = kHistoryVersion) {
  return TxxFileSystem(path, kHistorySignature, version, key);
}

// `size` bytes without a short period, different for each `n`.
std::string Bytes(int n, std::size_t size = 21) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(n * 37 + i * 11);
  return bytes;
}

// An integer, an empty string, a byte, a double, a run of three 21-byte
// records (blocks of one size in a row take a faster road through the key) and
// a text longer than the pass phrase.
void WriteSample(const std::string& path, const std::string& key = kKey) {
  TxxFileSystem fs = History(path, key);
  fs.Open(omCreate);
  fs.WriteInteger(1234567);
  fs.WriteString("");
  fs.WriteByte(7);
  fs.WriteDouble(1.5);
  for (int n = 0; n < 3; ++n)
    fs.WriteBuffer(Bytes(n).data(), 21);
  fs.WriteString(Bytes(5, 100));
  fs.Close();
}

void ReadSample(const std::string& path, const std::string& key = kKey) {
  TxxFileSystem fs = History(path, key);
  fs.Open(omRead);
  EXPECT_EQ(fs.ReadInteger(), 1234567);
  EXPECT_EQ(fs.ReadString(), "");
  EXPECT_EQ(fs.ReadByte(), 7);
  EXPECT_EQ(fs.ReadDouble(), 1.5);
  std::string records(3 * 21, '\0');
  fs.ReadBuffer(records.data(), 21);
  // The rest as a run: a damaged block ends the run early and fails the next read.
  for (std::size_t read = 1; read < 3;)
    read += fs.ReadBuffers(records.data() + 21 * read, 21, 3 - read);
  EXPECT_EQ(records, Bytes(0) + Bytes(1) + Bytes(2));
  EXPECT_EQ(fs.ReadString(), Bytes(5, 100));
  EXPECT_TRUE(fs.Eof());
}

// --- What lands on disk ---------------------------------------------------

TEST(FileSystemFormat, SampleIsStoredByteForByteWithEveryKindOfPassPhrase) {
  TTempDir dir;
  for (const std::string& key : {kKey, std::string(), std::string("k")}) {
    SCOPED_TRACE("pass phrase \"" + key + "\"");
    WriteSample(dir / "h.vth", key);
    std::string expected = StoreBlock("VTH1.00", key) + StoreBlock(Le(1234567, 4), key) +
                           StoreBlock(Le(0, 4), key) + StoreBlock("", key) +
                           StoreBlock("\x07", key) +
                           StoreBlock(Le(std::bit_cast<std::uint64_t>(1.5), 8), key);
    for (int n = 0; n < 3; ++n)
      expected += StoreBlock(Bytes(n), key);
    expected += StoreBlock(Le(100, 4), key) + StoreBlock(Bytes(5, 100), key);
    const std::string bytes = ReadFileBytes(dir / "h.vth");
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(ErrorOf([&] { ReadSample(dir / "h.vth", key); }), "no error");
    if (key != kKey)
      continue;
    // Worked by hand: 'V' (0x56) xor '$' (0x24) plus K[7] = 'z' (0x7A).
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xEC);
    // The length 0: bytes K[i] + K[4 - i]; check value 0x24 ^ 0x3100 ^ 0x24 ^ 0x5100 = 0x6000.
    // The empty block is just its check value 0.
    EXPECT_EQ(bytes.substr(15, 8), std::string("\x91\x82\x48\x82\x00\x60\x00\x00", 8));
  }
}

// --- Round trips ----------------------------------------------------------

TEST(FileSystemRoundTrip, SpecialValuesReadBackBitForBit) {
  TTempDir dir;
  const std::string path = dir / "f";
  const double doubles[] = {-0.0, 4.9e-324, std::bit_cast<double>(0x7FF800000000ABCDull)};
  const std::string longText(3 * 64 * 1024 + 17, 'x');  // wider than the file buffer
  std::string record = Bytes(9);
  {
    TxxFileSystem fs = History(path);
    fs.Open(omCreate);
    for (auto v : doubles)
      fs.WriteDouble(v);
    fs.WriteString(longText);
    fs.WriteBuffer(record.data(), record.size());
    fs.WriteBuffer(record.data(), 0);
    fs.Close();
  }
  EXPECT_EQ(record, Bytes(9)) << "the caller's bytes were scrambled in place";
  TxxFileSystem fs = History(path);
  fs.Open(omRead);
  for (auto v : doubles)
    EXPECT_EQ(std::bit_cast<std::uint64_t>(fs.ReadDouble()), std::bit_cast<std::uint64_t>(v));
  EXPECT_EQ(fs.ReadString(), longText);
  fs.ReadBuffer(record.data(), record.size());
  EXPECT_EQ(record, Bytes(9));
  EXPECT_FALSE(fs.Eof());  // the empty block is still ahead: its check value
  fs.ReadBuffer(record.data(), 0);
  EXPECT_TRUE(fs.Eof());
}

TEST(FileSystemRoundTrip, HundredThousandSmallBlocksAreReadWithFewSystemCalls) {
  TTempDir dir;
  const std::string path = dir / "h.vth";
  constexpr int kCount = 100000;
  {
    TxxFileSystem fs = History(path);
    fs.Open(omCreate);
    for (int i = 0; i < kCount; ++i)
      fs.WriteBuffer(Bytes(i).data(), 21);
  }
  auto readCalls = [] {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = -1;
    while (io >> key >> value && key != "syscr:") {
    }
    return key == "syscr:" ? value : -1;
  };
  const long long before = readCalls();
  int count = 0;
  {
    TxxFileSystem fs = History(path);
    fs.Open(omRead);
    for (std::string r(21, '\0'); !fs.Eof(); ++count) {
      fs.ReadBuffer(r.data(), 21);
      ASSERT_EQ(r, Bytes(count));
    }
  }
  const long long after = readCalls();
  EXPECT_EQ(count, kCount);
  if (before < 0 || after < 0)
    GTEST_SKIP() << "/proc/self/io is not readable here";
  // 2.3 MB in 64 KiB reads is about 36 calls; one call per block would be 100,000.
  EXPECT_LT(after - before, 200) << "read system calls for " << kCount << " blocks";
}

// --- Damage ---------------------------------------------------------------

TEST(FileSystemDamage, AnyFlippedByteIsWrongFileFormat) {
  TTempDir dir;
  const std::string path = dir / "f";
  WriteSample(path);
  const std::string original = ReadFileBytes(path);
  for (std::size_t offset = 0; offset < original.size(); ++offset) {
    WriteFileBytes(path, original);
    IncrementByte(path, offset);
    EXPECT_EQ(ErrorOf([&] { ReadSample(path); }), path + "\r\n" + kWrongFileFormat) << offset;
  }
}

TEST(FileSystemDamage, DamagedFilesAreRefusedWithAReasonNamingTheFile) {
  TTempDir dir;
  const std::string path = dir / "f";
  WriteSample(path);
  const std::size_t size = ReadFileBytes(path).size();
  std::string otherKey = kKey;
  otherKey[1] = 'X';  // short blocks use only the first key bytes
  const std::string header = StoreBlock("VTH1.00") + StoreBlock(Le(1234567, 4));
  auto replace = [&](std::string bytes) { return [&, bytes] { WriteFileBytes(path, bytes); }; };
  auto cut = [&](std::size_t at) { return [&, at] { ShrinkFile(path, at); }; };
  const struct {
    const char* Name;
    std::function<void()> Damage;
    std::string Key, Error;
  } cases[] = {
      {"wrong pass phrase", [] {}, otherKey, kWrongFileFormat},
      {"no pass phrase", [] {}, "", kWrongFileFormat},
      {"other signature", replace(StoreBlock("VTD1.00")), kKey, kWrongFileFormat},
      {"signature in lower case", replace(StoreBlock("vth1.00")), kKey, kWrongFileFormat},
      {"empty file", replace(""), kKey, kFileNotFound},
      {"missing file", [&] { std::filesystem::remove(path); }, kKey, "errno 2"},
      {"cut inside the header", cut(5), kKey, "read past end"},
      {"cut inside the last record", cut(size - 12), kKey, "read past end"},
      {"negative string length", replace(header + StoreBlock(Le(-5, 4)) + StoreBlock("ab")), kKey,
       kWrongFileFormat},
      {"string length beyond the end", replace(header + StoreBlock(Le(4, 4)) + StoreBlock("ab")),
       kKey, "read past end"},
      {"string length too large to allocate",
       replace(header + StoreBlock(Le(0x7FFFFFFF, 4)) + StoreBlock("ab")), kKey, "read past end"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteSample(path);
    c.Damage();
    EXPECT_EQ(ErrorOf([&] { ReadSample(path, c.Key); }), path + "\r\n" + c.Error);
  }
  EXPECT_TRUE(History(path).Eof());  // before Open
}

// --- Versions -------------------------------------------------------------

TEST(FileSystemVersion, OlderEqualAndDecimalCommaVersionsAreReadNewerOrMalformedOnesRefused) {
  TTempDir dir;
  const std::string path = dir / "f";
  auto versionRead = [&](const std::string& text, double expected) {
    WriteFileBytes(path, StoreBlock("VTH" + text));
    TxxFileSystem fs = History(path, kKey, expected);
    fs.Open(omRead);
    return fs.Version();
  };
  for (auto [text, expected, read] :
       {std::tuple{"1.00", 1.0, 1.0}, std::tuple{"1.00", 2.1, 1.0}, std::tuple{"1,00", 1.0, 1.0},
        std::tuple{"2,10", 2.1, 2.1}, std::tuple{".500", 1.0, 0.5}}) {
    EXPECT_EQ(versionRead(text, expected), read) << text << " expecting " << expected;
  }
  for (const char* text :
       {"1.01", "1.0x", "1..0", "1.,0", "abcd", " 1.0", "1000", "-1.0", "+1.0", "1.0 "}) {
    EXPECT_EQ(ErrorOf([&] { versionRead(text, 1.0); }), path + "\r\n" + kWrongFileVersion) << text;
  }
}

// Under a locale with a decimal comma, which must not reach the file.
TEST(FileSystemVersion, VersionIsWrittenWithTwoDecimalsAndTenIsRefusedKeepingTheOldFile) {
  test::TLocaleGuard german("de_DE.UTF-8");
  ASSERT_TRUE(german.Ok()) << "cannot switch to a locale with a decimal comma";
  ASSERT_EQ(std::string(localeconv()->decimal_point), ",");
  TTempDir dir;
  const std::string path = dir / "f";
  for (auto [version, text] :
       {std::pair{2.1, "2.10"}, std::pair{9.994, "9.99"}, std::pair{1.006, "1.01"}}) {
    TxxFileSystem fs(path, "VTR", version, "");
    fs.Open(omCreate);
    fs.Close();
    EXPECT_EQ(ReadFileBytes(path), std::string("VTR") + text);
  }
  for (double version : {10.0, 9.996, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    TxxFileSystem old(path, "VTR", version, "");
    EXPECT_EQ(ErrorOf([&] { old.Open(omCreate); }), path + "\r\n" + kWrongFileVersion);
    TxxFileSystem fresh(dir / "new", "VTR", version, "");
    EXPECT_EQ(ErrorOf([&] { fresh.Open(omAppend); }),
              fresh.FileName() + "\r\n" + kWrongFileVersion);
    EXPECT_FALSE(old.Opened() || fresh.Opened());
  }
  EXPECT_EQ(ReadFileBytes(path), "VTR1.01");
}

// --- Opening, appending, closing ------------------------------------------

// A damaged header is not checked when appending; the next read finds it.
TEST(FileSystemOpen, AppendWritesAHeaderOnlyIntoAMissingOrEmptyFile) {
  TTempDir dir;
  const std::string header = StoreBlock("VTH1.00");
  WriteFileBytes(dir / "empty", "");
  WriteSample(dir / "damaged");
  IncrementByte(dir / "damaged", 2);
  for (const char* name : {"missing", "empty", "damaged"}) {
    const std::string path = dir / name;
    const std::string before = std::filesystem::exists(path) ? ReadFileBytes(path) : "";
    TxxFileSystem file = History(path);
    file.Open(omAppend);
    file.WriteInteger(1);
    file.Close();
    EXPECT_EQ(ReadFileBytes(path), (before.empty() ? header : before) + StoreBlock(Le(1, 4)));
  }
  EXPECT_EQ(ErrorOf([&] { ReadSample(dir / "damaged"); }),
            (dir / "damaged").string() + "\r\n" + kWrongFileFormat);
}

TEST(FileSystemOpen, UserInterfaceIsPumpedForOpenCloseAndEveryBlock) {
  TTempDir dir;
  int pumped = 0;
  SetUiPump([&] { ++pumped; });
  for (TxxOpenMode mode : {omCreate, omRead}) {
    pumped = 0;
    TxxFileSystem fs = History(dir / "f");
    fs.Open(mode);  // open and header block
    for (int i = 0; i < 100; ++i) {
      if (mode == omRead)
        fs.ReadInteger();
      else
        fs.WriteInteger(i);
    }
    fs.Close();
    EXPECT_EQ(pumped, 2 + 100 + 1) << int{mode};
  }
  SetUiPump({});
}

TEST(FileSystemOpen, FullDiskIsAnInOutErrorFromCloseAndTheFileStaysOpenForARetry) {
  TxxFileSystem fs = History("/dev/full");
  fs.Open(omCreate);
  fs.WriteInteger(1);  // waits in the buffer
  EXPECT_EQ(ErrorOf([&] { fs.Close(); }), "/dev/full\r\nerrno " + std::to_string(ENOSPC));
  EXPECT_TRUE(fs.Opened());
}

}  // namespace
}  // namespace vantrel
