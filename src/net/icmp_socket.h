#pragma once

#include <cstddef>
#include <string>

#include "net/block_socket.h"

namespace vantrel {

// The socket under ICMP echo: a raw ICMP (ICMPv6) socket where the process may
// open one, else Linux's unprivileged ICMP datagram socket, so that ping works
// without root. On the datagram kind the kernel delivers the ICMP message
// without the IP header, sets the echo identifier itself and passes only the
// replies to our own requests. Connect fixes the peer for later sends and
// receives; each read returns one datagram.
class TxxIcmpSocket : public TxxBlockSocket {
 public:
  // The largest datagram the system can deliver.
  static constexpr std::size_t kMaxDatagramLength = 65535;

  int SocketType() const override;  // SOCK_RAW, whichever kind the handle is
  int SocketProtocol() const override;
  // The size of the next waiting datagram, 0 when none.
  int PendingBytes() override;

  // The open handle is the kernel's ICMP datagram socket, not a raw one.
  bool IsDatagram() const { return HandleValid() && Datagram_; }

 protected:
  int OpenHandle(int family) override;

 private:
  bool Datagram_ = false;
  std::string PeekBuffer_;
};

}  // namespace vantrel
