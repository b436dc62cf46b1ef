#include "support/peer_scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "support/peer_tls.h"
#include "support/test_process.h"

namespace vantrel::test {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// A peer thread writing to a client that has gone must not kill the test
// program; the signal stays pending on this thread and dies with it. (The
// socket layer under test gets no such protection: it must avoid SIGPIPE.)
void BlockBrokenPipeSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int ListenOn(const TPeerOptions& options, int& port, std::string& error) {
  const int family = options.IPv6 ? AF_INET6 : AF_INET;
  const int handle = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  const int on = 1;
  setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_storage address{};
  socklen_t length = 0;
  if (options.IPv6) {
    setsockopt(handle, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    v6->sin6_family = AF_INET6;
    v6->sin6_addr = in6addr_loopback;
    v6->sin6_port = htons(static_cast<std::uint16_t>(options.Port));
    length = sizeof(sockaddr_in6);
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    v4->sin_family = AF_INET;
    v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    v4->sin_port = htons(static_cast<std::uint16_t>(options.Port));
    length = sizeof(sockaddr_in);
  }
  if (::bind(handle, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(handle, options.Backlog) != 0) {
    error = std::string("bind/listen: ") + std::strerror(errno);
    ::close(handle);
    return -1;
  }
  length = sizeof(address);
  getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(options.IPv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                            : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  return handle;
}

}  // namespace

// ---- Connection ----

TPeerConnection::TPeerConnection(int handle, const std::atomic<bool>& stopping, int stopEvent)
    : Handle_(handle), Stopping_(stopping), StopEvent_(stopEvent) {}

TPeerConnection::~TPeerConnection() {
  SSL_free(Ssl_);
}

bool TPeerConnection::WaitReadable(int timeoutMs) {
  if (Ssl_ != nullptr && SSL_pending(Ssl_) > 0)
    return true;
  pollfd waits[2] = {{Handle_, POLLIN, 0}, {StopEvent_, POLLIN, 0}};
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (Stopping_.load())
      return false;
    const int ready = ::poll(waits, 2, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0 || waits[1].revents != 0)
      return false;
    return true;
  }
}

long TPeerConnection::ReadSome(char* buffer, std::size_t length, int timeoutMs) {
  if (!WaitReadable(timeoutMs))
    return -1;
  if (Ssl_ != nullptr) {
    std::size_t got = 0;
    if (SSL_read_ex(Ssl_, buffer, length, &got) == 1)
      return static_cast<long>(got);
    return 0;  // the end (clean or not) or a failure
  }
  const ssize_t got = ::recv(Handle_, buffer, length, 0);
  return got > 0 ? static_cast<long>(got) : 0;
}

bool TPeerConnection::Send(std::string_view bytes) {
  if (Ssl_ != nullptr) {
    std::size_t written = 0;
    return bytes.empty() || SSL_write_ex(Ssl_, bytes.data(), bytes.size(), &written) == 1;
  }
  while (!bytes.empty()) {
    const ssize_t sent = ::send(Handle_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

std::string TPeerConnection::Receive(int timeoutMs) {
  std::string buffer(64 * 1024, '\0');
  const long got = ReadSome(buffer.data(), buffer.size(), timeoutMs);
  buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return buffer;
}

std::string TPeerConnection::ReceiveUntil(std::string_view end, int timeoutMs) {
  // Byte by byte, so that nothing after `end` is taken from the connection.
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string text;
  while (!text.ends_with(end)) {
    char byte = 0;
    if (ReadSome(&byte, 1, MillisecondsLeft(deadline)) != 1)
      break;
    text += byte;
  }
  return text;
}

std::string TPeerConnection::ReceiveExact(std::size_t count, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string text;
  while (text.size() < count) {
    std::string buffer(count - text.size(), '\0');
    const long got = ReadSome(buffer.data(), buffer.size(), MillisecondsLeft(deadline));
    if (got <= 0)
      break;
    text.append(buffer.data(), static_cast<std::size_t>(got));
  }
  return text;
}

std::string TPeerConnection::ReceiveUntilClosed(int timeoutMs, bool* closed) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string text;
  if (closed != nullptr)
    *closed = false;
  for (;;) {
    std::string buffer(64 * 1024, '\0');
    const long got = ReadSome(buffer.data(), buffer.size(), MillisecondsLeft(deadline));
    if (got == 0 && closed != nullptr)
      *closed = true;
    if (got <= 0)
      break;
    text.append(buffer.data(), static_cast<std::size_t>(got));
  }
  return text;
}

void TPeerConnection::StaySilent(int timeoutMs) {
  pollfd wait = {StopEvent_, POLLIN, 0};
  ::poll(&wait, 1, timeoutMs);
}

void TPeerConnection::ShutdownSend() {
  ::shutdown(Handle_, SHUT_WR);
}

void TPeerConnection::Reset() {
  const linger abortive = {1, 0};
  setsockopt(Handle_, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
  ::shutdown(Handle_, SHUT_RDWR);
}

bool TPeerConnection::StartTls(const TPeerTlsCredentials& credentials) {
  Ssl_ = SSL_new(credentials.ServerContext());
  if (Ssl_ == nullptr)
    return false;
  SSL_set_fd(Ssl_, Handle_);
  const bool ok = SSL_accept(Ssl_) == 1;
  ERR_clear_error();
  return ok;
}

std::string TPeerConnection::ServerName() const {
  const char* name =
      Ssl_ != nullptr ? SSL_get_servername(Ssl_, TLSEXT_NAMETYPE_host_name) : nullptr;
  return name != nullptr ? name : "";
}

bool TPeerConnection::ReceivedTlsClose() const {
  return Ssl_ != nullptr && (SSL_get_shutdown(Ssl_) & SSL_RECEIVED_SHUTDOWN) != 0;
}

bool TPeerConnection::CloseTls() {
  return Ssl_ != nullptr && SSL_shutdown(Ssl_) >= 0;
}

// ---- Server ----

TScriptedPeer::TScriptedPeer(TScript script, TPeerOptions options)
    : Script_(std::move(script)), Options_(options) {
  StopEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  Listener_ = ListenOn(Options_, Port_, Error_);
  if (Listener_ >= 0 && !Options_.NeverAccept)
    Acceptor_ = std::thread([this] { AcceptLoop(); });
}

TScriptedPeer::~TScriptedPeer() {
  Stop();
  if (Listener_ >= 0)
    ::close(Listener_);
  ::close(StopEvent_);
}

void TScriptedPeer::Stop() {
  if (Stopping_.exchange(true))
    return;
  const std::uint64_t one = 1;
  if (::write(StopEvent_, &one, sizeof(one)) < 0) {
    // already signalled
  }
  {
    // Unblocks scripts inside blocking sends and TLS calls.
    std::lock_guard<std::mutex> lock(Mutex_);
    for (const int connection : Connections_)
      ::shutdown(connection, SHUT_RDWR);
  }
  if (Acceptor_.joinable())
    Acceptor_.join();
  for (std::thread& thread : Threads_)
    thread.join();
  for (const int connection : Connections_)
    ::close(connection);
}

bool TScriptedPeer::WaitForScripts(int count, int timeoutMs) const {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Finished_.load() < count) {
    if (Clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void TScriptedPeer::AcceptLoop() {
  BlockBrokenPipeSignal();
  pollfd waits[2] = {{Listener_, POLLIN, 0}, {StopEvent_, POLLIN, 0}};
  while (!Stopping_.load()) {
    if (::poll(waits, 2, -1) < 0 && errno != EINTR)
      return;
    if (waits[1].revents != 0)
      return;
    if ((waits[0].revents & POLLIN) == 0)
      continue;
    const int connection = ::accept4(Listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0)
      continue;
    std::lock_guard<std::mutex> lock(Mutex_);
    if (Stopping_.load()) {
      ::close(connection);
      return;
    }
    Connections_.push_back(connection);
    ++Accepted_;
    Threads_.emplace_back([this, connection] {
      BlockBrokenPipeSignal();
      TPeerConnection peer(connection, Stopping_, StopEvent_);
      Script_(peer);
      ++Finished_;
      // The handle is closed by Stop; until then the client sees the end only
      // when the script shut the connection down.
      ::shutdown(connection, SHUT_RDWR);
    });
  }
}

std::vector<int> FillBacklog(const TScriptedPeer& peer, int maxConnections) {
  std::vector<int> handles;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(peer.PortNumber()));
  for (int i = 0; i < maxConnections; ++i) {
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle < 0)
      break;
    handles.push_back(handle);
    if (::connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
      continue;
    pollfd wait = {handle, POLLOUT, 0};
    if (::poll(&wait, 1, 300) == 0)
      return handles;  // this one hangs: the backlog is full
  }
  for (const int handle : handles)
    ::close(handle);
  return {};
}

int FreeLoopbackPort() {
  TPeerOptions options;
  int port = 0;
  std::string error;
  const int handle = ListenOn(options, port, error);
  if (handle < 0)
    return 0;
  ::close(handle);
  return port;
}

bool WaitForPort(TTestProcess& server, int port, int timeoutMs) {
  const auto accepts = [port] {
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = handle >= 0 &&
                    ::connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (handle >= 0)
      ::close(handle);
    return ok;
  };
  return WaitUntil([&] { return !server.Running() || accepts(); }, timeoutMs) && server.Running();
}

}  // namespace vantrel::test
