#include "net/socket_errors.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "net/block_socket.h"

namespace vantrel {
namespace {

struct TErrnoCase {
  int Errno;
  std::int32_t Code;
};

class ErrnoMapping : public testing::TestWithParam<TErrnoCase> {};

TEST_P(ErrnoMapping, SystemErrorBecomesTheNumberCallersTestFor) {
  EXPECT_EQ(SocketErrorFromErrno(GetParam().Errno), GetParam().Code)
      << "errno " << GetParam().Errno;
}

INSTANTIATE_TEST_SUITE_P(
    SocketCalls, ErrnoMapping,
    testing::Values(TErrnoCase{0, 0}, TErrnoCase{ETIMEDOUT, 10060}, TErrnoCase{ECONNRESET, 10054},
                    TErrnoCase{EPIPE, 10054}, TErrnoCase{ECONNREFUSED, 10061},
                    TErrnoCase{ENETUNREACH, 10051}, TErrnoCase{EHOSTUNREACH, 10065},
                    TErrnoCase{EACCES, 10013}, TErrnoCase{EPERM, 10013}, TErrnoCase{EAGAIN, 10035},
                    TErrnoCase{EINPROGRESS, 10036}, TErrnoCase{EINTR, 10004},
                    TErrnoCase{EADDRINUSE, 10048}, TErrnoCase{EADDRNOTAVAIL, 10049},
                    TErrnoCase{EAFNOSUPPORT, 10047}, TErrnoCase{ENOTCONN, 10057},
                    TErrnoCase{EISCONN, 10056}, TErrnoCase{EMSGSIZE, 10040},
                    TErrnoCase{EMFILE, 10024}, TErrnoCase{ENOBUFS, 10055},
                    TErrnoCase{ECONNABORTED, 10053}, TErrnoCase{ENETDOWN, 10050},
                    TErrnoCase{EHOSTDOWN, 10064}));

TEST(ErrnoMappingFallback, UnknownErrnoKeepsItsValueOutsideTheTable) {
  EXPECT_EQ(SocketErrorFromErrno(EPROTO), kSockUnmappedErrnoBase + EPROTO);
  EXPECT_EQ(GetErrorDesc(kSockUnmappedErrnoBase + EPROTO),
            "Not a Winsock error (" + std::to_string(kSockUnmappedErrnoBase + EPROTO) + ")");
}

TEST(ResolverMapping, NameServiceFailuresBecomeHostErrors) {
  EXPECT_EQ(SocketErrorFromResolver(0, 0), 0);
  EXPECT_EQ(SocketErrorFromResolver(EAI_NONAME, 0), 11001);
  EXPECT_EQ(SocketErrorFromResolver(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(SocketErrorFromResolver(EAI_FAIL, 0), 11003);
  EXPECT_EQ(SocketErrorFromResolver(EAI_NODATA, 0), 11004);
  EXPECT_EQ(SocketErrorFromResolver(EAI_SERVICE, 0), kSockServiceNotFound);
  EXPECT_EQ(SocketErrorFromResolver(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(GetErrorDesc, KnownNumbersHaveTheirTexts) {
  EXPECT_EQ(GetErrorDesc(0), "OK");
  EXPECT_EQ(GetErrorDesc(10004), "Interrupted system call");
  EXPECT_EQ(GetErrorDesc(10013), "Permission denied");
  EXPECT_EQ(GetErrorDesc(10040), "Message too long");
  EXPECT_EQ(GetErrorDesc(10043), "Protocol not supported");
  EXPECT_EQ(GetErrorDesc(10054), "Connection reset by peer");
  EXPECT_EQ(GetErrorDesc(10059), "Too many references:can't splice");
  EXPECT_EQ(GetErrorDesc(10060), "Connection timed out");
  EXPECT_EQ(GetErrorDesc(10061), "Connection refused");
  EXPECT_EQ(GetErrorDesc(10091), "Network subsystem is unusable");
  EXPECT_EQ(GetErrorDesc(10092), "Winsock DLL cannot support this application");
  EXPECT_EQ(GetErrorDesc(10101), "Disconnect");
  EXPECT_EQ(GetErrorDesc(11001), "Host not found");
  EXPECT_EQ(GetErrorDesc(11002), "Non authoritative - host not found");
  EXPECT_EQ(GetErrorDesc(11004), "Valid name, no data record of requested type");
}

TEST(GetErrorDesc, NumbersOutsideTheTableAreNamedAsSuch) {
  EXPECT_EQ(GetErrorDesc(12345), "Not a Winsock error (12345)");
  EXPECT_EQ(GetErrorDesc(10001), "Not a Winsock error (10001)");
  EXPECT_EQ(TxxBlockSocket::GetErrorDesc(-1), "Not a Winsock error (-1)");
}

}  // namespace
}  // namespace vantrel
