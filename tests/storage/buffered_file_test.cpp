#include "storage/buffered_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>

#include "storage/file_errors.h"
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

// Writes beyond `bytes` fail with EFBIG, as on a full disk, until Lift().
struct TFileSizeLimit {
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &Saved);
    std::signal(SIGXFSZ, SIG_IGN);  // otherwise the process dies
    const rlimit lowered{bytes, Saved.rlim_max};
    Active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~TFileSizeLimit() { Lift(); }
  void Lift() { setrlimit(RLIMIT_FSIZE, &Saved); }
  rlimit Saved{};
  bool Active = false;
};

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

TEST(BufferedFileFailure, FullDiskIsReportedAndThePendingBytesStay) {
  TBufferedFile file;
  file.Create("/dev/full");
  Write(file, "record");  // only buffered: no error yet
  ExpectErrorNumber([&] { file.Flush(); }, ENOSPC, "/dev/full");
  EXPECT_EQ(file.Size(), 6u);
  ExpectErrorNumber([&] { file.Close(); }, ENOSPC, "/dev/full");  // still there to retry
  EXPECT_TRUE(file.IsOpen());  // Close can be tried again; the destructor gives up quietly
}

// Bytes are pending in the buffer when the disk fills up part-way through
// writing them out; once there is room again, every byte reaches the file
// exactly once.
TEST(BufferedFileFailure, PartialWriteIsResumedWithoutRepeatingOrDroppingBytes) {
  const struct {
    const char* Name;
    std::string Pending;  // in the buffer before the disk fills up
    std::string Failing;  // the write that fails; empty: a Flush fails
    rlim_t Limit;
    bool Taken;  // whether the failing write was taken (to be written by a flush)
  } cases[] = {
      {"flush", Pattern(1000, 3), "", 300, true},
      {"write that cannot make room", Pattern(kBuffer - 5, 4), Pattern(100, 5), 1000, false},
      {"large write", Pattern(10, 6), Pattern(3 * kBuffer, 7), kBuffer, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir dir;
    const std::string all = c.Pending + c.Failing;
    TBufferedFile file;
    file.Create(dir / "f");
    Write(file, c.Pending);
    {
      TFileSizeLimit limit(c.Limit);
      ASSERT_TRUE(limit.Active);
      ExpectErrorNumber([&] { c.Failing.empty() ? file.Flush() : Write(file, c.Failing); }, EFBIG,
                        dir / "f");
      EXPECT_EQ(ReadFileBytes(dir / "f"), all.substr(0, c.Limit));  // what fitted
      EXPECT_EQ(file.Position(), c.Taken ? all.size() : c.Pending.size());
      limit.Lift();
      if (c.Taken)
        file.Flush();
      else
        Write(file, c.Failing);
    }
    file.Close();
    EXPECT_EQ(ReadFileBytes(dir / "f"), all);
  }
}

}  // namespace
}  // namespace vantrel
