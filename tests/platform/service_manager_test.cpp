// Telling a service manager how the monitor is doing, and knowing the journal.

#include "platform/service_manager.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/unique_fd.h"

namespace vantrel {
namespace {

// A datagram socket bound to `name` ("@..." abstract), as a manager listens.
TUniqueFd Listen(const std::string& name) {
  TUniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, name.data(), name.size());
  if (name[0] == '@')
    address.sun_path[0] = '\0';
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() +
                                             (name[0] == '@' ? 0 : 1));
  EXPECT_EQ(::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), length), 0)
      << std::strerror(errno);
  return fd;
}

std::string Received(const TUniqueFd& fd) {
  char buffer[256];
  const ssize_t size = ::recv(fd.Get(), buffer, sizeof(buffer), 0);
  return size < 0 ? "(nothing)" : std::string(buffer, static_cast<std::size_t>(size));
}

TEST(TServiceNotifier, SendsToAPathOrAnAbstractNameAndSaysWhyWhenItCannot) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("vantrel-notify-" + std::to_string(::getpid())))
          .string();
  std::filesystem::remove(path);
  const TUniqueFd file = Listen(path);
  const std::string abstractName = "@vantrel-notify-" + std::to_string(::getpid());
  const TUniqueFd abstract = Listen(abstractName);

  EXPECT_TRUE(TServiceNotifier(path).Notify("READY=1\nSTATUS=Monitoring"));
  EXPECT_EQ(Received(file), "READY=1\nSTATUS=Monitoring");
  EXPECT_TRUE(TServiceNotifier(abstractName).Notify("STOPPING=1"));
  EXPECT_EQ(Received(abstract), "STOPPING=1");
  std::filesystem::remove(path);

  std::string error;
  EXPECT_FALSE(TServiceNotifier(path).Notify("READY=1", &error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_FALSE(TServiceNotifier("relative/socket").Notify("READY=1", &error));
  EXPECT_TRUE(TServiceNotifier().Notify("READY=1"));  // no manager waits
}

TEST(TServiceNotifier, TakesTheSocketOutOfTheEnvironmentForTheProgramsItStarts) {
  ::setenv("NOTIFY_SOCKET", "/run/notify", 1);
  EXPECT_TRUE(TServiceNotifier::FromEnvironment().Active());
  EXPECT_EQ(std::getenv("NOTIFY_SOCKET"), nullptr);
  EXPECT_FALSE(TServiceNotifier::FromEnvironment().Active());
}

TEST(IsJournalStream, OnlyTheStreamJournalStreamNames) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const TUniqueFd reader(fds[0]);
  const TUniqueFd writer(fds[1]);
  struct stat status = {};
  ASSERT_EQ(::fstat(writer.Get(), &status), 0);
  const std::string stream = std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);

  ::setenv("JOURNAL_STREAM", stream.c_str(), 1);
  EXPECT_TRUE(IsJournalStream(writer.Get()));
  const TUniqueFd other(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  EXPECT_FALSE(IsJournalStream(other.Get()));  // redirected by the user
  for (const char* broken : {"", ":", "12", "1:2x", "x:1"}) {
    ::setenv("JOURNAL_STREAM", broken, 1);
    EXPECT_FALSE(IsJournalStream(writer.Get())) << broken;
  }
  ::unsetenv("JOURNAL_STREAM");
  EXPECT_FALSE(IsJournalStream(writer.Get()));
}

}  // namespace
}  // namespace vantrel
