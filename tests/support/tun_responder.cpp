// A ping target for the tests: creates a TUN device (in the network namespace
// it is started in) and answers the ICMP and ICMPv6 echo requests routed into
// it, after a delay, optionally preceded by unrelated replies ("decoys") or
// not at all. Prints "ready" once the device exists; the test then gives it
// addresses and routes. Requests with a bad checksum are dropped and logged.
//
// tun_responder --device NAME [--delay MS] [--decoys N]
//               [--decoy-interval MS] [--decoy-kind identifier|sequence] [--silent]

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

struct TOptions {
  std::string Device;
  int DelayMs = 0;
  int Decoys = 0;
  int DecoyIntervalMs = 0;
  bool DecoySequence = false;  // decoys differ in the sequence, else in the identifier
  bool Silent = false;
};

// Sum of big-endian 16-bit words, as RFC 1071 writes it.
std::uint32_t SumWords(const std::uint8_t* data, std::size_t length, std::uint32_t sum = 0) {
  for (std::size_t i = 0; i + 1 < length; i += 2)
    sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
  if (length % 2 != 0)
    sum += static_cast<std::uint32_t>(data[length - 1] << 8);
  return sum;
}

std::uint16_t Fold(std::uint32_t sum) {
  while ((sum >> 16) != 0)
    sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

// The checksum over the IPv6 pseudo-header and the ICMPv6 message at 40.
std::uint16_t Icmp6Sum(const Bytes& packet) {
  const std::size_t length = packet.size() - 40;
  std::uint32_t sum = SumWords(packet.data() + 8, 32);  // source and destination
  sum += static_cast<std::uint32_t>(length >> 16) + static_cast<std::uint32_t>(length & 0xFFFF);
  sum += 58;
  return Fold(SumWords(packet.data() + 40, length, sum));
}

void Put16(Bytes& packet, std::size_t at, std::uint16_t value) {
  packet[at] = static_cast<std::uint8_t>(value >> 8);
  packet[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

// An echo request found in a packet: where its ICMP message starts.
struct TRequest {
  bool V6 = false;
  std::size_t Message = 0;
};

bool ParseRequest(const Bytes& packet, TRequest& request, std::string& problem) {
  if (packet.empty())
    return false;
  const int version = packet[0] >> 4;
  if (version == 4) {
    const std::size_t header = 4u * (packet[0] & 0x0F);
    if (packet.size() < header + 8 || packet[9] != 1 || packet[header] != 8)
      return false;
    if (Fold(SumWords(packet.data() + header, packet.size() - header)) != 0) {
      problem = "bad ICMP checksum";
      return false;
    }
    request = {false, header};
    return true;
  }
  if (version == 6) {
    if (packet.size() < 48 || packet[6] != 58 || packet[40] != 128)
      return false;
    if (Icmp6Sum(packet) != 0) {
      problem = "bad ICMPv6 checksum";
      return false;
    }
    request = {true, 40};
    return true;
  }
  return false;
}

// The echo reply to `request`; `decoy` changes it into an unrelated one.
Bytes MakeReply(const Bytes& packet, const TRequest& request, bool decoy, bool decoySequence) {
  Bytes reply = packet;
  const std::size_t at = request.Message;
  if (decoy) {
    // Flip bits of the identifier, or of the sequence, in place.
    reply[at + (decoySequence ? 6 : 4)] ^= 0x5A;
  }
  if (request.V6) {
    std::swap_ranges(reply.begin() + 8, reply.begin() + 24, reply.begin() + 24);
    reply[7] = 64;  // hop limit
    reply[at] = 129;
    Put16(reply, at + 2, 0);
    Put16(reply, at + 2, Icmp6Sum(reply));
  } else {
    std::swap_ranges(reply.begin() + 12, reply.begin() + 16, reply.begin() + 16);
    reply[8] = 64;  // TTL
    Put16(reply, 10, 0);
    Put16(reply, 10, Fold(SumWords(reply.data(), at)));
    reply[at] = 0;
    Put16(reply, at + 2, 0);
    Put16(reply, at + 2, Fold(SumWords(reply.data() + at, reply.size() - at)));
  }
  return reply;
}

bool ParseOptions(int argc, char** argv, TOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--silent") {
      options.Silent = true;
      continue;
    }
    if (i + 1 >= argc)
      return false;
    const std::string value = argv[++i];
    if (name == "--device")
      options.Device = value;
    else if (name == "--delay")
      options.DelayMs = std::atoi(value.c_str());
    else if (name == "--decoys")
      options.Decoys = std::atoi(value.c_str());
    else if (name == "--decoy-interval")
      options.DecoyIntervalMs = std::atoi(value.c_str());
    else if (name == "--decoy-kind")
      options.DecoySequence = value == "sequence";
    else
      return false;
  }
  return !options.Device.empty();
}

int OpenTun(const TOptions& options) {
  const int tun = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
  if (tun < 0) {
    std::perror("/dev/net/tun");
    return -1;
  }
  ifreq request{};
  request.ifr_flags = IFF_TUN | IFF_NO_PI;
  std::strncpy(request.ifr_name, options.Device.c_str(), IFNAMSIZ - 1);
  if (ioctl(tun, TUNSETIFF, &request) != 0) {
    std::perror("TUNSETIFF");
    return -1;
  }
  return tun;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s --device NAME [--delay MS] [--decoys N] "
                 "[--decoy-interval MS] [--decoy-kind identifier|sequence] [--silent]\n",
                 argv[0]);
    return 2;
  }
  // Never outlive the test that started us, which would keep its namespace alive.
  const pid_t parent = getppid();
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent)
    return 1;
  const int tun = OpenTun(options);
  if (tun < 0)
    return 1;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf("ready\n");

  struct TOutgoing {
    Bytes Packet;
    bool Decoy = false;
  };
  std::multimap<Clock::time_point, TOutgoing> due;  // what to write and when
  long requests = 0;
  long decoys = 0;
  long replies = 0;
  Bytes packet(65536);
  for (;;) {
    int wait = -1;
    if (!due.empty()) {
      const auto until =
          std::chrono::duration_cast<std::chrono::milliseconds>(due.begin()->first - Clock::now())
              .count();
      wait = static_cast<int>(std::max<long long>(0, until + 1));
    }
    pollfd ready{tun, POLLIN, 0};
    if (poll(&ready, 1, wait) < 0 && errno != EINTR)
      return 1;
    if ((ready.revents & POLLIN) != 0) {
      const ssize_t got = ::read(tun, packet.data(), packet.size());
      if (got < 0 && errno != EINTR && errno != EAGAIN)
        return 1;
      if (got > 0) {
        const Bytes received(packet.begin(), packet.begin() + got);
        TRequest request;
        std::string problem;
        if (ParseRequest(received, request, problem)) {
          ++requests;
          std::printf("request %ld (IPv%d)\n", requests, request.V6 ? 6 : 4);
          const auto now = Clock::now();
          for (int i = 0; i < options.Decoys; ++i) {
            due.emplace(now + std::chrono::milliseconds(i * options.DecoyIntervalMs),
                        TOutgoing{MakeReply(received, request, true, options.DecoySequence), true});
          }
          if (!options.Silent) {
            due.emplace(now + std::chrono::milliseconds(options.DelayMs),
                        TOutgoing{MakeReply(received, request, false, false), false});
          }
        } else if (!problem.empty()) {
          std::printf("dropped: %s\n", problem.c_str());
        }
      }
    }
    const auto now = Clock::now();
    while (!due.empty() && due.begin()->first <= now) {
      const TOutgoing& out = due.begin()->second;
      if (::write(tun, out.Packet.data(), out.Packet.size()) < 0)
        std::perror("write");
      else if (out.Decoy)
        std::printf("decoy %ld\n", ++decoys);
      else
        std::printf("reply %ld\n", ++replies);
      due.erase(due.begin());
    }
  }
}
