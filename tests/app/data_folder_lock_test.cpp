// One holder per data folder, and what the others are told about it.

#include "app/data_folder_lock.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "support/test_files.h"
#include "support/test_process.h"

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
  EXPECT_THROW(static_cast<void>(nowhere.TryLock()), std::system_error);
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
  // As an alarm's command would be started. Until its exec the child shares
  // every descriptor; then only those that survive an exec.
  test::TTestProcess command({"sleep", "30"});
  const std::filesystem::path exe = "/proc/" + std::to_string(command.Pid()) + "/exe";
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        std::error_code error;
        return std::filesystem::read_symlink(exe, error).filename() == "sleep";
      },
      10000));
  first.Unlock();
  TDataFolderLock second(dir.Path());
  EXPECT_TRUE(second.TryLock()) << second.InUseMessage();
}

}  // namespace
}  // namespace vantrel
