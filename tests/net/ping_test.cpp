// The echo request, its checksums and the reply matching, fed bytes: no
// socket. The wire checks sum big-endian words as RFC 1071 writes them, apart
// from the machine-order arithmetic under test.

#include "net/ping.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace vantrel {
namespace {

std::uint32_t WireWords(const std::string& bytes) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const auto high = static_cast<unsigned char>(bytes[i]);
    const auto low = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    sum += static_cast<std::uint32_t>(high << 8 | low);
  }
  while ((sum >> 16) != 0)
    sum = (sum & 0xFFFF) + (sum >> 16);
  return sum;
}

// A message whose checksum is right sums to all ones.
bool VerifiesOnTheWire(const std::string& bytes) {
  return WireWords(bytes) == 0xFFFF;
}

std::string PseudoHeader(const in6_addr& source, const in6_addr& destination, std::size_t length) {
  std::string header(reinterpret_cast<const char*>(&source), 16);
  header.append(reinterpret_cast<const char*>(&destination), 16);
  header += std::string{0, 0, static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)};
  header += std::string{0, 0, 0, 58};
  return header;
}

in6_addr Address6(const char* text) {
  in6_addr address{};
  inet_pton(AF_INET6, text, &address);
  return address;
}

template <typename T>
T FieldAt(const std::string& bytes, std::size_t offset) {
  T value{};
  std::memcpy(&value, bytes.data() + offset, sizeof(value));
  return value;
}

// A reply as the peer returns it: our request with the reply type.
std::string ReplyTo(const TxxPing& ping, std::uint8_t type) {
  std::string reply = ping.Packet;
  reply[0] = static_cast<char>(type);
  return reply;
}

// `message` behind an IPv4 header of `words` 32-bit words.
std::string BehindIPv4Header(const std::string& message, int words) {
  std::string header(static_cast<std::size_t>(4 * words), '\0');
  header[0] = static_cast<char>(0x40 | words);
  return header + message;
}

TEST(PingRequest, DefaultRequestIs44BytesInMachineOrderWithUFill) {
  TxxPing ping;
  ping.BuildRequest(0x11223344);
  ASSERT_EQ(ping.Packet.size(), 44u);
  EXPECT_EQ(static_cast<std::uint8_t>(ping.Packet[0]), 8);
  EXPECT_EQ(ping.Packet[1], 0);
  EXPECT_EQ(FieldAt<std::uint16_t>(ping.Packet, 2), 0);  // checksum comes later
  EXPECT_EQ(FieldAt<std::uint16_t>(ping.Packet, 4), ping.Identifier);
  EXPECT_EQ(FieldAt<std::uint16_t>(ping.Packet, 6), 1);
  EXPECT_EQ(FieldAt<std::uint32_t>(ping.Packet, 8), 0x11223344u);
  EXPECT_EQ(ping.Packet.substr(12), std::string(32, 'U'));
}

TEST(PingRequest, ConsecutiveRequestsCountTheSequenceAndChangeTheIdentifier) {
  TxxPing ping;
  ping.BuildRequest(0);
  for (std::uint32_t expected = 2; expected < 2000; ++expected) {
    const std::uint32_t previous = ping.Identifier;
    ping.BuildRequest(0);
    ASSERT_EQ(ping.Sequence, expected);
    ASSERT_NE(ping.Identifier, previous) << "request " << expected;
    ASSERT_LE(ping.Identifier, 32766u);
  }
}

TEST(PingChecksum, Rfc1071ExampleAndIPv4RequestsWithOddFillVerifyOnTheWire) {
  const std::uint16_t checksum =
      InternetChecksum(std::string("\x00\x01\xF2\x03\xF4\xF5\xF6\xF7", 8));
  // The example's sum is DDF2: the checksum on the wire is its complement.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&checksum), 2), "\x22\x0D");
  for (const int fill : {32, 33, 0, 1}) {
    TxxPing ping;
    ping.PacketSize = fill;
    ping.BuildRequest(0xDEADBEEF);
    ping.StoreChecksum();
    EXPECT_TRUE(VerifiesOnTheWire(ping.Packet)) << "fill " << fill;
  }
}

