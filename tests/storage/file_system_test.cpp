#include "storage/file_system.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <bit>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

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

// The stored form of one block, worked out here from the format's definition
// independently of the container's code.
std::string StoreBlock(const std::string& plain, const std::string& key = kKey) {
  if (key.empty())
    return plain;
  const std::size_t n = plain.size();
  const std::size_t l = key.size();
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
  stored += static_cast<char>(check & 0xFF);
  stored += static_cast<char>(check >> 8);
  return stored;
}

std::string Le32(std::int32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i)
    bytes += static_cast<char>(static_cast<std::uint32_t>(value) >> (8 * i));
  return bytes;
}

std::string Le64(std::uint64_t value) {
  std::string bytes;
  for (int i = 0; i < 8; ++i)
    bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string bytes;
  for (unsigned v : values)
    bytes += static_cast<char>(v);
  return bytes;
}

std::string AllByteValues() {
  std::string text;
  for (int i = 0; i < 256; ++i)
    text += static_cast<char>(i);
  return text;
}

// The reason of the EDataFileError that `action` throws, or a note that it
// threw something else or nothing.
std::string DataErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EDataFileError& error) {
    return error.Reason();
  } catch (const std::exception& error) {
    return std::string("other error: ") + error.what();
  }
  return "no error";
}

// Opens for reading and reads integers and strings in the pattern `layout`
// ('i' integer, 's' string) until the end.
void ReadLayout(const std::string& path, const std::string& layout, const std::string& key = kKey) {
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, key);
  fs.Open(omRead);
  for (char kind : layout) {
    if (kind == 'i')
      fs.ReadInteger();
    if (kind == 's')
      fs.ReadString();
  }
  fs.Close();
}

// A history-like file: header, then one integer and one string per item.
void WriteSample(const std::string& path, const std::string& key = kKey) {
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, key);
  fs.Open(omCreate);
  fs.WriteInteger(42);
  fs.WriteString("ab");
  fs.Close();
}

// Lowers the size limit for files of this process, so that writes beyond it
// fail with EFBIG the way a full disk fails them, until Lift() is called.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &Saved_);
    OldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = Saved_;
    lowered.rlim_cur = bytes;
    Active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~TFileSizeLimit() {
    Lift();
    std::signal(SIGXFSZ, OldHandler_);
  }
  bool Active() const { return Active_; }
  void Lift() { setrlimit(RLIMIT_FSIZE, &Saved_); }

 private:
  rlimit Saved_{};
  void (*OldHandler_)(int) = SIG_DFL;
  bool Active_ = false;
};

class TPumpCounter {
 public:
  TPumpCounter() {
    SetUiPump([this] { ++Count; });
  }
  ~TPumpCounter() { SetUiPump({}); }
  int Count = 0;
};

// --- What lands on disk ---------------------------------------------------

TEST(FileSystemFormat, HeaderIntegerAndEmptyStringAreStoredByteForByte) {
  TTempDir dir;
  const std::string path = dir / "h.vth";
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  fs.Open(omCreate);
  fs.WriteInteger(1234567);
  fs.WriteString("");
  fs.Close();

  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes, StoreBlock("VTH1.00") + StoreBlock(Le32(1234567)) + StoreBlock(Le32(0)) +
                       StoreBlock(""));
  ASSERT_EQ(bytes.size(), 9u + 6u + 6u + 2u);
  // Worked by hand: 'V' (0x56) xor '$' (0x24) plus K[7] = 'z' (0x7A).
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xEC);
  // The length 0: bytes K[i] + K[4 - i] = "$"+"m", "1"+"Q", "$"+"$", "Q"+"1"; check value
  // 0x24 ^ 0x3100 ^ 0x24 ^ 0x5100 = 0x6000. The empty block is its check value 0.
  EXPECT_EQ(bytes.substr(15), Bytes({0x91, 0x82, 0x48, 0x82, 0x00, 0x60, 0x00, 0x00}));
}

TEST(FileSystemFormat, EmptyPassPhraseStoresPlainBlocksWithoutCheckValues) {
  TTempDir dir;
  const std::string path = dir / "w.vtd";
  TxxFileSystem fs(path, kWatchListSignature, kWatchListVersion, "");
  fs.Open(omCreate);
  fs.WriteInteger(-2);
  fs.WriteByte(7);
  fs.WriteDouble(1.5);
  fs.WriteString("hi");
  fs.Close();
  EXPECT_EQ(ReadFileBytes(path), "VTD2.10" + Le32(-2) + "\x07" +
                                     Le64(std::bit_cast<std::uint64_t>(1.5)) + Le32(2) + "hi");
}

