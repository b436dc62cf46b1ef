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
  std::uint32_t state = seed;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 23);
  }
  return bytes;
}

std::string ReadString(TBufferedFile& file, std::size_t size) {
  std::string bytes(size, '\0');
  file.Read(bytes.data(), size);
  return bytes;
}

void WriteString(TBufferedFile& file, const std::string& bytes) {
  file.Write(bytes.data(), bytes.size());
}

// Lowers the size limit for files of this process, so that writes beyond it
// fail with EFBIG the way a full disk fails them, until Lift() is called.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &Saved_);
    OldHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // otherwise the process dies
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

// --- Reading --------------------------------------------------------------

TEST(BufferedFileRead, SmallBlocksStraddlingBufferBoundariesReadCorrectly) {
  TTempDir dir;
  const std::string expected = Pattern(3 * kBuffer + 100);
  WriteFileBytes(dir / "f", expected);
  TBufferedFile file;
  file.OpenRead(dir / "f");
  std::string got;
  while (file.Size() - file.Position() >= 23)
    got += ReadString(file, 23);
  got += ReadString(file, static_cast<std::size_t>(file.Size() - file.Position()));
  EXPECT_TRUE(file.Eof());
  EXPECT_EQ(got, expected);
}

TEST(BufferedFileRead, ReadPastEndNamesTheFileAndKeepsThePosition) {
  TTempDir dir;
  WriteFileBytes(dir / "f", "0123456789");
  TBufferedFile file;
  file.OpenRead(dir / "f");
  EXPECT_EQ(ReadString(file, 8), "01234567");
  try {
    ReadString(file, 3);
    ADD_FAILURE() << "read beyond the end";
  } catch (const EInOutError& error) {
    EXPECT_TRUE(error.IsReadPastEnd());
    EXPECT_EQ(error.FileName(), (dir / "f").string());
    EXPECT_EQ(std::string(error.what()).rfind((dir / "f").string() + "\r\n", 0), 0u);
  }
  EXPECT_EQ(file.Position(), 8u);
  EXPECT_EQ(ReadString(file, 2), "89");
  EXPECT_TRUE(file.Eof());
}

TEST(BufferedFileRead, ReadLargerThanTheBufferAfterASmallOne) {
  TTempDir dir;
  const std::string expected = Pattern(4 * kBuffer);
  WriteFileBytes(dir / "f", expected);
  TBufferedFile file;
  file.OpenRead(dir / "f");
  EXPECT_EQ(ReadString(file, 5), expected.substr(0, 5));
  EXPECT_EQ(ReadString(file, 3 * kBuffer), expected.substr(5, 3 * kBuffer));
  EXPECT_EQ(ReadString(file, 10), expected.substr(5 + 3 * kBuffer, 10));
  EXPECT_THROW(ReadString(file, kBuffer), EInOutError);  // fewer than that are left
  EXPECT_EQ(file.Position(), 3 * kBuffer + 15);
}

TEST(BufferedFileRead, SeekBackAndBeyondTheBuffer) {
  TTempDir dir;
  const std::string expected = Pattern(2 * kBuffer);
  WriteFileBytes(dir / "f", expected);
  TBufferedFile file;
  file.OpenRead(dir / "f");
  ReadString(file, 100);
  file.Seek(10);
  EXPECT_EQ(ReadString(file, 20), expected.substr(10, 20));
  file.Seek(kBuffer + 7);
  EXPECT_EQ(ReadString(file, 20), expected.substr(kBuffer + 7, 20));
  file.Seek(3);
  EXPECT_EQ(ReadString(file, 4), expected.substr(3, 4));
  file.Seek(2 * kBuffer + 1);
  EXPECT_TRUE(file.Eof());
  EXPECT_THROW(ReadString(file, 1), EInOutError);
}

TEST(BufferedFileRead, MissingFileIsENOENT) {
  TTempDir dir;
  TBufferedFile file;
  ExpectErrorNumber([&] { file.OpenRead(dir / "missing"); }, ENOENT, dir / "missing");
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(file.Eof());
}

TEST(BufferedFileRead, ReadingAClosedFileIsAnError) {
  TBufferedFile file;
  char byte;
  EXPECT_THROW(file.Read(&byte, 1), EInOutError);
}

// --- Writing --------------------------------------------------------------

TEST(BufferedFileWrite, SmallWritesWaitInTheBufferAndReachTheFileWhole) {
  TTempDir dir;
  const std::string expected = Pattern(5 * kBuffer + 11);
  TBufferedFile file;
  file.Create(dir / "f");
  for (std::size_t at = 0; at < expected.size(); at += 23) {
    WriteString(file, expected.substr(at, 23));
  }
  EXPECT_EQ(file.Size(), expected.size());
  EXPECT_EQ(file.Position(), expected.size());
  EXPECT_LT(ReadFileBytes(dir / "f").size(), expected.size());  // the tail is still pending
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), expected);
}

TEST(BufferedFileWrite, LargeWritesBetweenSmallOnesKeepTheirOrder) {
  TTempDir dir;
  const std::string a = Pattern(10, 1), b = Pattern(3 * kBuffer, 2), c = Pattern(kBuffer, 3);
  TBufferedFile file;
  file.Create(dir / "f");
  WriteString(file, a);
  WriteString(file, b);
  WriteString(file, a);
  WriteString(file, c);
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), a + b + a + c);
}

