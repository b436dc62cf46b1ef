#pragma once

// The program's own blocking socket library, base of every network client.
// Calls block the calling thread, bounded by time-outs; each thread owns its
// sockets. Failures are reported by LastError (0 or a number of
// socket_errors.h), never by exceptions.
//
// The system handle is always non-blocking underneath: every wait is a poll
// with a time-out on the handle and on the socket's abort event, so that
// connecting is bounded by Timeout and Abort() from another thread ends any
// wait at once.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/line_splitter.h"
#include "net/name_resolution.h"
#include "net/socket_errors.h"
#include "platform/unique_fd.h"

namespace vantrel {

// A socket option set before the handle exists, applied when it is created.
struct TxxSocketOption {
  enum TKind : std::uint8_t { RecvBufferSize = 1, SendBufferSize = 2 };
  TKind Kind = RecvBufferSize;
  bool Enabled = true;
  std::int32_t Value = 0;  // bytes
};

// Time-out value meaning "wait without limit".
inline constexpr std::int32_t kNoTimeout = -1;

// Default limit of the waits that take no time-out of their own (connect,
// TLS handshake, a blocked send): well below Linux's own connect time-out of
// about two minutes.
inline constexpr std::int32_t kDefaultSocketTimeout = 30000;

// Most bytes one ReadChunk takes from the system, whatever it says is waiting.
inline constexpr std::size_t kMaxChunkLength = 256 * 1024;

class TxxBlockSocket {
 public:
  TxxBlockSocket();
  virtual ~TxxBlockSocket();
  TxxBlockSocket(const TxxBlockSocket&) = delete;
  TxxBlockSocket& operator=(const TxxBlockSocket&) = delete;

  // When the requested terminator is CR LF, accept CR, LF, LF CR or CR LF.
  bool AcceptAnyLineEnd = false;
  TAddressFamily AddressFamily = TAddressFamily::afAny;
  // Restored into AddressFamily by Close.
  TAddressFamily AddressFamilySaved = TAddressFamily::afAny;
  // When a name resolves to both families, use IPv4.
  bool PreferIPv4 = true;
  // Milliseconds for the waits without a time-out parameter: connecting, the
  // TLS handshake, a send the system cannot take at once, and ReadBuf called
  // on its own. kNoTimeout: no limit.
  std::int32_t Timeout = kDefaultSocketTimeout;

  // Closes the handle (discarding pending options); the object can connect again.
  virtual void Close();
  // Resolves `ip` (name or literal) and `port` (number or service name), creates
  // the handle when none exists and connects within Timeout.
  virtual void Connect(std::string_view ip, std::string_view port);
  // Sends the whole buffer (waiting within Timeout while the system is full);
  // returns `length`, or -1 on failure.
  virtual int WriteBuf(const void* data, int length);
  virtual int WriteByte(std::uint8_t value);
  virtual int WriteText(std::string_view text);
  // One receive of at most `length` bytes; 0 with kSockConnectionReset when
  // the peer closed, -1 on failure.
  virtual int ReadBuf(void* data, int length);
  // Fills `data` with `length` bytes; `timeout` bounds each wait for data.
  // Returns the count that arrived; bytes beyond `length` stay pending.
  virtual int ReadExact(void* data, int length, std::int32_t timeout);
  // ReadExact into a string; empty when an error occurred.
  virtual std::string ReadExactText(int length, std::int32_t timeout);
  virtual std::uint8_t ReadByte(std::int32_t timeout);
  // ReadUntil(timeout, CR LF); empty on error.
  virtual std::string ReadLine(std::int32_t timeout);
  // ReadLine with `timeout` bounding the whole read, not each wait: a peer
  // dripping bytes cannot stretch it. kSockTimedOut when the line has not
  // ended by then, with what arrived pending.
  std::string ReadLineWithin(std::int32_t timeout);
  // The text before the next `terminator`, which is consumed; what follows
  // stays pending. On error returns empty and keeps what arrived pending; a
  // line longer than kMaxLineLength fails with kSockMessageTooLong.
  virtual std::string ReadUntil(std::int32_t timeout, std::string_view terminator);
  // The pending data, or what the system holds (waiting up to `timeout` for
  // some): the basic receive under all other reads.
  virtual std::string ReadChunk(std::int32_t timeout);
  // A receive that leaves the data in the system; -1 with kSockWouldBlock
  // when nothing is there.
  virtual int PeekBuf(void* data, int length);
  virtual std::uint8_t PeekByte(std::int32_t timeout);
  // Bytes that can be read without waiting.
  virtual int PendingBytes();
  virtual std::string LocalIP();
  virtual std::string RemoteIP();
  virtual int LocalPort();
  virtual int RemotePort();
  // Datagram send and receive addressed to and from RemoteAddr.
  virtual int WriteBufTo(const void* data, int length);
  virtual int ReadBufFrom(void* data, int length);
  // The socket type and protocol the handle is created with (0: none).
  virtual int SocketType() const { return 0; }
  virtual int SocketProtocol() const { return 0; }

