#include "net/ping.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/clock.h"
#include "platform/unique_fd.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

constexpr std::uint8_t kIcmp6NextHeader = 58;
constexpr std::size_t kMinIPv4HeaderLength = 20;

std::uint16_t Load16(std::string_view data, std::size_t offset) {
  std::uint16_t value = 0;
  std::memcpy(&value, data.data() + offset, sizeof(value));
  return value;
}

std::uint32_t Load32(std::string_view data, std::size_t offset) {
  std::uint32_t value = 0;
  std::memcpy(&value, data.data() + offset, sizeof(value));
  return value;
}

void Store16(std::string& data, std::size_t offset, std::uint16_t value) {
  std::memcpy(data.data() + offset, &value, sizeof(value));
}

void Store32(std::string& data, std::size_t offset, std::uint32_t value) {
  std::memcpy(data.data() + offset, &value, sizeof(value));
}

// Where the ICMP message starts in a datagram; npos when the IPv4 header is
// malformed.
std::size_t MessageOffset(std::string_view datagram, bool withIPHeader) {
  if (!withIPHeader)
    return 0;
  if (datagram.empty())
    return std::string_view::npos;
  const std::size_t length = 4 * (static_cast<unsigned char>(datagram[0]) & 0x0F);
  return length < kMinIPv4HeaderLength ? std::string_view::npos : length;
}

bool IsUnspecified(const in6_addr& address) {
  static const in6_addr kAny = IN6ADDR_ANY_INIT;
  return std::memcmp(&address, &kAny, sizeof(address)) == 0;
}

// The source address the system routes to `peer` with: a UDP socket is
// connected (which sends nothing) and asked for its local end.
bool RoutedSource(const sockaddr_in6& peer, in6_addr& source) {
  const TUniqueFd probe(::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!probe)
    return false;
  sockaddr_in6 to = peer;
  to.sin6_port = htons(9);
  sockaddr_in6 local{};
  socklen_t length = sizeof(local);
  const bool ok = ::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof(to)) == 0 &&
                  ::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&local), &length) == 0;
  if (ok)
    source = local.sin6_addr;
  return ok;
}

