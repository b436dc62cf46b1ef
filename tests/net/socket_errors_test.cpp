#include "net/socket_errors.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "net/block_socket.h"

namespace vantrel {
namespace {

TEST(SocketErrors, SystemErrorsBecomeTheNumbersCallersTestFor) {
  const std::vector<std::pair<int, std::int32_t>> rows = {
      {0, 0},
      {ETIMEDOUT, 10060},
      {ECONNRESET, 10054},
      {EPIPE, 10054},
      {ECONNREFUSED, 10061},
      {ENETUNREACH, 10051},
      {EHOSTUNREACH, 10065},
      {EACCES, 10013},
      {EPERM, 10013},
      {EAGAIN, 10035},
      {EINPROGRESS, 10036},
      {EINTR, 10004},
      {EADDRINUSE, 10048},
      {EADDRNOTAVAIL, 10049},
      {EAFNOSUPPORT, 10047},
      {ENOTCONN, 10057},
      {EISCONN, 10056},
      {EMSGSIZE, 10040},
      {EMFILE, 10024},
      {ENOBUFS, 10055},
      {ECONNABORTED, 10053},
      {ENETDOWN, 10050},
      {EHOSTDOWN, 10064},

  };
  for (const auto& [error, code] : rows)
    EXPECT_EQ(SocketErrorFromErrno(error), code) << "errno " << error;
  // An errno outside the table is kept apart from the table's numbers.
  EXPECT_EQ(SocketErrorFromErrno(EPROTO), kSockUnmappedErrnoBase + EPROTO);
}

TEST(SocketErrors, NameServiceFailuresBecomeHostErrors) {
  EXPECT_EQ(SocketErrorFromResolver(0, 0), 0);
  EXPECT_EQ(SocketErrorFromResolver(EAI_NONAME, 0), 11001);
  EXPECT_EQ(SocketErrorFromResolver(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(SocketErrorFromResolver(EAI_FAIL, 0), 11003);
  EXPECT_EQ(SocketErrorFromResolver(EAI_NODATA, 0), 11004);
  EXPECT_EQ(SocketErrorFromResolver(EAI_SERVICE, 0), kSockServiceNotFound);
  EXPECT_EQ(SocketErrorFromResolver(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(SocketErrors, DescriptionsOfKnownAndUnknownNumbers) {
  EXPECT_EQ(GetErrorDesc(0), "OK");
  EXPECT_EQ(GetErrorDesc(10054), "Connection reset by peer");
  EXPECT_EQ(GetErrorDesc(10059), "Too many references:can't splice");
  EXPECT_EQ(GetErrorDesc(10060), "Connection timed out");
  EXPECT_EQ(GetErrorDesc(10061), "Connection refused");
  EXPECT_EQ(GetErrorDesc(10101), "Disconnect");
  EXPECT_EQ(GetErrorDesc(11002), "Non authoritative - host not found");
  EXPECT_EQ(GetErrorDesc(10001), "Not a Winsock error (10001)");
  EXPECT_EQ(TxxBlockSocket::GetErrorDesc(-1), "Not a Winsock error (-1)");
}

}  // namespace
}  // namespace vantrel