TEST(PingChecksum, IPv6ChecksumCoversThePseudoHeader) {
  const in6_addr source = Address6("2001:db8::1");
  const in6_addr destination = Address6("2001:db8::2");
  TxxPing ping;
  ping.EchoType = 128;
  ping.PacketSize = 33;
  ping.BuildRequest(0x01020304);
  ASSERT_EQ(static_cast<std::uint8_t>(ping.Packet[0]), 128);
  ping.StoreChecksum(source, destination);
  EXPECT_TRUE(
      VerifiesOnTheWire(PseudoHeader(source, destination, ping.Packet.size()) + ping.Packet));
  // The addresses count: another destination would not accept it.
  EXPECT_FALSE(VerifiesOnTheWire(PseudoHeader(source, Address6("2001:db8::3"), ping.Packet.size()) +
                                 ping.Packet));
}

class PingMatch : public testing::Test {
 protected:
  void SetUp() override {
    Ping_.BuildRequest(1000);
    Ping_.StoreChecksum();
  }
  TEchoMatch Match(const std::string& bytes, bool ipHeader, bool datagram = false) {
    return Ping_.MatchReply(bytes, ipHeader, datagram);
  }
  TxxPing Ping_;
};

TEST_F(PingMatch, ReplyBehindIPv4HeaderOfAnyLengthIsFoundAndOtherMessagesEndThePing) {
  const std::string reply = ReplyTo(Ping_, 0);
  EXPECT_EQ(Match(BehindIPv4Header(reply, 5), true), TEchoMatch::Reply);
  // Options lengthen the header: a fixed 20-byte offset would read garbage.
  EXPECT_EQ(Match(BehindIPv4Header(reply, 7), true), TEchoMatch::Reply);
  EXPECT_EQ(Match(reply, false), TEchoMatch::Reply);
  EXPECT_EQ(Match(ReplyTo(Ping_, 3), false), TEchoMatch::Other);
}

TEST_F(PingMatch, OwnRequestOtherIdentifiersOrSequencesAndTruncatedDatagramsAreSkipped) {
  EXPECT_EQ(Match(BehindIPv4Header(Ping_.Packet, 5), true), TEchoMatch::Unrelated);
  std::string reply = ReplyTo(Ping_, 0);
  for (std::size_t size = 0; size < 12; ++size)
    EXPECT_EQ(Match(reply.substr(0, size), false), TEchoMatch::Unrelated) << size;
  // A header length beyond the datagram, or below the minimum.
  EXPECT_EQ(Match(BehindIPv4Header(reply, 15).substr(0, 40), true), TEchoMatch::Unrelated);
  EXPECT_EQ(Match(BehindIPv4Header(reply, 2), true), TEchoMatch::Unrelated);
  // A datagram socket's requests all carry the kernel's identifier: the
  // sequence tells replies apart. A raw socket's identifier is random per request.
  const std::uint16_t stale = 7;
  std::memcpy(reply.data() + 6, &stale, 2);
  EXPECT_EQ(Match(reply, false, true), TEchoMatch::Unrelated);
  EXPECT_EQ(Match(reply, false, false), TEchoMatch::Reply);
  const auto other = static_cast<std::uint16_t>(Ping_.Identifier ^ 0x0100);
  std::memcpy(reply.data() + 4, &other, 2);
  EXPECT_EQ(Match(reply, false), TEchoMatch::Unrelated);
}

TEST(PingTime, CountsFromTheSendTickInTheReplyAcrossTheWrap) {
  TxxPing ping;
  ping.BuildRequest(5000);
  const std::string reply = ReplyTo(ping, 0);
  EXPECT_EQ(TxxPing::ReplyTime(reply, false, 5250), 250);
  EXPECT_EQ(TxxPing::ReplyTime(BehindIPv4Header(reply, 6), true, 5250), 250);
  ping.BuildRequest(0xFFFFFF00u);
  EXPECT_EQ(TxxPing::ReplyTime(ReplyTo(ping, 0), false, 0x100), 512);
}

}  // namespace
}  // namespace vantrel
