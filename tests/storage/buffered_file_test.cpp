#include "storage/buffered_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>

#include "storage/file_errors.h"
#include "support/faulty_file_ops.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

constexpr std::size_t kBuffer = TBufferedFile::kBufferSize;

// Bytes without a short period, so a block read from the wrong offset shows.
std::string Pattern(std::size_t size, std::uint32_t seed = 1) {
  std::string bytes(size, '\0');
  for (auto& byte : bytes) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<char>(seed >> 23);
  }
  return bytes;
}

std::string Read(TBufferedFile& file, std::size_t size) {
  std::string bytes(size, '\0');
  file.Read(bytes.data(), size);
  return bytes;
}

void Write(TBufferedFile& file, const std::string& bytes) {
  file.Write(bytes.data(), bytes.size());
}

void ExpectErrorNumber(const std::function<void()>& action, int errorNumber,
                       const std::string& fileName) {
  try {
    action();
    ADD_FAILURE() << "no error, expected errno " << errorNumber;
  } catch (const EInOutError& error) {
    EXPECT_EQ(error.ErrorNumber(), errorNumber) << error.what();
    EXPECT_EQ(error.FileName(), fileName);
  }
}

// --- Reading and writing -------------------------------------------------

TEST(BufferedFileRead, SmallAndLargeReadsAndSeeksAroundTheBuffer) {
  TTempDir dir;
  const std::string expected = Pattern(4 * kBuffer + 100);
  WriteFileBytes(dir / "f", expected);
  TBufferedFile file;
  file.OpenRead(dir / "f");
  std::string got;
  while (file.Position() < 2 * kBuffer)
    got += Read(file, 23);  // straddling buffer boundaries
  got += Read(file, 2 * kBuffer);
  EXPECT_EQ(got, expected.substr(0, got.size()));
  for (std::size_t at : {std::size_t{10}, kBuffer + 7, std::size_t{3}}) {
    file.Seek(at);
    EXPECT_EQ(Read(file, 20), expected.substr(at, 20)) << at;
  }
  file.Seek(3 * kBuffer + 200);
  try {
    Read(file, kBuffer);  // fewer are left
    ADD_FAILURE() << "read beyond the end";
  } catch (const EInOutError& error) {
    EXPECT_TRUE(error.IsReadPastEnd());
    EXPECT_EQ(std::string(error.what()).rfind((dir / "f").string() + "\r\n", 0), 0u);
  }
  EXPECT_EQ(Read(file, kBuffer - 100), expected.substr(3 * kBuffer + 200));  // the position stayed
  EXPECT_TRUE(file.Eof());
  EXPECT_THROW(Read(file, 1), EInOutError);
}

TEST(BufferedFileWrite, SmallWritesWaitInTheBufferAndLargeOnesKeepTheirOrder) {
  TTempDir dir;
  const std::string small = Pattern(5 * kBuffer + 11, 1);
  const std::string large = Pattern(3 * kBuffer, 2);
  TBufferedFile file;
  file.Create(dir / "f");
  for (std::size_t at = 0; at < small.size(); at += 23)
    Write(file, small.substr(at, 23));
  EXPECT_EQ(file.Size(), small.size());
  EXPECT_LT(ReadFileBytes(dir / "f").size(), small.size());  // the tail is still pending
  Write(file, large);
  Write(file, "tail");
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), small + large + "tail");
}

TEST(BufferedFileWrite, CreateEmptiesAppendKeepsSeekOverwritesAndTruncateCuts) {
  TTempDir dir;
  WriteFileBytes(dir / "f", "old contents");
  TBufferedFile file;
  file.Create(dir / "f");
  EXPECT_EQ(file.Size(), 0u);
  Write(file, "0123456789");
  file.Close();
  file.OpenAppend(dir / "f");
  EXPECT_EQ(file.Position(), 10u);
  file.Seek(2);
  Write(file, "ab");
  file.Seek(10);
  Write(file, "!torn");  // pending: written out before the cut
  file.Truncate(11);
  EXPECT_EQ(file.Position(), 11u);
  Write(file, "?");
  {
    TBufferedFile missing;
    missing.OpenAppend(dir / "new");
    Write(missing, "x");  // written by the destructor
  }
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), "01ab456789!?");
  EXPECT_EQ(ReadFileBytes(dir / "new"), "x");
}

// --- Failing writes -------------------------------------------------------

// Bytes are pending in the buffer when the disk fills up part-way through
// writing them out. The error names the file and its errno; Close fails the
// same way and keeps the file open with its pending bytes; once there is room
// again, every byte reaches the file exactly once.
TEST(BufferedFileFailure, PartialWriteIsResumedWithoutRepeatingOrDroppingBytes) {
  const struct {
    const char* Name;
    std::string Pending;  // in the buffer before the disk fills up
    std::string Failing;  // the write that fails; empty: a Flush fails
    std::size_t Room;
    bool Taken;  // whether the failing write was taken (to be written by a flush)
  } cases[] = {
      {"flush", Pattern(1000, 3), "", 300, true},
      {"flush of a full disk", "record", "", 0, true},
      {"write that cannot make room", Pattern(kBuffer - 5, 4), Pattern(100, 5), 1000, false},
      {"large write", Pattern(10, 6), Pattern(3 * kBuffer, 7), kBuffer, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir dir;
    const std::string all = c.Pending + c.Failing;
    test::TFaultyFileOps ops;
    TBufferedFile file(ops);
    file.Create(dir / "f");
    Write(file, c.Pending);
    ops.FailWritesAfter(c.Room);
    ExpectErrorNumber([&] { c.Failing.empty() ? file.Flush() : Write(file, c.Failing); }, ENOSPC,
                      dir / "f");
    EXPECT_EQ(ReadFileBytes(dir / "f"), all.substr(0, c.Room));  // what fitted
    EXPECT_EQ(file.Position(), c.Taken ? all.size() : c.Pending.size());
    EXPECT_EQ(file.Size(), file.Position());
    ExpectErrorNumber([&] { file.Close(); }, ENOSPC, dir / "f");
    EXPECT_TRUE(file.IsOpen());
    ops.Heal();
    if (!c.Taken)
      Write(file, c.Failing);
    file.Close();
    EXPECT_EQ(ReadFileBytes(dir / "f"), all);
  }
}

}  // namespace
}  // namespace vantrel
