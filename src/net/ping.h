#pragma once

// ICMP and ICMPv6 echo: one request to a host, the matching reply, the round
// trip in milliseconds. The checks' ping method, the ping variant of the
// connection test and the test buttons use it: create a TxxPing, set Timeout,
// call Ping, read PingTime.
//
// Without CAP_NET_RAW the socket is Linux's unprivileged ICMP datagram socket.
// There the kernel puts its own identifier (the socket's local "port") into the
// request and hands the socket only replies carrying it; we adopt that
// identifier and tell our reply apart by its sequence number.

#include <netinet/in.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "net/client_socket.h"
#include "net/icmp_socket.h"

namespace vantrel {

// Echo message layout; all fields in the machine's own byte order, as the
// request was written (the peer copies them back unchanged).
inline constexpr std::size_t kEchoTypeOffset = 0;
inline constexpr std::size_t kEchoChecksumOffset = 2;
inline constexpr std::size_t kEchoIdentifierOffset = 4;  // 16 bits
inline constexpr std::size_t kEchoSequenceOffset = 6;    // 16 bits
inline constexpr std::size_t kEchoSendTickOffset = 8;    // 32-bit millisecond tick
inline constexpr std::size_t kEchoHeaderLength = 12;     // the fill follows
inline constexpr char kEchoFill = 'U';
inline constexpr std::int32_t kEchoReceiveBuffer = 61440;  // bytes
inline constexpr std::uint32_t kMaxEchoIdentifier = 32766;

// The Internet checksum (RFC 1071) of `data` in the machine's byte order,
// ready to be stored as a 16-bit field: the one's complement of the one's
// complement sum of its 16-bit words, an odd last byte padded with a zero.
std::uint16_t InternetChecksum(std::string_view data);

// The ICMPv6 checksum of `message` from `source` to `destination`: the
// Internet checksum over the 40-byte pseudo-header (both addresses, the
// length as 32-bit big-endian, three zero bytes, next header 58) and the message.
std::uint16_t Icmp6Checksum(const in6_addr& source, const in6_addr& destination,
                            std::string_view message);

// What a datagram read while waiting means for the request.
enum class TEchoMatch : std::uint8_t {
  Unrelated,  // not about our request (another's traffic, our own request): read on
  Reply,      // our echo reply
  Other       // another ICMP message carrying our identifier: the ping failed
};

class TxxPing : public TxxClientSocket {
 public:
  TxxPing();

  // Sends one echo request to `host` (name, IPv4 or IPv6 literal) and waits,
  // at most Timeout milliseconds in all (a negative Timeout: without limit),
  // for the reply. True when it came; PingTime then holds the round trip and
  // ReplyFrom the replying address. False with LastError set otherwise
  // (11001 unknown host, 10013 no ICMP socket allowed or the request
  // refused by a local firewall, 10060 no reply in time, 10065 an ICMP error
  // came back instead, 10004 aborted, ...).
  [[nodiscard]] bool Ping(std::string_view host);

  // The request being built, then the last datagram received.
  std::string Packet;
  // Incremented before each request; its low 16 bits go into the request.
  std::uint32_t Sequence = 0;
  // The identifier of the last request: random from 0 to 32766, different
  // from the one before; on a datagram socket the one the kernel set.
  std::uint32_t Identifier = 0;
  // Fill bytes after the 12-byte header.
  std::int32_t PacketSize = 32;
  // Round trip of the last successful echo in milliseconds, -1 otherwise.
  std::int32_t PingTime = -1;
  // Numeric address the accepted answer came from; empty when none came.
  std::string ReplyFrom;
  // 8 and 0 for IPv4, 128 and 129 for IPv6.
  std::uint8_t EchoType = 8;
  std::uint8_t EchoReplyType = 0;

  // 0 or the socket error number that made the last Ping fail.
  std::int32_t LastError() const { return LastError_; }
  const TxxIcmpSocket& Sock() const { return Sock_; }

  // The steps of Ping, apart from the socket.

  // Builds the request into Packet for the current EchoType: a new
  // Identifier, the next Sequence, `sendTick` and the fill; checksum 0.
  void BuildRequest(std::uint32_t sendTick);
  // Stores the IPv4 checksum into Packet.
  void StoreChecksum();
  // Stores the ICMPv6 checksum into Packet.
  void StoreChecksum(const in6_addr& source, const in6_addr& destination);
  // Judges a received datagram. `withIPHeader`: it starts with an IPv4
  // header (raw IPv4 sockets). `bySequence`: the sequence must match too
  // (datagram sockets, where the identifier is the kernel's and all requests
  // of the socket share it).
  TEchoMatch MatchReply(std::string_view datagram, bool withIPHeader, bool bySequence) const;
  // Milliseconds from the send tick carried in an accepted reply to `nowTick`,
  // so time the reply spent queued counts from the moment the request was built.
  static std::int32_t ReplyTime(std::string_view datagram, bool withIPHeader,
                                std::uint32_t nowTick);

 protected:
  TxxBlockSocket& Socket() override { return Sock_; }

 private:
  // Waits for and judges datagrams until the reply, a failure or the deadline.
  bool AwaitReply(bool withIPHeader, bool bySequence);
  bool Fail(std::int32_t error);

  TxxIcmpSocket Sock_;
  std::mt19937 Random_;
  std::int32_t LastError_ = 0;
};

}  // namespace vantrel