  // Binds the local end. Bind("0.0.0.0", "0") on a fresh socket with
  // AddressFamily afAny does nothing: Connect creates the handle later.
  void Bind(std::string_view ip, std::string_view port);
  // True when the socket became readable (data or end of stream) within
  // `timeout`; on an error (or Abort) false with LastError set.
  [[nodiscard]] bool WaitReadable(std::int32_t timeout);
  // The first address of `name` as numeric text, "0.0.0.0" when none.
  std::string ResolveName(std::string_view name);
  // Every address of `name` (of the handle's family, or of AddressFamily) as
  // numeric text; "0.0.0.0" alone when none.
  void ResolveNameList(std::string_view name, std::vector<std::string>& list);
  // A decimal port or a service name ("smtp", "pop3", "ftp") as a number; 0
  // with LastError set when unknown.
  int ResolvePort(std::string_view port);
  // The machine's host name, "127.0.0.1" when the system reports none.
  std::string LocalHostName();
  void SetRecvBufferSize(std::int32_t bytes);
  void SetSendBufferSize(std::int32_t bytes);
  static std::string GetErrorDesc(std::int32_t code) { return vantrel::GetErrorDesc(code); }

  // Ends the current wait of the owning thread at once and makes every later
  // wait fail, with kSockInterrupted. Safe from any thread while the object
  // lives; it never touches the handle, which the owner may be closing.
  void Abort();
  bool Aborted() const { return Aborted_.load(); }

  int Handle() const { return Handle_.Get(); }
  bool HandleValid() const { return Handle_.Valid(); }
  std::int32_t LastError() const { return LastError_; }
  // Also for a client that refuses a request before it reaches the socket,
  // so that LastError tells why.
  void SetLastError(std::int32_t code) { LastError_ = code; }
  bool UsesIPv6() const { return UsesIPv6_; }
  const TxxSockAddr& LocalAddr() const { return LocalAddr_; }
  const TxxSockAddr& RemoteAddr() const { return RemoteAddr_; }
  // Bytes received from the system and not yet handed to the caller.
  const std::string& PendingData() const { return PendingData_; }
  // The last line ended in a lone CR (LF): one LF (CR) at the start of the next
  // data is dropped.
  bool SkipNextLF() const { return AnyEndLines_.Swallows() == '\n'; }
  bool SkipNextCR() const { return AnyEndLines_.Swallows() == '\r'; }
  // Options waiting for the handle, oldest first.
  const std::vector<TxxSocketOption>& PendingOptions() const { return PendingOptions_; }

 protected:
  void SetLastErrorFromErrno(int error) { LastError_ = SocketErrorFromErrno(error); }

  // Fills `addr` for `ip`:`port`; false with LastError set when the name or
  // service cannot be resolved.
  bool ResolveAddress(TxxSockAddr& addr, std::string_view ip, std::string_view port);
  // Creates the handle for `addr` unless one exists, applying pending options.
  void CreateHandle(const TxxSockAddr& addr);
  // The system socket of `family` (non-blocking, close-on-exec); -1 with errno.
  virtual int OpenHandle(int family);
  void ReadBackAddresses(bool peerToo);

  // Waits for `events` (POLLIN/POLLOUT) on the handle: 0 when ready (or at the
  // end of the stream), kSockTimedOut, kSockInterrupted after Abort, or a
  // socket error.
  std::int32_t WaitFor(short events, std::int32_t timeout);
  // The plain, non-blocking system send and receive. Send: count or -1 with
  // `error` (kSockWouldBlock when the system is full). Receive: count, 0 at the
  // end of the stream, or -1 with `error`.
  long RawSend(const void* data, std::size_t length, std::int32_t& error);
  long RawRecv(void* data, std::size_t length, std::int32_t& error);
  // The wait limit for a receive inside ReadBuf: that of the ReadChunk running
  // it, else Timeout.
  std::int32_t ReadWaitTimeout() const { return InReadChunk_ ? ReadWait_ : Timeout; }
  void ClearReadState();
  std::string& MutablePendingData() { return PendingData_; }

 private:
  TResolveQuery ResolveQuery() const;
  // ReadUntil; with a `deadline` that bounds the whole read instead of
  // `timeout` each wait, ending there with kSockTimedOut.
  std::string ReadUntilDeadline(std::int32_t timeout, std::string_view terminator,
                                std::optional<std::chrono::steady_clock::time_point> deadline);
  void ApplyOption(const TxxSocketOption& option);
  void SetOption(TxxSocketOption::TKind kind, std::int32_t bytes);

  TxxSockAddr LocalAddr_;
  TxxSockAddr RemoteAddr_;
  std::string PendingData_;
  // The lines of AcceptAnyLineEnd reads; it holds no bytes between reads, only
  // the half line end that the next read may begin with.
  TLineSplitter AnyEndLines_;
  bool UsesIPv6_ = false;
  std::vector<TxxSocketOption> PendingOptions_;
  TUniqueFd Handle_;
  std::int32_t LastError_ = 0;
  std::int32_t ReadWait_ = kDefaultSocketTimeout;
  bool InReadChunk_ = false;
  std::atomic<bool> Aborted_{false};
  TUniqueFd AbortEvent_;  // eventfd, signalled by Abort
};

}  // namespace vantrel
