#include "net/block_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

namespace vantrel {

namespace {

// Ports of the services the checks name, for systems without a services
// database (minimal container images lack /etc/services).
constexpr std::pair<std::string_view, int> kKnownServices[] = {
    {"ftp", 21}, {"smtp", 25}, {"http", 80}, {"pop3", 110}, {"https", 443},
};

int FamilyOf(TAddressFamily family) {
  switch (family) {
    case TAddressFamily::afIPv4:
      return AF_INET;
    case TAddressFamily::afIPv6:
      return AF_INET6;
    case TAddressFamily::afAny:
      break;
  }
  return AF_UNSPEC;
}

// A decimal port of at most 65535; -1 for anything else.
int DecimalPort(std::string_view text) {
  if (text.empty() || text.size() > 5)
    return -1;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return -1;
    value = value * 10 + (c - '0');
  }
  return value <= 65535 ? value : -1;
}

int KnownServicePort(std::string_view name) {
  for (const auto& [service, port] : kKnownServices) {
    if (service.size() == name.size() &&
        std::equal(service.begin(), service.end(), name.begin(), [](char a, char b) {
          return a == static_cast<char>(std::tolower(static_cast<unsigned char>(b)));
        })) {
      return port;
    }
  }
  return -1;
}

// Stores one system address in the matching form of `addr`.
void StoreAddress(TxxSockAddr& addr, const sockaddr* address, socklen_t length) {
  if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
    std::memcpy(&addr.Addr4, address, sizeof(sockaddr_in));
    addr.HasIPv4 = true;
    addr.UseIPv6 = false;
  } else if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
    std::memcpy(&addr.Addr6, address, sizeof(sockaddr_in6));
    addr.HasIPv6 = true;
    addr.UseIPv6 = true;
  }
}

std::string NumericHost(const sockaddr* address, socklen_t length) {
  char host[NI_MAXHOST] = {};
  if (getnameinfo(address, length, host, sizeof(host), nullptr, 0, NI_NUMERICHOST) != 0)
    return {};
  return host;
}

}  // namespace

TxxBlockSocket::TxxBlockSocket() {
  AbortEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TxxBlockSocket::~TxxBlockSocket() {
  if (HandleValid())
    ::close(Handle_);
  if (AbortEvent_ >= 0)
    ::close(AbortEvent_);
}

void TxxBlockSocket::Abort() {
  Aborted_.store(true);
  if (AbortEvent_ >= 0) {
    const std::uint64_t one = 1;
    // Never read back: the event stays signalled, so later waits end at once too.
    if (::write(AbortEvent_, &one, sizeof(one)) < 0) {
      // Only fails when the counter is full, i.e. already signalled.
    }
  }
}

void TxxBlockSocket::ClearReadState() {
  PendingData_.clear();
  AnyEndLines_.Reset();
}

// ---- Resolution ----

bool TxxBlockSocket::ResolveAddress(TxxSockAddr& addr, std::string_view ip, std::string_view port) {
  addr = TxxSockAddr{};
  addrinfo hints{};
  hints.ai_family = HandleValid() ? (UsesIPv6_ ? AF_INET6 : AF_INET) : FamilyOf(AddressFamily);
  const std::string host(ip);
  std::string service(port.empty() ? std::string_view("0") : port);
  const char* hostArg = host.c_str();
  const char* serviceArg = service.c_str();
  if (SocketType() == SOCK_RAW) {
    serviceArg = nullptr;  // raw sockets have no ports
  } else {
    hints.ai_socktype = SocketType();
    hints.ai_protocol = SocketProtocol();
    if (ip == "0.0.0.0") {
      hints.ai_flags = AI_PASSIVE;  // any local address of the family
      hostArg = nullptr;
    } else if (ip == "127.0.0.1") {
      hostArg = nullptr;  // the system's loopback of the family
    }
  }

  addrinfo* answers = nullptr;
  int result = getaddrinfo(hostArg, serviceArg, &hints, &answers);
  if (result == EAI_SERVICE && KnownServicePort(service) >= 0) {
    service = std::to_string(KnownServicePort(service));
    serviceArg = service.c_str();
    result = getaddrinfo(hostArg, serviceArg, &hints, &answers);
  }
  if (result != 0) {
    LastError_ = SocketErrorFromResolver(result, errno);
    return false;
  }
  for (const addrinfo* answer = answers; answer != nullptr; answer = answer->ai_next) {
    if (answer->ai_family == AF_INET && !addr.HasIPv4)
      StoreAddress(addr, answer->ai_addr, answer->ai_addrlen);
    else if (answer->ai_family == AF_INET6 && !addr.HasIPv6)
      StoreAddress(addr, answer->ai_addr, answer->ai_addrlen);
  }
  freeaddrinfo(answers);
  if (!addr.HasIPv4 && !addr.HasIPv6) {
    LastError_ = kSockNoData;
    return false;
  }
  addr.UseIPv6 = PreferIPv4 ? !addr.HasIPv4 : addr.HasIPv6;
  return true;
}

void TxxBlockSocket::ResolveNameList(std::string_view name, std::vector<std::string>& list) {
  LastError_ = 0;
  list.clear();
  addrinfo hints{};
  hints.ai_family = HandleValid() ? (UsesIPv6_ ? AF_INET6 : AF_INET) : FamilyOf(AddressFamily);
  hints.ai_socktype = SOCK_STREAM;  // one answer per address, not one per socket type
  const std::string host(name);
  addrinfo* answers = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &answers);
  if (result != 0) {
    LastError_ = SocketErrorFromResolver(result, errno);
  } else {
    for (const addrinfo* answer = answers; answer != nullptr; answer = answer->ai_next) {
      std::string text = NumericHost(answer->ai_addr, answer->ai_addrlen);
      if (!text.empty() && std::find(list.begin(), list.end(), text) == list.end())
        list.push_back(std::move(text));
    }
    freeaddrinfo(answers);
  }
  if (list.empty())
    list.push_back("0.0.0.0");
}

