#include "net/block_socket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

namespace vantrel {

TxxBlockSocket::TxxBlockSocket() : AbortEvent_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TxxBlockSocket::~TxxBlockSocket() = default;

void TxxBlockSocket::Abort() {
  Aborted_.store(true);
  if (AbortEvent_.Valid()) {
    const std::uint64_t one = 1;
    // Never read back: the event stays signalled, so later waits end at once too.
    if (::write(AbortEvent_.Get(), &one, sizeof(one)) < 0) {
      // Only fails when the counter is full, i.e. already signalled.
    }
  }
}

void TxxBlockSocket::ClearReadState() {
  PendingData_.clear();
  AnyEndLines_.Reset();
}

// ---- Resolution ----

TResolveQuery TxxBlockSocket::ResolveQuery() const {
  // An open handle fixes the family; before it, AddressFamily limits it.
  const int family = HandleValid() ? (UsesIPv6_ ? AF_INET6 : AF_INET) : SystemFamily(AddressFamily);
  return {.Family = family,
          .SocketType = SocketType(),
          .Protocol = SocketProtocol(),
          .PreferIPv4 = PreferIPv4};
}

bool TxxBlockSocket::ResolveAddress(TxxSockAddr& addr, std::string_view ip, std::string_view port) {
  const std::int32_t error = ResolveSockAddr(ip, port, ResolveQuery(), addr);
  if (error != 0)
    LastError_ = error;
  return error == 0;
}

void TxxBlockSocket::ResolveNameList(std::string_view name, std::vector<std::string>& list) {
  LastError_ = ResolveAddressList(name, ResolveQuery().Family, list);
}

std::string TxxBlockSocket::ResolveName(std::string_view name) {
  std::vector<std::string> list;
  ResolveNameList(name, list);
  return list.front();
}

int TxxBlockSocket::ResolvePort(std::string_view port) {
  int number = 0;
  LastError_ = ResolveServicePort(port, SocketType(), SocketProtocol(), number);
  return number;
}

std::string TxxBlockSocket::LocalHostName() {
  return SystemHostName();
}

// ---- Handle ----

int TxxBlockSocket::OpenHandle(int family) {
  return ::socket(family, SocketType() | SOCK_NONBLOCK | SOCK_CLOEXEC, SocketProtocol());
}

void TxxBlockSocket::CreateHandle(const TxxSockAddr& addr) {
  if (HandleValid())
    return;
  PendingData_.clear();
  UsesIPv6_ = addr.UseIPv6;
  const int handle = OpenHandle(UsesIPv6_ ? AF_INET6 : AF_INET);
  if (handle < 0) {
    SetLastErrorFromErrno(errno);
    return;
  }
  Handle_.Reset(handle);
  LastError_ = 0;
  for (const TxxSocketOption& option : PendingOptions_)
    ApplyOption(option);
  PendingOptions_.clear();
}

void TxxBlockSocket::ApplyOption(const TxxSocketOption& option) {
  if (!option.Enabled)
    return;
  const int name = option.Kind == TxxSocketOption::RecvBufferSize ? SO_RCVBUF : SO_SNDBUF;
  const int value = option.Value;
  if (setsockopt(Handle_.Get(), SOL_SOCKET, name, &value, sizeof(value)) != 0)
    SetLastErrorFromErrno(errno);
}

void TxxBlockSocket::SetOption(TxxSocketOption::TKind kind, std::int32_t bytes) {
  LastError_ = 0;
  const TxxSocketOption option{kind, true, bytes};
  if (HandleValid())
    ApplyOption(option);
  else
    PendingOptions_.push_back(option);
}

void TxxBlockSocket::SetRecvBufferSize(std::int32_t bytes) {
  SetOption(TxxSocketOption::RecvBufferSize, bytes);
}

void TxxBlockSocket::SetSendBufferSize(std::int32_t bytes) {
  SetOption(TxxSocketOption::SendBufferSize, bytes);
}

void TxxBlockSocket::ReadBackAddresses(bool peerToo) {
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  if (getsockname(Handle_.Get(), reinterpret_cast<sockaddr*>(&address), &length) == 0)
    StoreSockAddr(LocalAddr_, reinterpret_cast<const sockaddr*>(&address), length);
  length = sizeof(address);
  if (peerToo && getpeername(Handle_.Get(), reinterpret_cast<sockaddr*>(&address), &length) == 0)
    StoreSockAddr(RemoteAddr_, reinterpret_cast<const sockaddr*>(&address), length);
}

void TxxBlockSocket::Bind(std::string_view ip, std::string_view port) {
  LastError_ = 0;
  if (!HandleValid() && AddressFamily == TAddressFamily::afAny && ip == "0.0.0.0" && port == "0")
    return;
  if (!ResolveAddress(LocalAddr_, ip, port))
    return;
  CreateHandle(LocalAddr_);
  if (LastError_ != 0)
    return;
  const bool v6 = UsesIPv6_;
  const int result =
      v6 ? ::bind(Handle_.Get(), reinterpret_cast<const sockaddr*>(&LocalAddr_.Addr6),
                  sizeof(sockaddr_in6))
         : ::bind(Handle_.Get(), reinterpret_cast<const sockaddr*>(&LocalAddr_.Addr4),
                  sizeof(sockaddr_in));
  if (result != 0) {
    SetLastErrorFromErrno(errno);
    return;
  }
  ReadBackAddresses(false);
  PendingData_.clear();
}

void TxxBlockSocket::Connect(std::string_view ip, std::string_view port) {
  LastError_ = 0;
  if (Aborted()) {
    LastError_ = kSockInterrupted;
    return;
  }
  if (!ResolveAddress(RemoteAddr_, ip, port))
    return;
  CreateHandle(RemoteAddr_);
  if (LastError_ != 0)
    return;
  if (UsesIPv6_ ? !RemoteAddr_.HasIPv6 : !RemoteAddr_.HasIPv4) {
    LastError_ = kSockAddressFamilyNotSupported;
    return;
  }
  const int result =
      UsesIPv6_ ? ::connect(Handle_.Get(), reinterpret_cast<const sockaddr*>(&RemoteAddr_.Addr6),
                            sizeof(sockaddr_in6))
                : ::connect(Handle_.Get(), reinterpret_cast<const sockaddr*>(&RemoteAddr_.Addr4),
                            sizeof(sockaddr_in));
  if (result != 0) {
    const int error = errno;
    if (error == EINPROGRESS || error == EINTR) {
      // The handle is non-blocking: wait for the outcome within our own limit.
      const std::int32_t waited = WaitFor(POLLOUT, Timeout);
      if (waited != 0) {
        LastError_ = waited;
      } else {
        int status = 0;
        socklen_t length = sizeof(status);
        if (getsockopt(Handle_.Get(), SOL_SOCKET, SO_ERROR, &status, &length) != 0)
          status = errno;
        LastError_ = SocketErrorFromErrno(status);
      }
    } else {
      SetLastErrorFromErrno(error);
    }
  }
  ReadBackAddresses(LastError_ == 0);
  ClearReadState();
}

void TxxBlockSocket::Close() {
  Handle_.Reset();
  PendingOptions_.clear();
  AddressFamily = AddressFamilySaved;
  LastError_ = 0;
}

// ---- Waiting and the plain transport ----

std::int32_t TxxBlockSocket::WaitFor(short events, std::int32_t timeout) {
  if (Aborted())
    return kSockInterrupted;
  if (!HandleValid())
    return kSockNotASocket;
  pollfd waits[2] = {{Handle_.Get(), events, 0}, {AbortEvent_.Get(), POLLIN, 0}};
  const nfds_t count = AbortEvent_.Valid() ? 2 : 1;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    int wait = -1;
    if (timeout >= 0) {
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
      wait = static_cast<int>(std::max<long long>(0, timeout - elapsed));
    }
    const int ready = ::poll(waits, count, wait);
    if (ready < 0) {
      if (errno == EINTR)
        continue;
      return SocketErrorFromErrno(errno);
    }
    if (Aborted() || (count == 2 && waits[1].revents != 0))
      return kSockInterrupted;
    if (ready == 0)
      return kSockTimedOut;
    if ((waits[0].revents & POLLNVAL) != 0)
      return kSockBadHandle;
    return 0;  // ready, or hung up / failed: the next call tells which
  }
}