TEST(FileSystemFormat, TypedValuesTakeTheirDocumentedSizes) {
  TTempDir dir;
  const std::string path = dir / "f";
  TxxFileSystem fs(path, "VTH", 1.0, kDataPassPhrase);
  fs.Open(omCreate);
  EXPECT_EQ(fs.HeaderSize(), 9u);
  fs.WriteInteger(1);
  EXPECT_EQ(fs.Size(), 9u + 6u);
  fs.WriteByte(1);
  EXPECT_EQ(fs.Size(), 9u + 6u + 3u);
  fs.WriteDouble(1);
  EXPECT_EQ(fs.Size(), 9u + 6u + 3u + 10u);
  fs.WriteString("abc");
  EXPECT_EQ(fs.Size(), 9u + 6u + 3u + 10u + 6u + 3u + 2u);
  fs.Close();
  EXPECT_EQ(ReadFileBytes(path).size(), 39u);
}

// Runs of blocks of one size take a faster road through the key; every block
// of a run must still be stored, and its damage found, exactly as a lone one.
TEST(FileSystemFormat, RunsOfEqualSizeBlocksAreStoredAndCheckedLikeLoneOnes) {
  TTempDir dir;
  const std::string path = dir / "h.vth";
  std::vector<std::string> blocks;
  for (std::size_t size : {21, 21, 21, 4, 4, 21, 21, 0, 0, 300, 300, 21}) {
    std::string block;
    for (std::size_t i = 0; i < size; ++i)
      block += static_cast<char>(blocks.size() * 37 + i * 11);
    blocks.push_back(block);
  }
  {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omCreate);
    for (const auto& block : blocks)
      fs.WriteBuffer(block.data(), block.size());
    fs.Close();
  }
  std::string expected = StoreBlock("VTH1.00");
  for (const auto& block : blocks)
    expected += StoreBlock(block);
  const std::string original = ReadFileBytes(path);
  ASSERT_EQ(original, expected);

  auto readAll = [&] {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omRead);
    for (const auto& block : blocks) {
      std::string got(block.size(), '\0');
      fs.ReadBuffer(got.data(), got.size());
      EXPECT_EQ(got, block);
    }
    EXPECT_TRUE(fs.Eof());
  };
  EXPECT_EQ(DataErrorOf(readAll), "no error");
  // One byte in the third 21-byte block, one in a 4-byte block of a run, one
  // in the check value of the second long block.
  for (std::size_t offset :
       {9u + 2 * 23 + 5, 9u + 3 * 23 + 6 + 1, 9u + 5 * 23 + 2 * 6 + 2 * 2 + 302 + 300}) {
    WriteFileBytes(path, original);
    IncrementByte(path, offset);
    EXPECT_EQ(DataErrorOf(readAll), kWrongFileFormat) << "byte " << offset;
  }
}

TEST(FileSystemFormat, VersionTextKeepsItsPointUnderADecimalCommaLocale) {
  TTempDir dir;
  {
    test::TLocaleGuard german("de_DE.UTF-8");
    ASSERT_TRUE(german.Ok()) << "cannot switch to a locale with a decimal comma";
    ASSERT_EQ(std::string(localeconv()->decimal_point), ",");
    TxxFileSystem fs(dir / "f", "VTD", 2.1, "");
    fs.Open(omCreate);
    fs.Close();
  }
  EXPECT_EQ(ReadFileBytes(dir / "f"), "VTD2.10");
}

// --- Round trips ----------------------------------------------------------

class FileSystemRoundTrip : public testing::TestWithParam<std::string> {};