std::string TxxBlockSocket::ResolveName(std::string_view name) {
  std::vector<std::string> list;
  ResolveNameList(name, list);
  return list.front();
}

int TxxBlockSocket::ResolvePort(std::string_view port) {
  LastError_ = 0;
  const int decimal = DecimalPort(port);
  if (decimal >= 0)
    return decimal;
  addrinfo hints{};
  hints.ai_socktype = SocketType() == SOCK_RAW ? 0 : SocketType();
  hints.ai_protocol = SocketType() == SOCK_RAW ? 0 : SocketProtocol();
  const std::string service(port);
  addrinfo* answers = nullptr;
  const int result = getaddrinfo(nullptr, service.c_str(), &hints, &answers);
  if (result == 0) {
    int number = 0;
    if (answers->ai_family == AF_INET)
      number = ntohs(reinterpret_cast<const sockaddr_in*>(answers->ai_addr)->sin_port);
    else if (answers->ai_family == AF_INET6)
      number = ntohs(reinterpret_cast<const sockaddr_in6*>(answers->ai_addr)->sin6_port);
    freeaddrinfo(answers);
    return number;
  }
  const int known = KnownServicePort(port);
  if (known >= 0)
    return known;
  LastError_ = SocketErrorFromResolver(result, errno);
  return 0;
}

std::string TxxBlockSocket::LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof(name) - 1) != 0 || name[0] == '\0')
    return "127.0.0.1";
  return name;
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
  Handle_ = handle;
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
  if (setsockopt(Handle_, SOL_SOCKET, name, &value, sizeof(value)) != 0)
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
  if (getsockname(Handle_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    StoreAddress(LocalAddr_, reinterpret_cast<const sockaddr*>(&address), length);
  length = sizeof(address);
  if (peerToo && getpeername(Handle_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    StoreAddress(RemoteAddr_, reinterpret_cast<const sockaddr*>(&address), length);
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
  const int result = v6 ? ::bind(Handle_, reinterpret_cast<const sockaddr*>(&LocalAddr_.Addr6),
                                 sizeof(sockaddr_in6))
                        : ::bind(Handle_, reinterpret_cast<const sockaddr*>(&LocalAddr_.Addr4),
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
  const int result = UsesIPv6_
                         ? ::connect(Handle_, reinterpret_cast<const sockaddr*>(&RemoteAddr_.Addr6),
                                     sizeof(sockaddr_in6))
                         : ::connect(Handle_, reinterpret_cast<const sockaddr*>(&RemoteAddr_.Addr4),
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
        if (getsockopt(Handle_, SOL_SOCKET, SO_ERROR, &status, &length) != 0)
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
  if (HandleValid()) {
    ::close(Handle_);
    Handle_ = -1;
  }
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
  pollfd waits[2] = {{Handle_, events, 0}, {AbortEvent_, POLLIN, 0}};
  const nfds_t count = AbortEvent_ >= 0 ? 2 : 1;
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
    const ssize_t sent = ::send(Handle_, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
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
    const ssize_t got = ::recv(Handle_, data, length, MSG_DONTWAIT);
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
  if (::ioctl(Handle_, FIONREAD, &count) != 0) {
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
    const ssize_t sent = ::sendto(Handle_, data, static_cast<std::size_t>(std::max(length, 0)),
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
    const ssize_t got = ::recvfrom(Handle_, data, static_cast<std::size_t>(std::max(length, 0)),
                                   MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got >= 0) {
      StoreAddress(RemoteAddr_, reinterpret_cast<const sockaddr*>(&from), fromLength);
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
  const ssize_t got =
      ::recv(Handle_, data, static_cast<std::size_t>(std::max(length, 0)), MSG_PEEK | MSG_DONTWAIT);
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
  LastError_ = 0;
  if (terminator.empty())
    return {};
  std::optional<TLineSplitter> exact;
  TLineSplitter& lines = AcceptAnyLineEnd && terminator == "\r\n"
                             ? AnyEndLines_
                             : exact.emplace(terminator, kMaxLineLength);
  std::string line;
  for (;;) {
    const std::string chunk = ReadChunk(timeout);
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
  }
  PendingData_ = lines.TakeHeld();
  return {};
}

std::string TxxBlockSocket::ReadLine(std::int32_t timeout) {
  return ReadUntil(timeout, "\r\n");
}

// ---- Addresses ----

std::string TxxBlockSocket::AddressText(const TxxSockAddr& addr) const {
  if (addr.UseIPv6)
    return NumericHost(reinterpret_cast<const sockaddr*>(&addr.Addr6), sizeof(sockaddr_in6));
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &addr.Addr4.sin_addr, text, sizeof(text)) == nullptr)
    return "0.0.0.0";
  return text;
}

int TxxBlockSocket::AddressPort(const TxxSockAddr& addr) const {
  return ntohs(addr.UseIPv6 ? addr.Addr6.sin6_port : addr.Addr4.sin_port);
}

std::string TxxBlockSocket::LocalIP() {
  return AddressText(LocalAddr_);
}

std::string TxxBlockSocket::RemoteIP() {
  return AddressText(RemoteAddr_);
}

int TxxBlockSocket::LocalPort() {
  return AddressPort(LocalAddr_);
}

int TxxBlockSocket::RemotePort() {
  return AddressPort(RemoteAddr_);
}

}  // namespace vantrel