long TxxBlockSocket::RawSend(const void* data, std::size_t length, std::int32_t& error) {
  error = 0;
  if (!HandleValid()) {
    error = kSockNotASocket;
    return -1;
  }
  for (;;) {
    const ssize_t sent = ::send(Handle_.Get(), data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0)
      return static_cast<long>(sent);
    if (errno != EINTR) {
      error = SocketErrorFromErrno(errno);
      return -1;
    }
  }
}

long TxxBlockSocket::RawRecv(void* data, std::size_t length, std::int32_t& error) {
  error = 0;
  if (!HandleValid()) {
    error = kSockNotASocket;
    return -1;
  }
  for (;;) {
    const ssize_t got = ::recv(Handle_.Get(), data, length, MSG_DONTWAIT);
    if (got >= 0)
      return static_cast<long>(got);
    if (errno != EINTR) {
      error = SocketErrorFromErrno(errno);
      return -1;
    }
  }
}

bool TxxBlockSocket::WaitReadable(std::int32_t timeout) {
  LastError_ = 0;
  const std::int32_t result = WaitFor(POLLIN, timeout);
  if (result == kSockTimedOut)
    return false;  // not an error of the wait itself; callers decide
  LastError_ = result;
  return result == 0;
}

int TxxBlockSocket::PendingBytes() {
  if (!HandleValid()) {
    LastError_ = kSockNotASocket;
    return 0;
  }
  int count = 0;
  if (::ioctl(Handle_.Get(), FIONREAD, &count) != 0) {
    SetLastErrorFromErrno(errno);
    return 0;
  }
  return count;
}