TEST_P(FileSystemRoundTrip, EveryTypedValueReadsBackAsWritten) {
  TTempDir dir;
  const std::string path = dir / "f";
  const std::string key = GetParam();
  const std::string longText(3 * 64 * 1024 + 17, 'x');  // wider than the file buffer
  const std::uint64_t nanBits = 0x7FF800000000ABCDull;
  const unsigned char record[21] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                    12, 13, 14, 15, 16, 17, 18, 19, 20, 255};
  const std::vector<std::int32_t> integers = {0, 1, -1, std::numeric_limits<std::int32_t>::min(),
                                              std::numeric_limits<std::int32_t>::max()};
  const std::vector<double> doubles = {0.0,
                                       -0.0,
                                       45000.123456789,
                                       4.9e-324,
                                       std::numeric_limits<double>::infinity(),
                                       std::bit_cast<double>(nanBits)};
  const std::vector<std::string> texts = {"", "a", AllByteValues(), longText};
  {
    TxxFileSystem fs(path, "VTR", 1.0, key);
    fs.Open(omCreate);
    for (auto v : integers)
      fs.WriteInteger(v);
    fs.WriteByte(0);
    fs.WriteByte(255);
    for (auto v : doubles)
      fs.WriteDouble(v);
    for (const auto& v : texts)
      fs.WriteString(v);
    fs.WriteBuffer(record, sizeof record);
    fs.WriteBuffer(record, 0);
    fs.Close();
  }
  TxxFileSystem fs(path, "VTR", 1.0, key);
  fs.Open(omRead);
  for (auto v : integers)
    EXPECT_EQ(fs.ReadInteger(), v);
  EXPECT_EQ(fs.ReadByte(), 0);
  EXPECT_EQ(fs.ReadByte(), 255);
  for (auto v : doubles) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(fs.ReadDouble()), std::bit_cast<std::uint64_t>(v));
  }
  for (const auto& v : texts)
    EXPECT_EQ(fs.ReadString(), v);
  unsigned char got[21] = {};
  fs.ReadBuffer(got, sizeof got);
  EXPECT_EQ(std::memcmp(got, record, sizeof got), 0);
  // The empty block is still ahead when it carries a check value.
  EXPECT_EQ(fs.Eof(), key.empty());
  fs.ReadBuffer(got, 0);
  EXPECT_TRUE(fs.Eof());
  fs.Close();
  EXPECT_TRUE(fs.Eof());
}

INSTANTIATE_TEST_SUITE_P(FileSystemKeys, FileSystemRoundTrip,
                         testing::Values(std::string(kDataPassPhrase), std::string(""),
                                         std::string("k")),
                         [](const testing::TestParamInfo<std::string>& key) {
                           return key.param.empty()       ? std::string("NoPassPhrase")
                                  : key.param.size() == 1 ? std::string("OneCharacterKey")
                                                          : std::string("ProgramPassPhrase");
                         });

TEST(FileSystemRoundTripDetails, WriteBufferLeavesTheCallersBytesAlone) {
  TTempDir dir;
  TxxFileSystem fs(dir / "f", "VTH", 1.0, kDataPassPhrase);
  fs.Open(omCreate);
  std::string record = "twenty-one bytes long";
  const std::string copy = record;
  fs.WriteBuffer(record.data(), record.size());
  fs.Close();
  EXPECT_EQ(record, copy);
}

TEST(FileSystemRoundTripDetails, HundredThousandSmallBlocksAreReadWithFewSystemCalls) {
  TTempDir dir;
  const std::string path = dir / "h.vth";
  constexpr int kCount = 100000;
  struct Record {
    unsigned char bytes[21];
  };
  auto make = [](int i) {
    Record r{};
    std::memcpy(r.bytes, &i, sizeof i);
    r.bytes[4] = static_cast<unsigned char>(i % 2);
    r.bytes[20] = static_cast<unsigned char>(i * 7);
    return r;
  };
  {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omCreate);
    for (int i = 0; i < kCount; ++i) {
      const Record r = make(i);
      fs.WriteBuffer(r.bytes, sizeof r.bytes);
    }
    fs.Close();
  }
  ASSERT_EQ(ReadFileBytes(path).size(), 9u + 23u * kCount);

  auto readCalls = []() -> long long {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value;
    while (io >> key >> value) {
      if (key == "syscr:")
        return value;
    }
    return -1;
  };
  const long long before = readCalls();
  int count = 0;
  bool allEqual = true;
  {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omRead);
    while (!fs.Eof()) {
      Record r{};
      fs.ReadBuffer(r.bytes, sizeof r.bytes);
      allEqual = allEqual && std::memcmp(r.bytes, make(count).bytes, sizeof r.bytes) == 0;
      ++count;
    }
    fs.Close();
  }
  const long long after = readCalls();
  EXPECT_EQ(count, kCount);
  EXPECT_TRUE(allEqual);
  if (before < 0 || after < 0)
    GTEST_SKIP() << "/proc/self/io is not readable here";
  // 2.3 MB in 64 KiB reads is about 36 calls; one call per block would be 100,000.
  EXPECT_LT(after - before, 200) << "read system calls for " << kCount << " blocks";
}

