#include "net/icmp_socket.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace vantrel {
namespace {

constexpr std::uint16_t kIdentifier = 0x4242;

// An echo request; the checksum is left to the kernel for ICMPv6.
std::string EchoRequest(bool v6, std::uint16_t sequence) {
  std::string message(8, '\0');
  message[0] = static_cast<char>(v6 ? 128 : 8);
  message[4] = static_cast<char>(kIdentifier >> 8);
  message[5] = static_cast<char>(kIdentifier & 0xFF);
  message[6] = static_cast<char>(sequence >> 8);
  message[7] = static_cast<char>(sequence & 0xFF);
  message += "vantrel echo payload";
  if (!v6) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < message.size(); i += 2)
      sum += static_cast<std::uint32_t>(static_cast<unsigned char>(message[i]) << 8 |
                                        static_cast<unsigned char>(message[i + 1]));
    if (message.size() % 2 != 0)
      sum += static_cast<std::uint32_t>(static_cast<unsigned char>(message.back()) << 8);
    while (sum >> 16)
      sum = (sum & 0xFFFF) + (sum >> 16);
    const auto checksum = static_cast<std::uint16_t>(~sum);
    message[2] = static_cast<char>(checksum >> 8);
    message[3] = static_cast<char>(checksum & 0xFF);
  }
  return message;
}

// Sends an echo request and reads datagrams until the reply comes: true when
// it did. Raw IPv4 datagrams start with the IP header; the others do not.
bool EchoAnswered(TxxIcmpSocket& socket, bool v6) {
  const std::string request = EchoRequest(v6, 7);
  if (socket.WriteText(request) != static_cast<int>(request.size()))
    return false;
  for (int i = 0; i < 10; ++i) {
    const std::string datagram = socket.ReadChunk(2000);
    if (socket.LastError() != 0)
      return false;
    std::size_t offset = 0;
    if (!v6 && !socket.IsDatagram())
      offset = 4 * (static_cast<unsigned char>(datagram[0]) & 0x0F);
    if (datagram.size() < offset + 8)
      continue;
    const auto type = static_cast<unsigned char>(datagram[offset]);
    if (type == (v6 ? 129 : 0) && datagram.substr(offset + 8) == request.substr(8))
      return true;
  }
  return false;
}

TEST(IcmpSocket, RawSocketExchangesAnEchoWithIPv4Loopback) {
  TxxIcmpSocket socket;
  socket.Connect("127.0.0.1", "0");
  ASSERT_EQ(socket.LastError(), 0) << GetErrorDesc(socket.LastError());
  EXPECT_FALSE(socket.UsesIPv6());
  EXPECT_EQ(socket.SocketProtocol(), 1);
  EXPECT_TRUE(EchoAnswered(socket, false));
}

TEST(IcmpSocket, IPv6LiteralMakesAnICMPv6Socket) {
  TxxIcmpSocket socket;
  socket.Connect("::1", "0");
  ASSERT_EQ(socket.LastError(), 0) << GetErrorDesc(socket.LastError());
  EXPECT_TRUE(socket.UsesIPv6());
  EXPECT_EQ(socket.SocketProtocol(), 58);
  EXPECT_TRUE(EchoAnswered(socket, true));
}

TEST(IcmpSocket, SilentWaitEndsWithTimeOut) {
  TxxIcmpSocket socket;
  socket.Connect("127.0.0.1", "0");
  ASSERT_EQ(socket.LastError(), 0);
  EXPECT_EQ(socket.ReadChunk(100), "");
  EXPECT_EQ(socket.LastError(), kSockTimedOut);
}

// ---- Without privileges, in a network namespace of the child's own ----

// Runs `body` in a child process that has its own network namespace (with
// loopback up and ping_group_range set to `groupRange`) and has become the
// unprivileged user "nobody". Returns the child's exit code, or -1.
int RunUnprivileged(const char* groupRange, const std::function<int()>& body) {
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t child = fork();
  if (child < 0)
    return -1;
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0)
      _exit(100);
    const int control = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    request.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
    if (control < 0 || ioctl(control, SIOCSIFFLAGS, &request) != 0)
      _exit(101);
    ::close(control);
    {
      std::ofstream range("/proc/sys/net/ipv4/ping_group_range");
      range << groupRange << "\n";
      if (!range)
        _exit(102);
    }
    constexpr uid_t kNobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
      _exit(103);
    _exit(body());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
    return -1;
  return WEXITSTATUS(status);
}

TEST(IcmpSocket, WithoutRawSocketsTheUnprivilegedDatagramSocketIsUsed) {
  const int result = RunUnprivileged("0 2147483647", [] {
    TxxIcmpSocket socket;
    socket.Connect("127.0.0.1", "0");
    if (socket.LastError() != 0)
      return 1;
    if (!socket.IsDatagram())
      return 2;
    return EchoAnswered(socket, false) ? 0 : 3;
  });
  EXPECT_EQ(result, 0) << "1: no socket, 2: raw socket, 3: no echo, 10x: set-up failed";
}

TEST(IcmpSocket, WithoutAnyIcmpSocketPermissionIsDenied) {
  const int result = RunUnprivileged("1 0", [] {
    TxxIcmpSocket socket;
    socket.Connect("127.0.0.1", "0");
    return socket.LastError() == kSockPermissionDenied ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace vantrel
