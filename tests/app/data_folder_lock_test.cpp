// One holder per data folder, and what the others are told about it.

#include "app/data_folder_lock.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "support/test_files.h"

extern char** environ;

namespace vantrel {
namespace {

using test::ReadFileBytes;
using test::TTempDir;
using test::WriteFileBytes;

std::string ThisHost() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  return name;
}

// A child process that holds the folder's lock until the parent lets it go.
class TLockingChild {
 public:
  explicit TLockingChild(const std::filesystem::path& folder) {
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0)
      return;
    Pid_ = ::fork();
    if (Pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      TDataFolderLock lock(folder, "locking-child");
      const char ok = lock.TryLock() ? '1' : '0';
      [[maybe_unused]] const ssize_t sent = ::write(ready[1], &ok, 1);
      char ignored;
      [[maybe_unused]] const ssize_t got = ::read(release[0], &ignored, 1);
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    Release_ = release[1];
    char ok = '0';
    Locked_ = ::read(ready[0], &ok, 1) == 1 && ok == '1';
    ::close(ready[0]);
  }

  ~TLockingChild() { End(); }

  bool Locked() const { return Locked_; }
  pid_t Pid() const { return Pid_; }

  // Lets the child unlock and end, and waits for it.
  void End() {
    if (Release_ >= 0) {
      ::close(Release_);
      Release_ = -1;
    }
    if (Pid_ > 0) {
      ::waitpid(Pid_, nullptr, 0);
      Pid_ = -1;
    }
  }

 private:
  pid_t Pid_ = -1;
  int Release_ = -1;
  bool Locked_ = false;
};

// Waits, at most 10 s of real time, until process `pid` runs `program`.
bool WaitForProgram(pid_t pid, const std::string& program) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  const std::filesystem::path exe = "/proc/" + std::to_string(pid) + "/exe";
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    if (std::filesystem::read_symlink(exe, error).filename() == program)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

TEST(DataFolderLock, SecondLockOnTheSameFolderFailsAndNamesTheHolder) {
  TTempDir dir;
  TDataFolderLock first(dir.Path(), "vantrel-cli run");
  TDataFolderLock second(dir.Path(), "vantrel-cli items");
  ASSERT_TRUE(first.TryLock());
  EXPECT_FALSE(second.TryLock());
  ASSERT_TRUE(second.Holder().has_value());
  EXPECT_EQ(*second.Holder(), (TLockHolder{::getpid(), ThisHost(), "vantrel-cli run"}));
  EXPECT_EQ(second.InUseMessage(), "The data folder " + dir.Path().string() +
                                       " is in use by process " + std::to_string(::getpid()) +
                                       " (vantrel-cli run on " + ThisHost() + ").");
  EXPECT_TRUE(first.Locked());
}

TEST(DataFolderLock, LockHeldByAnotherLiveProcessNamesThatProcess) {
  TTempDir dir;
  TLockingChild child(dir.Path());
  ASSERT_TRUE(child.Locked());
  TDataFolderLock lock(dir.Path());
  EXPECT_FALSE(lock.TryLock());
  ASSERT_TRUE(lock.Holder().has_value());
  EXPECT_EQ(lock.Holder()->Pid, child.Pid());
  EXPECT_EQ(lock.Holder()->Program, "locking-child");

  child.End();
  EXPECT_TRUE(lock.TryLock());
  EXPECT_FALSE(lock.Holder().has_value());
}

TEST(DataFolderLock, LockOfAProcessThatWasKilledIsTakenOver) {
  TTempDir dir;
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    TDataFolderLock lock(dir.Path(), "killed-monitor");
    if (lock.TryLock())
      ::raise(SIGKILL);  // no unlock, no clean-up: as a crash or kill -9
    ::_exit(1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child could not take the lock";
  // Its name is still in the file, but nobody holds the lock.
  EXPECT_NE(ReadFileBytes(dir / TDataFolderLock::kFileName).find("killed-monitor"),
            std::string::npos);

  TDataFolderLock lock(dir.Path(), "next-monitor");
  EXPECT_TRUE(lock.TryLock());
  const std::string text = ReadFileBytes(dir / TDataFolderLock::kFileName);
  EXPECT_EQ(text, "pid " + std::to_string(::getpid()) + "\nhost " + ThisHost() +
                      "\nprogram next-monitor\n");
}

TEST(DataFolderLock, LeftoverFileNamingAnotherProcessDoesNotHoldTheFolder) {
  TTempDir dir;
  WriteFileBytes(dir / TDataFolderLock::kFileName, "pid 1\nhost elsewhere\nprogram old\n");
  TDataFolderLock lock(dir.Path());
  EXPECT_TRUE(lock.TryLock());
}

TEST(DataFolderLock, UnlockEmptiesTheFileAndFreesTheFolder) {
  TTempDir dir;
  TDataFolderLock first(dir.Path(), "first");
  ASSERT_TRUE(first.TryLock());
  first.Unlock();
  EXPECT_FALSE(first.Locked());
  EXPECT_EQ(ReadFileBytes(dir / TDataFolderLock::kFileName), "");
  TDataFolderLock second(dir.Path(), "second");
  EXPECT_TRUE(second.TryLock());
}

TEST(DataFolderLock, ProgramStartedByTheHolderDoesNotKeepTheLock) {
  TTempDir dir;
  TDataFolderLock first(dir.Path());
  ASSERT_TRUE(first.TryLock());
  // As an alarm's command would be started.
  pid_t pid = -1;
  char program[] = "sleep";
  char seconds[] = "30";
  char* argv[] = {program, seconds, nullptr};
  ASSERT_EQ(::posix_spawnp(&pid, "sleep", nullptr, nullptr, argv, environ), 0);
  // Until its exec the child shares every descriptor; from then on it runs
  // the program with those that survive an exec.
  ASSERT_TRUE(WaitForProgram(pid, "sleep"));
  first.Unlock();
  TDataFolderLock second(dir.Path());
  EXPECT_TRUE(second.TryLock()) << second.InUseMessage();
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

TEST(DataFolderLock, FolderWithoutRoomForALockFileIsAnError) {
  TTempDir dir;
  TDataFolderLock lock(dir / "missing");
  EXPECT_THROW(lock.TryLock(), std::system_error);
  EXPECT_FALSE(lock.Locked());
}

TEST(DataFolderLock, HolderThatHasNotWrittenItsNameIsDescribedAsUnnamed) {
  EXPECT_EQ(DescribeHolder(TLockHolder{}), "an unnamed process");
  EXPECT_EQ(DescribeHolder(TLockHolder{12, "", ""}), "process 12");
  EXPECT_EQ(DescribeHolder(TLockHolder{12, "alpha", ""}), "process 12 (on alpha)");
}

}  // namespace
}  // namespace vantrel