// --- Damage ---------------------------------------------------------------

TEST(FileSystemDamage, AnyChangedByteIsWrongFileFormat) {
  TTempDir dir;
  const std::string good = dir / "good";
  WriteSample(good);
  const std::string original = ReadFileBytes(good);
  ASSERT_EQ(original.size(), 9u + 6u + 6u + 4u);
  const std::string bad = dir / "bad";
  for (std::size_t offset = 0; offset < original.size(); ++offset) {
    WriteFileBytes(bad, original);
    IncrementByte(bad, offset);
    EXPECT_EQ(DataErrorOf([&] { ReadLayout(bad, "is"); }), kWrongFileFormat) << "byte " << offset;
  }
  EXPECT_EQ(DataErrorOf([&] { ReadLayout(good, "is"); }), "no error");
}

TEST(FileSystemDamage, WrongPassPhraseIsWrongFileFormat) {
  TTempDir dir;
  WriteSample(dir / "f");
  // Short blocks use only the first key bytes, so change one of those.
  std::string otherKey = kKey;
  otherKey[1] = 'X';
  EXPECT_EQ(DataErrorOf([&] { ReadLayout(dir / "f", "is", otherKey); }), kWrongFileFormat);
}

TEST(FileSystemDamage, ScrambledFileCannotBeReadWithoutThePassPhrase) {
  TTempDir dir;
  WriteSample(dir / "f");
  EXPECT_EQ(DataErrorOf([&] { ReadLayout(dir / "f", "is", ""); }), kWrongFileFormat);
}

TEST(FileSystemDamage, OtherSignatureIsWrongFileFormatAndTheMessageNamesTheFile) {
  TTempDir dir;
  const std::string path = dir / "list.vtd";
  {
    TxxFileSystem fs(path, kWatchListSignature, kWatchListVersion, kDataPassPhrase);
    fs.Open(omCreate);
    fs.Close();
  }
  TxxFileSystem fs(path, kHistorySignature, 9.0, kDataPassPhrase);
  try {
    fs.Open(omRead);
    ADD_FAILURE() << "a watch list opened as a history";
  } catch (const EDataFileError& error) {
    EXPECT_EQ(std::string(error.what()), path + "\r\nWrong file format.");
  }
  EXPECT_FALSE(fs.Opened());
  // The comparison is case-sensitive.
  TxxFileSystem lower(path, "vtd", 9.0, kDataPassPhrase);
  EXPECT_EQ(DataErrorOf([&] { lower.Open(omRead); }), kWrongFileFormat);
}

TEST(FileSystemDamage, FileCutInsideABlockIsReadPastEndNamingTheFile) {
  TTempDir dir;
  const std::string path = dir / "f";
  WriteSample(path);
  ShrinkFile(path, 9 + 6 + 6 + 3);  // the last check value lost a byte
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  fs.Open(omRead);
  EXPECT_EQ(fs.ReadInteger(), 42);
  try {
    fs.ReadString();
    ADD_FAILURE() << "read a cut block";
  } catch (const EInOutError& error) {
    EXPECT_TRUE(error.IsReadPastEnd());
    EXPECT_EQ(error.FileName(), path);
  }
}

TEST(FileSystemDamage, FileCutInsideTheHeaderIsReadPastEnd) {
  TTempDir dir;
  const std::string path = dir / "f";
  WriteSample(path);
  ShrinkFile(path, 5);
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  try {
    fs.Open(omRead);
    ADD_FAILURE() << "opened a cut header";
  } catch (const EInOutError& error) {
    EXPECT_TRUE(error.IsReadPastEnd());
  }
  EXPECT_FALSE(fs.Opened());
  EXPECT_TRUE(fs.Eof());
}

