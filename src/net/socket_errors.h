#pragma once

// The socket layer's error numbers. Callers and the texts of GetErrorDesc rely
// on these numbers (the classic socket error numbering), so every errno and
// resolver failure the system reports is mapped onto them.

#include <cstdint>
#include <string>

namespace vantrel {

inline constexpr std::int32_t kSockOk = 0;
inline constexpr std::int32_t kSockInterrupted = 10004;  // also: the wait was aborted
inline constexpr std::int32_t kSockBadHandle = 10009;
inline constexpr std::int32_t kSockPermissionDenied = 10013;
inline constexpr std::int32_t kSockBadAddress = 10014;
inline constexpr std::int32_t kSockInvalidArgument = 10022;
inline constexpr std::int32_t kSockTooManyFiles = 10024;
inline constexpr std::int32_t kSockWouldBlock = 10035;
inline constexpr std::int32_t kSockInProgress = 10036;
inline constexpr std::int32_t kSockAlreadyInProgress = 10037;
inline constexpr std::int32_t kSockNotASocket = 10038;
inline constexpr std::int32_t kSockMessageTooLong = 10040;
inline constexpr std::int32_t kSockProtocolNotSupported = 10043;
inline constexpr std::int32_t kSockAddressFamilyNotSupported = 10047;
inline constexpr std::int32_t kSockAddressInUse = 10048;
inline constexpr std::int32_t kSockAddressNotAvailable = 10049;
inline constexpr std::int32_t kSockNetworkDown = 10050;
inline constexpr std::int32_t kSockNetworkUnreachable = 10051;
inline constexpr std::int32_t kSockConnectionAborted = 10053;
inline constexpr std::int32_t kSockConnectionReset = 10054;  // also: the peer closed
inline constexpr std::int32_t kSockNoBufferSpace = 10055;
inline constexpr std::int32_t kSockAlreadyConnected = 10056;
inline constexpr std::int32_t kSockNotConnected = 10057;
inline constexpr std::int32_t kSockTimedOut = 10060;
inline constexpr std::int32_t kSockConnectionRefused = 10061;
inline constexpr std::int32_t kSockHostUnreachable = 10065;
inline constexpr std::int32_t kSockUnusable = 10091;  // failed proxy handshake or TLS step
inline constexpr std::int32_t kSockServiceNotFound = 10109;
inline constexpr std::int32_t kSockHostNotFound = 11001;
inline constexpr std::int32_t kSockTryAgain = 11002;
inline constexpr std::int32_t kSockNonRecoverable = 11003;
inline constexpr std::int32_t kSockNoData = 11004;

// An errno the table below has no number for is passed on as this base plus
// the errno, so the cause is not lost; GetErrorDesc calls it "Not a Winsock
// error (...)".
inline constexpr std::int32_t kSockUnmappedErrnoBase = 20000;

// The error number for an errno value of a socket call (0 for 0).
std::int32_t SocketErrorFromErrno(int error);

// The error number for a getaddrinfo/getnameinfo result (0 for 0). EAI_SYSTEM
// takes `savedErrno`, the errno at the time of the call.
std::int32_t SocketErrorFromResolver(int result, int savedErrno);

// The text of an error number, "Not a Winsock error (<code>)" for numbers
// outside the table.
std::string GetErrorDesc(std::int32_t code);

}  // namespace vantrel