// ---- Writing ----

int TxxBlockSocket::WriteBuf(const void* data, int length) {
  LastError_ = 0;
  if (Aborted()) {
    LastError_ = kSockInterrupted;
    return -1;
  }
  if (length <= 0)
    return 0;
  const char* bytes = static_cast<const char*>(data);
  std::size_t sent = 0;
  const auto total = static_cast<std::size_t>(length);
  while (sent < total) {
    std::int32_t error = 0;
    const long count = RawSend(bytes + sent, total - sent, error);
    if (count >= 0) {
      sent += static_cast<std::size_t>(count);
      continue;
    }
    if (error == kSockWouldBlock)
      error = WaitFor(POLLOUT, Timeout);
    if (error != 0) {
      LastError_ = error;
      return -1;
    }
  }
  return length;
}

int TxxBlockSocket::WriteByte(std::uint8_t value) {
  return WriteBuf(&value, 1);
}

int TxxBlockSocket::WriteText(std::string_view text) {
  return WriteBuf(text.data(), static_cast<int>(text.size()));
}

int TxxBlockSocket::WriteBufTo(const void* data, int length) {
  LastError_ = 0;
  const sockaddr* to = UsesIPv6_ ? reinterpret_cast<const sockaddr*>(&RemoteAddr_.Addr6)
                                 : reinterpret_cast<const sockaddr*>(&RemoteAddr_.Addr4);
  const socklen_t toLength = UsesIPv6_ ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  for (;;) {
    const ssize_t sent =
        ::sendto(Handle_.Get(), data, static_cast<std::size_t>(std::max(length, 0)),
                 MSG_NOSIGNAL | MSG_DONTWAIT, to, toLength);
    if (sent >= 0)
      return static_cast<int>(sent);
    const int error = errno;
    if (error == EINTR)
      continue;
    std::int32_t waited = SocketErrorFromErrno(error);
    if (waited == kSockWouldBlock)
      waited = WaitFor(POLLOUT, Timeout);
    if (waited != 0) {
      LastError_ = waited;
      return -1;
    }
  }
}