TEST(FileSystemDamage, NegativeStringLengthIsWrongFileFormat) {
  TTempDir dir;
  WriteFileBytes(dir / "f", StoreBlock("VTH1.00") + StoreBlock(Le32(-5)) + StoreBlock("abc"));
  EXPECT_EQ(DataErrorOf([&] { ReadLayout(dir / "f", "s"); }), kWrongFileFormat);
}

TEST(FileSystemDamage, StringLengthBeyondTheEndFailsBeforeAllocating) {
  TTempDir dir;
  for (std::int32_t length : {std::numeric_limits<std::int32_t>::max(), 4}) {
    WriteFileBytes(dir / "f", StoreBlock("VTH1.00") + StoreBlock(Le32(length)) + StoreBlock("ab"));
    TxxFileSystem fs(dir / "f", kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omRead);
    try {
      fs.ReadString();
      ADD_FAILURE() << "read a string of " << length << " bytes from a short file";
    } catch (const EInOutError& error) {
      EXPECT_TRUE(error.IsReadPastEnd()) << length;
    }
  }
}

TEST(FileSystemDamage, TornLastBlockIsSeenBeforeReadingAndCutBeforeAppending) {
  TTempDir dir;
  const std::string path = dir / "h.vth";
  const std::string a(21, 'a'), b(21, 'b'), c(21, 'c');
  {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omCreate);
    fs.WriteBuffer(a.data(), 21);
    fs.WriteBuffer(b.data(), 21);
    fs.Close();
  }
  ShrinkFile(path, 9 + 23 + 10);  // a crash while the second block was written

  {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omRead);
    int whole = 0;
    while (fs.Size() - fs.Position() >= fs.StoredSize(21)) {
      std::string record(21, '\0');
      fs.ReadBuffer(record.data(), 21);
      ++whole;
    }
    EXPECT_EQ(whole, 1);
    EXPECT_FALSE(fs.Eof());  // what is left is a torn block
    EXPECT_EQ(fs.Size() - fs.Position(), 10u);
  }
  {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omAppend);
    const std::uint64_t torn = (fs.Size() - fs.HeaderSize()) % fs.StoredSize(21);
    fs.Truncate(fs.Size() - torn);
    fs.WriteBuffer(c.data(), 21);
    fs.Close();
  }
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  fs.Open(omRead);
  std::string record(21, '\0');
  fs.ReadBuffer(record.data(), 21);
  EXPECT_EQ(record, a);
  fs.ReadBuffer(record.data(), 21);
  EXPECT_EQ(record, c);
  EXPECT_TRUE(fs.Eof());
}

// --- Versions -------------------------------------------------------------

TEST(FileSystemVersion, OlderAndEqualVersionsAreReadNewerOnesRefused) {
  TTempDir dir;
  const std::string path = dir / "f";
  WriteSample(path);  // version 1.00
  for (double expected : {1.0, 2.1}) {
    TxxFileSystem fs(path, kHistorySignature, expected, kDataPassPhrase);
    fs.Open(omRead);
    EXPECT_EQ(fs.Version(), 1.0) << "the file's version, not the expected " << expected;
  }
  TxxFileSystem older(path, kHistorySignature, 0.9, kDataPassPhrase);
  EXPECT_EQ(DataErrorOf([&] { older.Open(omRead); }), kWrongFileVersion);
  EXPECT_FALSE(older.Opened());
  EXPECT_EQ(older.Version(), 0.9);
}

TEST(FileSystemVersion, DecimalCommaHeaderReadsAsTheSameVersion) {
  TTempDir dir;
  WriteFileBytes(dir / "h", StoreBlock("VTH1,00") + StoreBlock(Le32(3)));
  TxxFileSystem history(dir / "h", kHistorySignature, kHistoryVersion, kDataPassPhrase);
  history.Open(omRead);
  EXPECT_EQ(history.Version(), 1.0);
  EXPECT_EQ(history.ReadInteger(), 3);

  WriteFileBytes(dir / "w", StoreBlock("VTD2,10"));
  TxxFileSystem list(dir / "w", kWatchListSignature, kWatchListVersion, kDataPassPhrase);
  list.Open(omRead);
  EXPECT_EQ(list.Version(), 2.1);
}