// The identifier the kernel writes into the requests of an ICMP datagram
// socket: its local port, in the byte order it goes on the wire.
std::uint16_t KernelIdentifier(const TxxIcmpSocket& socket) {
  sockaddr_storage local{};
  socklen_t length = sizeof(local);
  if (::getsockname(socket.Handle(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
    return 0;
  if (local.ss_family == AF_INET6)
    return reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port;
  return reinterpret_cast<const sockaddr_in*>(&local)->sin_port;
}

}  // namespace

std::uint16_t InternetChecksum(std::string_view data) {
  std::uint64_t sum = 0;
  std::size_t at = 0;
  for (; at + 1 < data.size(); at += 2)
    sum += Load16(data, at);
  if (at < data.size()) {
    // Padded with a zero byte after it: the word's low byte on a
    // little-endian machine, as the request's other fields.
    const char last[2] = {data[at], 0};
    sum += Load16(std::string_view(last, 2), 0);
  }
  while ((sum >> 16) != 0)
    sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

std::uint16_t Icmp6Checksum(const in6_addr& source, const in6_addr& destination,
                            std::string_view message) {
  std::string block(40, '\0');
  std::memcpy(block.data(), &source, 16);
  std::memcpy(block.data() + 16, &destination, 16);
  const std::uint32_t length = htonl(static_cast<std::uint32_t>(message.size()));
  std::memcpy(block.data() + 32, &length, 4);
  block[39] = static_cast<char>(kIcmp6NextHeader);
  block.append(message);
  return InternetChecksum(block);
}

TxxPing::TxxPing()
    : Random_(std::random_device{}() ^ static_cast<std::uint32_t>(SystemClock().Tick())) {}

void TxxPing::BuildRequest(std::uint32_t sendTick) {
  Packet.assign(static_cast<std::size_t>(std::max(PacketSize, 0)) + kEchoHeaderLength, '\0');
  Packet[kEchoTypeOffset] = static_cast<char>(EchoType);
  std::uniform_int_distribution<std::uint32_t> pick(0, kMaxEchoIdentifier);
  const std::uint32_t previous = Identifier;
  do {
    Identifier = pick(Random_);
  } while (Sequence != 0 && Identifier == previous);
  Store16(Packet, kEchoIdentifierOffset, static_cast<std::uint16_t>(Identifier));
  Store32(Packet, kEchoSendTickOffset, sendTick);
  ++Sequence;
  Store16(Packet, kEchoSequenceOffset, static_cast<std::uint16_t>(Sequence));
  std::fill(Packet.begin() + kEchoHeaderLength, Packet.end(), kEchoFill);
}

void TxxPing::StoreChecksum() {
  Store16(Packet, kEchoChecksumOffset, 0);
  Store16(Packet, kEchoChecksumOffset, InternetChecksum(Packet));
}

void TxxPing::StoreChecksum(const in6_addr& source, const in6_addr& destination) {
  Store16(Packet, kEchoChecksumOffset, 0);
  Store16(Packet, kEchoChecksumOffset, Icmp6Checksum(source, destination, Packet));
}

TEchoMatch TxxPing::MatchReply(std::string_view datagram, bool withIPHeader,
                               bool bySequence) const {
  const std::size_t at = MessageOffset(datagram, withIPHeader);
  if (at == std::string_view::npos || datagram.size() < at + kEchoSendTickOffset)
    return TEchoMatch::Unrelated;
  const auto type = static_cast<std::uint8_t>(datagram[at + kEchoTypeOffset]);
  // A raw socket on loopback sees our own request too.
  if (type == EchoType)
    return TEchoMatch::Unrelated;
  if (Load16(datagram, at + kEchoIdentifierOffset) != static_cast<std::uint16_t>(Identifier))
    return TEchoMatch::Unrelated;
  if (bySequence &&
      Load16(datagram, at + kEchoSequenceOffset) != static_cast<std::uint16_t>(Sequence))
    return TEchoMatch::Unrelated;
  if (type != EchoReplyType)
    return TEchoMatch::Other;
  // Too short to carry our send time: not the copy of our request.
  if (datagram.size() < at + kEchoHeaderLength)
    return TEchoMatch::Unrelated;
  return TEchoMatch::Reply;
}

std::int32_t TxxPing::ReplyTime(std::string_view datagram, bool withIPHeader,
                                std::uint32_t nowTick) {
  const std::size_t at = MessageOffset(datagram, withIPHeader);
  if (at == std::string_view::npos || datagram.size() < at + kEchoHeaderLength)
    return -1;
  const std::uint32_t elapsed = TickDelta(Load32(datagram, at + kEchoSendTickOffset), nowTick);
  return static_cast<std::int32_t>(std::min<std::uint32_t>(elapsed, INT32_MAX));
}

bool TxxPing::Fail(std::int32_t error) {
  LastError_ = error;
  return false;
}

bool TxxPing::Ping(std::string_view host) {
  PingTime = -1;
  ReplyFrom.clear();
  LastError_ = 0;
  // A fresh handle per echo: the host may be of the other family, and replies
  // that missed an earlier deadline must not wait in the queue.
  Sock_.Close();
  Sock_.Timeout = Timeout < 0 ? kNoTimeout : Timeout;  // bounds a send the system cannot take
  Sock_.Bind(IPInterface, "0");
  if (Sock_.LastError() == 0)
    Sock_.Connect(host, "0");
  if (Sock_.LastError() != 0)
    return Fail(Sock_.LastError());
  Sock_.SetRecvBufferSize(kEchoReceiveBuffer);

  const bool v6 = Sock_.UsesIPv6();
  EchoType = v6 ? 128 : 8;
  EchoReplyType = v6 ? 129 : 0;
  BuildRequest(SystemClock().Tick());
  if (v6) {
    const sockaddr_in6& peer = Sock_.RemoteAddr().Addr6;
    in6_addr source = Sock_.LocalAddr().Addr6.sin6_addr;
    if (!Sock_.LocalAddr().HasIPv6 || IsUnspecified(source))
      RoutedSource(peer, source);
    StoreChecksum(source, peer.sin6_addr);
  } else {
    StoreChecksum();
  }
  const int length = static_cast<int>(Packet.size());
  if (Sock_.WriteBuf(Packet.data(), length) != length)
    return Fail(Sock_.LastError() != 0 ? Sock_.LastError() : kSockMessageTooLong);
  const bool datagram = Sock_.IsDatagram();
  if (datagram)
    Identifier = KernelIdentifier(Sock_);
  return AwaitReply(!v6 && !datagram, datagram);
}

bool TxxPing::AwaitReply(bool withIPHeader, bool bySequence) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  // One deadline for the whole wait: unrelated traffic (other checkers'
  // replies on a raw socket) must not push it back.
  const auto remaining = [&]() -> std::int32_t {
    if (Timeout < 0)
      return kNoTimeout;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    return static_cast<std::int32_t>(std::max<long long>(0, Timeout - elapsed));
  };
  std::string buffer(TxxIcmpSocket::kMaxDatagramLength, '\0');
  for (;;) {
    if (!Sock_.WaitReadable(remaining()))
      return Fail(Sock_.LastError() != 0 ? Sock_.LastError() : kSockTimedOut);
    // Readable: take the datagram without another wait.
    Sock_.Timeout = 0;
    const int got = Sock_.ReadBufFrom(buffer.data(), static_cast<int>(buffer.size()));
    if (got < 0 && Sock_.LastError() != kSockTimedOut)
      return Fail(Sock_.LastError());
    if (got >= 0) {
      Packet.assign(buffer.data(), static_cast<std::size_t>(got));
      const TEchoMatch match = MatchReply(Packet, withIPHeader, bySequence);
      if (match != TEchoMatch::Unrelated) {
        ReplyFrom = Sock_.RemoteIP();
        if (match == TEchoMatch::Other)
          return Fail(kSockHostUnreachable);
        PingTime = ReplyTime(Packet, withIPHeader, SystemClock().Tick());
        return true;
      }
    }
    if (remaining() == 0)
      return Fail(kSockTimedOut);
  }
}

}  // namespace vantrel