// ---- Reading ----

int TxxBlockSocket::ReadBuf(void* data, int length) {
  LastError_ = 0;
  if (length <= 0)
    return 0;
  for (;;) {
    std::int32_t error = 0;
    const long got = RawRecv(data, static_cast<std::size_t>(length), error);
    if (got > 0)
      return static_cast<int>(got);
    if (got == 0) {
      LastError_ = kSockConnectionReset;
      return 0;
    }
    if (error == kSockWouldBlock)
      error = WaitFor(POLLIN, ReadWaitTimeout());
    if (error != 0) {
      LastError_ = error;
      return -1;
    }
  }
}

int TxxBlockSocket::ReadBufFrom(void* data, int length) {
  LastError_ = 0;
  for (;;) {
    sockaddr_storage from{};
    socklen_t fromLength = sizeof(from);
    const ssize_t got =
        ::recvfrom(Handle_.Get(), data, static_cast<std::size_t>(std::max(length, 0)), MSG_DONTWAIT,
                   reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got >= 0) {
      StoreSockAddr(RemoteAddr_, reinterpret_cast<const sockaddr*>(&from), fromLength);
      return static_cast<int>(got);
    }
    const int error = errno;
    if (error == EINTR)
      continue;
    std::int32_t waited = SocketErrorFromErrno(error);
    if (waited == kSockWouldBlock)
      waited = WaitFor(POLLIN, ReadWaitTimeout());
    if (waited != 0) {
      LastError_ = waited;
      return -1;
    }
  }
}

int TxxBlockSocket::PeekBuf(void* data, int length) {
  LastError_ = 0;
  if (!HandleValid()) {
    LastError_ = kSockNotASocket;
    return -1;
  }
  const ssize_t got = ::recv(Handle_.Get(), data, static_cast<std::size_t>(std::max(length, 0)),
                             MSG_PEEK | MSG_DONTWAIT);
  if (got < 0) {
    SetLastErrorFromErrno(errno);
    return -1;
  }
  return static_cast<int>(got);
}

std::uint8_t TxxBlockSocket::PeekByte(std::int32_t timeout) {
  LastError_ = 0;
  if (!PendingData_.empty())
    return static_cast<std::uint8_t>(PendingData_.front());
  if (!WaitReadable(timeout)) {
    if (LastError_ == 0)
      LastError_ = kSockTimedOut;
    return 0;
  }
  std::uint8_t value = 0;
  const int got = PeekBuf(&value, 1);
  if (got == 0)
    LastError_ = kSockConnectionReset;
  return got == 1 ? value : 0;
}

std::string TxxBlockSocket::ReadChunk(std::int32_t timeout) {
  LastError_ = 0;
  if (!PendingData_.empty())
    return std::exchange(PendingData_, std::string());
  if (Aborted()) {
    LastError_ = kSockInterrupted;  // also ends a peer that never stops sending
    return {};
  }
  std::this_thread::yield();
  int count = PendingBytes();
  if (count < 1) {
    if (!WaitReadable(timeout)) {
      if (LastError_ == 0)
        LastError_ = kSockTimedOut;
      return {};
    }
    count = PendingBytes();
    if (count < 1) {
      if (LastError_ == 0)
        LastError_ = kSockConnectionReset;  // readable with nothing to read: the end
      return {};
    }
  }
  std::string chunk(std::min(static_cast<std::size_t>(count), kMaxChunkLength), '\0');
  // A receive inside ReadBuf (e.g. the rest of a TLS record) waits as long as we may.
  InReadChunk_ = true;
  ReadWait_ = timeout;
  const int got = ReadBuf(chunk.data(), static_cast<int>(chunk.size()));
  InReadChunk_ = false;
  if (got <= 0)
    return {};
  chunk.resize(static_cast<std::size_t>(got));
  return chunk;
}