TEST(FileSystemVersion, VersionTextThatIsNotANumberIsWrongFileVersion) {
  TTempDir dir;
  for (const char* text :
       {"1.0x", "1..0", "1.,0", "abcd", " 1.0", "1000", "-1.0", "+1.0", "1.0 "}) {
    WriteFileBytes(dir / "f", StoreBlock(std::string("VTH") + text));
    TxxFileSystem fs(dir / "f", kHistorySignature, 9.99, kDataPassPhrase);
    EXPECT_EQ(DataErrorOf([&] { fs.Open(omRead); }), kWrongFileVersion) << text;
  }
  WriteFileBytes(dir / "f", StoreBlock("VTH.500"));
  TxxFileSystem fs(dir / "f", kHistorySignature, 1.0, kDataPassPhrase);
  fs.Open(omRead);
  EXPECT_EQ(fs.Version(), 0.5);
}

TEST(FileSystemVersion, TenCannotBeWrittenAndTheOldFileStays) {
  TTempDir dir;
  const std::string path = dir / "f";
  WriteSample(path);
  const std::string before = ReadFileBytes(path);
  for (double version : {10.0, 9.996, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    TxxFileSystem fs(path, kHistorySignature, version, kDataPassPhrase);
    EXPECT_EQ(DataErrorOf([&] { fs.Open(omCreate); }), kWrongFileVersion) << version;
    EXPECT_FALSE(fs.Opened());
  }
  EXPECT_EQ(ReadFileBytes(path), before);
  TxxFileSystem fresh(dir / "new", kHistorySignature, 10.0, kDataPassPhrase);
  EXPECT_EQ(DataErrorOf([&] { fresh.Open(omAppend); }), kWrongFileVersion);
}

TEST(FileSystemVersion, ExtraDecimalsAreRoundedToTwo) {
  TTempDir dir;
  for (auto [version, text] : {std::pair{1.006, "1.01"}, std::pair{9.994, "9.99"},
                               std::pair{0.0, "0.00"}, std::pair{2.1, "2.10"}}) {
    TxxFileSystem fs(dir / "f", "VTR", version, "");
    fs.Open(omCreate);
    fs.Close();
    EXPECT_EQ(ReadFileBytes(dir / "f"), std::string("VTR") + text);
  }
}

// --- Opening, appending, closing ------------------------------------------

TEST(FileSystemOpen, EofIsTrueBeforeOpen) {
  TxxFileSystem fs("/nonexistent/f", "VTH", 1.0, kDataPassPhrase);
  EXPECT_TRUE(fs.Eof());
  EXPECT_FALSE(fs.Opened());
}

TEST(FileSystemOpen, EmptyFileIsFileNotFound) {
  TTempDir dir;
  const std::string path = dir / "empty.vth";
  WriteFileBytes(path, "");
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  try {
    fs.Open(omRead);
    ADD_FAILURE() << "opened an empty file";
  } catch (const EDataFileError& error) {
    EXPECT_EQ(std::string(error.what()), path + "\r\nFile not found.");
  }
  EXPECT_FALSE(fs.Opened());
}

TEST(FileSystemOpen, MissingFileIsTheFileLayersNotFound) {
  TTempDir dir;
  TxxFileSystem fs(dir / "missing", kHistorySignature, kHistoryVersion, kDataPassPhrase);
  try {
    fs.Open(omRead);
    ADD_FAILURE() << "opened a missing file";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorNumber(), ENOENT);
  }
  EXPECT_FALSE(fs.Opened());
}

TEST(FileSystemOpen, CreateReplacesAnExistingFile) {
  TTempDir dir;
  const std::string path = dir / "f";
  WriteSample(path);
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  fs.Open(omCreate);
  fs.WriteInteger(7);
  fs.Close();
  EXPECT_EQ(ReadFileBytes(path), StoreBlock("VTH1.00") + StoreBlock(Le32(7)));
}

TEST(FileSystemOpen, AppendAddsBlocksAfterTheExistingOnes) {
  TTempDir dir;
  const std::string path = dir / "f";
  WriteSample(path);
  const std::string before = ReadFileBytes(path);
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  fs.Open(omAppend);
  fs.WriteInteger(43);
  fs.Close();
  EXPECT_EQ(ReadFileBytes(path), before + StoreBlock(Le32(43)));
}

