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

TEST(DataFolderLock, SecondLockFailsAndNamesTheHolderUntilItUnlocks) {
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
  first.Unlock();
  EXPECT_FALSE(first.Locked());
  EXPECT_EQ(ReadFileBytes(dir / TDataFolderLock::kFileName), "");
  EXPECT_TRUE(second.TryLock());

  EXPECT_EQ(DescribeHolder(TLockHolder{}), "an unnamed process");
  EXPECT_EQ(DescribeHolder(TLockHolder{12, "", ""}), "process 12");
  EXPECT_EQ(DescribeHolder(TLockHolder{12, "alpha", ""}), "process 12 (on alpha)");
  TDataFolderLock nowhere(dir / "missing");
  EXPECT_THROW(nowhere.TryLock(), std::system_error);
  EXPECT_FALSE(nowhere.Locked());
}

TEST(DataFolderLock, LiveHolderIsNamedAndAKilledOneOrAnyOtherNameHoldsNothing) {
  TTempDir dir;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    TDataFolderLock lock(dir.Path(), "killed-monitor");
    const char ok = lock.TryLock() ? '1' : '0';
    [[maybe_unused]] const ssize_t sent = ::write(ready[1], &ok, 1);
    ::pause();  // until killed: no unlock, no clean-up, as a crash or kill -9
    ::_exit(1);
  }
  char ok = '0';
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1') << "the child could not take the lock";
  TDataFolderLock lock(dir.Path(), "next-monitor");
  EXPECT_FALSE(lock.TryLock());
  ASSERT_TRUE(lock.Holder().has_value());
  EXPECT_EQ(lock.Holder()->Pid, pid);
  EXPECT_EQ(lock.Holder()->Program, "killed-monitor");

  ::kill(pid, SIGKILL);
  ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_TRUE(lock.TryLock());
  EXPECT_FALSE(lock.Holder().has_value());
  EXPECT_EQ(
      ReadFileBytes(dir / TDataFolderLock::kFileName),
      "pid " + std::to_string(::getpid()) + "\nhost " + ThisHost() + "\nprogram next-monitor\n");
  lock.Unlock();
  WriteFileBytes(dir / TDataFolderLock::kFileName, "pid 1\nhost elsewhere\nprogram old\n");
  EXPECT_TRUE(lock.TryLock());
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
  // Until its exec the child shares every descriptor; then only those that
  // survive an exec.
  ASSERT_TRUE(WaitForProgram(pid, "sleep"));
  first.Unlock();
  TDataFolderLock second(dir.Path());
  EXPECT_TRUE(second.TryLock()) << second.InUseMessage();
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace
}  // namespace vantrel