int TxxBlockSocket::ReadExact(void* data, int length, std::int32_t timeout) {
  LastError_ = 0;
  char* out = static_cast<char*>(data);
  const auto wanted = static_cast<std::size_t>(std::max(length, 0));
  std::size_t got = 0;
  while (got < wanted) {
    std::string chunk = ReadChunk(timeout);
    if (LastError_ != 0)
      break;
    const std::size_t take = std::min(chunk.size(), wanted - got);
    std::memcpy(out + got, chunk.data(), take);
    got += take;
    if (take < chunk.size())
      PendingData_ = chunk.substr(take);
  }
  return static_cast<int>(got);
}

std::string TxxBlockSocket::ReadExactText(int length, std::int32_t timeout) {
  std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
  ReadExact(text.data(), static_cast<int>(text.size()), timeout);
  if (LastError_ != 0)
    return {};
  return text;
}

std::uint8_t TxxBlockSocket::ReadByte(std::int32_t timeout) {
  LastError_ = 0;
  while (PendingData_.empty()) {
    // An empty chunk without error is a clean TLS close; the next read reports the end.
    PendingData_ = ReadChunk(timeout);
    if (LastError_ != 0)
      return 0;
  }
  const auto value = static_cast<std::uint8_t>(PendingData_.front());
  PendingData_.erase(0, 1);
  return value;
}

std::string TxxBlockSocket::ReadUntil(std::int32_t timeout, std::string_view terminator) {
  return ReadUntilDeadline(timeout, terminator, std::nullopt);
}

std::string TxxBlockSocket::ReadUntilDeadline(
    std::int32_t timeout, std::string_view terminator,
    std::optional<std::chrono::steady_clock::time_point> deadline) {
  LastError_ = 0;
  if (terminator.empty())
    return {};
  std::optional<TLineSplitter> exact;
  TLineSplitter& lines = AcceptAnyLineEnd && terminator == "\r\n"
                             ? AnyEndLines_
                             : exact.emplace(terminator, kMaxLineLength);
  std::string line;
  for (;;) {
    std::int32_t wait = timeout;
    if (deadline) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            *deadline - std::chrono::steady_clock::now())
                            .count();
      wait = static_cast<std::int32_t>(std::max<long long>(0, left));
    }
    const std::string chunk = ReadChunk(wait);
    if (LastError_ != 0)
      break;
    std::string_view input(chunk);
    if (lines.Next(input, line)) {
      PendingData_ = input;
      return line;
    }
    if (lines.TooLong()) {
      LastError_ = kSockMessageTooLong;
      PendingData_ = lines.TakeHeld().append(input);
      return {};
    }
    if (deadline && std::chrono::steady_clock::now() >= *deadline) {
      LastError_ = kSockTimedOut;
      break;
    }
  }
  PendingData_ = lines.TakeHeld();
  return {};
}

std::string TxxBlockSocket::ReadLine(std::int32_t timeout) {
  return ReadUntil(timeout, "\r\n");
}

std::string TxxBlockSocket::ReadLineWithin(std::int32_t timeout) {
  if (timeout < 0)
    return ReadLine(timeout);
  return ReadUntilDeadline(timeout, "\r\n",
                           std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout));
}

// ---- Addresses ----

std::string TxxBlockSocket::LocalIP() {
  return SockAddrText(LocalAddr_);
}

std::string TxxBlockSocket::RemoteIP() {
  return SockAddrText(RemoteAddr_);
}

int TxxBlockSocket::LocalPort() {
  return SockAddrPort(LocalAddr_);
}

int TxxBlockSocket::RemotePort() {
  return SockAddrPort(RemoteAddr_);
}

}  // namespace vantrel