TEST(BufferedFileWrite, CreateEmptiesAnExistingFile) {
  TTempDir dir;
  WriteFileBytes(dir / "f", "old contents");
  TBufferedFile file;
  file.Create(dir / "f");
  EXPECT_EQ(file.Size(), 0u);
  WriteString(file, "new");
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), "new");
}

TEST(BufferedFileWrite, AppendKeepsWhatIsThereAndCreatesWhatIsNot) {
  TTempDir dir;
  WriteFileBytes(dir / "f", "abc");
  TBufferedFile file;
  file.OpenAppend(dir / "f");
  EXPECT_EQ(file.Position(), 3u);
  WriteString(file, "def");
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), "abcdef");

  file.OpenAppend(dir / "new");
  EXPECT_EQ(file.Size(), 0u);
  WriteString(file, "x");
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "new"), "x");
}

TEST(BufferedFileWrite, SeekBackOverwritesInPlace) {
  TTempDir dir;
  TBufferedFile file;
  file.Create(dir / "f");
  WriteString(file, "0123456789");
  file.Seek(2);
  WriteString(file, "ab");
  file.Seek(10);
  WriteString(file, "!");
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), "01ab456789!");
}

TEST(BufferedFileWrite, TruncateCutsATornTailBeforeAppending) {
  TTempDir dir;
  WriteFileBytes(dir / "f", "header" + std::string(23, 'a') + "torn");
  TBufferedFile file;
  file.OpenAppend(dir / "f");
  WriteString(file, "pending");  // written out before the cut
  file.Truncate(6 + 23);
  EXPECT_EQ(file.Position(), 6u + 23u);
  EXPECT_EQ(file.Size(), 6u + 23u);
  WriteString(file, std::string(23, 'b'));
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), "header" + std::string(23, 'a') + std::string(23, 'b'));
}

TEST(BufferedFileWrite, DestructorWritesPendingBytes) {
  TTempDir dir;
  {
    TBufferedFile file;
    file.Create(dir / "f");
    WriteString(file, "kept");
  }
  EXPECT_EQ(ReadFileBytes(dir / "f"), "kept");
}

// --- Failing writes -------------------------------------------------------

TEST(BufferedFileFailure, FullDiskIsReportedAndThePendingBytesStay) {
  TBufferedFile file;
  file.Create("/dev/full");
  WriteString(file, "record");  // only buffered: no error yet
  ExpectErrorNumber([&] { file.Flush(); }, ENOSPC, "/dev/full");
  EXPECT_EQ(file.Size(), 6u);
  ExpectErrorNumber([&] { file.Flush(); }, ENOSPC, "/dev/full");  // still there to retry
  ExpectErrorNumber([&] { file.Close(); }, ENOSPC, "/dev/full");
  EXPECT_TRUE(file.IsOpen());  // Close can be tried again; the destructor gives up quietly
}

TEST(BufferedFileFailure, FlushResumesAfterAPartialWriteWithoutRepeatingOrDropping) {
  TTempDir dir;
  const std::string expected = Pattern(1000);
  TBufferedFile file;
  file.Create(dir / "f");
  for (std::size_t at = 0; at < expected.size(); at += 10)
    WriteString(file, expected.substr(at, 10));
  {
    TFileSizeLimit limit(300);
    ASSERT_TRUE(limit.Active());
    ExpectErrorNumber([&] { file.Flush(); }, EFBIG, dir / "f");
    EXPECT_EQ(ReadFileBytes(dir / "f"), expected.substr(0, 300));  // what fitted
    limit.Lift();
    file.Flush();
  }
  EXPECT_EQ(ReadFileBytes(dir / "f"), expected);
  WriteString(file, "tail");
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), expected + "tail");
}

TEST(BufferedFileFailure, WriteThatCannotMakeRoomTakesNothing) {
  TTempDir dir;
  const std::string first = Pattern(kBuffer - 5, 4);
  const std::string second = Pattern(100, 5);
  TBufferedFile file;
  file.Create(dir / "f");
  WriteString(file, first);  // fills the buffer almost completely
  {
    TFileSizeLimit limit(1000);
    ASSERT_TRUE(limit.Active());
    ExpectErrorNumber([&] { WriteString(file, second); }, EFBIG, dir / "f");
    EXPECT_EQ(file.Position(), first.size());  // the caller may simply try again
    EXPECT_EQ(file.Size(), first.size());
    limit.Lift();
    WriteString(file, second);
  }
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), first + second);
}

TEST(BufferedFileFailure, LargeWriteFailingPartWayIsCompletedByTheNextFlush) {
  TTempDir dir;
  const std::string head = Pattern(10, 6);
  const std::string large = Pattern(3 * kBuffer, 7);
  TBufferedFile file;
  file.Create(dir / "f");
  WriteString(file, head);
  {
    TFileSizeLimit limit(kBuffer);
    ASSERT_TRUE(limit.Active());
    ExpectErrorNumber([&] { WriteString(file, large); }, EFBIG, dir / "f");
    EXPECT_EQ(file.Position(), head.size() + large.size());  // taken whole: do not resend
    limit.Lift();
    file.Flush();
  }
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir / "f"), head + large);
}

}  // namespace
}  // namespace vantrel