TEST(FileSystemOpen, AppendToAMissingOrEmptyFileWritesTheHeaderFirst) {
  TTempDir dir;
  WriteFileBytes(dir / "empty", "");
  for (const std::string& path : {(dir / "missing").string(), (dir / "empty").string()}) {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omAppend);
    fs.WriteInteger(1);
    fs.Close();
    EXPECT_EQ(ReadFileBytes(path), StoreBlock("VTH1.00") + StoreBlock(Le32(1))) << path;
  }
}

TEST(FileSystemOpen, AppendToADamagedHeaderAppendsAndTheNextReadFindsIt) {
  TTempDir dir;
  const std::string path = dir / "f";
  WriteSample(path);
  IncrementByte(path, 2);
  const std::string before = ReadFileBytes(path);
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  fs.Open(omAppend);
  EXPECT_EQ(fs.Version(), kHistoryVersion);
  fs.WriteInteger(43);
  fs.Close();
  EXPECT_EQ(ReadFileBytes(path), before + StoreBlock(Le32(43)));
  EXPECT_EQ(DataErrorOf([&] { ReadLayout(path, "isi"); }), kWrongFileFormat);
}

TEST(FileSystemOpen, UnknownOpenModeOpensNothing) {
  TTempDir dir;
  TxxFileSystem fs(dir / "f", kHistorySignature, kHistoryVersion, kDataPassPhrase);
  EXPECT_THROW(fs.Open(static_cast<TxxOpenMode>(3)), std::invalid_argument);
  EXPECT_FALSE(fs.Opened());
  EXPECT_FALSE(std::filesystem::exists(dir / "f"));
}

TEST(FileSystemOpen, DestructionClosesAndKeepsTheWrittenBlocks) {
  TTempDir dir;
  const std::string path = dir / "f";
  {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omCreate);
    fs.WriteInteger(5);
  }
  EXPECT_EQ(ReadFileBytes(path), StoreBlock("VTH1.00") + StoreBlock(Le32(5)));
}

TEST(FileSystemOpen, UserInterfaceIsPumpedForOpenCloseAndEveryBlock) {
  TTempDir dir;
  const std::string path = dir / "f";
  TPumpCounter pump;
  {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omCreate);  // open + header block
    for (int i = 0; i < 100; ++i)
      fs.WriteInteger(i);
    fs.WriteString("x");  // two blocks
    fs.Close();
  }
  EXPECT_EQ(pump.Count, 2 + 100 + 2 + 1);
  pump.Count = 0;
  {
    TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
    fs.Open(omRead);
    for (int i = 0; i < 100; ++i)
      fs.ReadInteger();
    fs.ReadString();
    fs.Close();
  }
  EXPECT_EQ(pump.Count, 2 + 100 + 2 + 1);
}

TEST(FileSystemOpen, FullDiskIsAnInOutErrorFromClose) {
  TxxFileSystem fs("/dev/full", kHistorySignature, kHistoryVersion, kDataPassPhrase);
  fs.Open(omCreate);
  fs.WriteInteger(1);  // waits in the buffer
  try {
    fs.Close();
    ADD_FAILURE() << "no error from a full disk";
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorNumber(), ENOSPC);
    EXPECT_EQ(error.FileName(), "/dev/full");
  }
  EXPECT_TRUE(fs.Opened());  // may be closed again; destruction gives up quietly
}

TEST(FileSystemOpen, FailedCloseCanBeRetriedWithoutLosingOrRepeatingBlocks) {
  TTempDir dir;
  const std::string path = dir / "f";
  TxxFileSystem fs(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  fs.Open(omCreate);
  for (int i = 0; i < 10; ++i)
    fs.WriteInteger(i);
  {
    TFileSizeLimit limit(40);  // the header and some of the blocks fit
    ASSERT_TRUE(limit.Active());
    EXPECT_THROW(fs.Close(), EInOutError);
    EXPECT_EQ(ReadFileBytes(path).size(), 40u);
    limit.Lift();
    fs.Close();
  }
  EXPECT_FALSE(fs.Opened());
  EXPECT_EQ(ReadFileBytes(path).size(), 9u + 10u * 6u);
  TxxFileSystem reader(path, kHistorySignature, kHistoryVersion, kDataPassPhrase);
  reader.Open(omRead);
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(reader.ReadInteger(), i);
  EXPECT_TRUE(reader.Eof());
}

}  // namespace
}  // namespace vantrel
