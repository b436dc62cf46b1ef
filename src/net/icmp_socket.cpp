#include "net/icmp_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace vantrel {

namespace {

int IcmpProtocol(int family) {
  if (family == AF_INET6)
    return IPPROTO_ICMPV6;
  return IPPROTO_ICMP;
}

}  // namespace

int TxxIcmpSocket::SocketType() const {
  return SOCK_RAW;
}

int TxxIcmpSocket::SocketProtocol() const {
  return IcmpProtocol(UsesIPv6() ? AF_INET6 : AF_INET);
}

int TxxIcmpSocket::OpenHandle(int family) {
  const int flags = SOCK_NONBLOCK | SOCK_CLOEXEC;
  Datagram_ = false;
  const int raw = ::socket(family, SOCK_RAW | flags, IcmpProtocol(family));
  if (raw >= 0 || (errno != EPERM && errno != EACCES))
    return raw;
  // Without CAP_NET_RAW; allowed when our group is in net.ipv4.ping_group_range.
  const int datagram = ::socket(family, SOCK_DGRAM | flags, IcmpProtocol(family));
  if (datagram < 0) {
    errno = EACCES;  // report the refusal of raw sockets: "Permission denied"
    return -1;
  }
  Datagram_ = true;
  return datagram;
}

int TxxIcmpSocket::PendingBytes() {
  if (!HandleValid()) {
    SetLastError(kSockNotASocket);
    return 0;
  }
  // FIONREAD is not offered by every ICMP socket kind, and the datagram kind
  // reports only what fits into the buffer even with MSG_TRUNC: peek with room
  // for the largest datagram.
  PeekBuffer_.resize(kMaxDatagramLength);
  const ssize_t size =
      ::recv(Handle(), PeekBuffer_.data(), PeekBuffer_.size(), MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
  return size > 0 ? static_cast<int>(size) : 0;
}

}  // namespace vantrel
