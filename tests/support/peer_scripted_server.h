#pragma once

// A small server inside the test: a listening socket on an ephemeral loopback
// port whose every accepted connection runs a script on its own thread (send
// a greeting, echo, fall silent, trickle bytes, close in the middle, speak
// TLS ...). It is a real peer over real sockets, so the socket layer meets
// the system's own behaviour.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct ssl_st;

namespace vantrel::test {

class TPeerTlsCredentials;
class TTestProcess;
const TPeerTlsCredentials& LocalhostCredentials();

// One accepted connection, as the script sees it. Every wait is bounded by
// its time-out and ends at once when the peer is stopped.
class TPeerConnection {
 public:
  TPeerConnection(int handle, const std::atomic<bool>& stopping, int stopEvent);
  ~TPeerConnection();
  TPeerConnection(const TPeerConnection&) = delete;
  TPeerConnection& operator=(const TPeerConnection&) = delete;

  // Sends all bytes (through TLS once it is started); false on failure.
  bool Send(std::string_view bytes);
  // What arrives next (at most 64 KiB); empty at the end, on time-out or stop.
  std::string Receive(int timeoutMs = 5000);
  // Everything up to and including `end`; what arrived when it does not come.
  std::string ReceiveUntil(std::string_view end, int timeoutMs = 5000);
  // Exactly `count` bytes, or what arrived before the end or the time-out.
  std::string ReceiveExact(std::size_t count, int timeoutMs = 5000);
  // Reads until the client closes; returns what arrived. `closed` tells
  // whether the end was seen within the time-out.
  std::string ReceiveUntilClosed(int timeoutMs, bool* closed = nullptr);
  // Waits without reading, like a server that has nothing to say.
  void StaySilent(int timeoutMs);
  // Sends nothing more (half-close); the client sees the end after the data.
  void ShutdownSend();
  // Closes with a reset instead of an orderly end.
  void Reset();

  // Runs the server side of a TLS handshake; false when it fails.
  bool StartTls(const TPeerTlsCredentials& credentials = LocalhostCredentials());
  // The server name the client announced in the handshake, empty when none.
  std::string ServerName() const;
  // Sends the TLS close notification.
  bool CloseTls();
  // The client's TLS close notification has arrived.
  bool ReceivedTlsClose() const;

 private:
  // Waits until the connection is readable: false on time-out or stop.
  bool WaitReadable(int timeoutMs);
  long ReadSome(char* buffer, std::size_t length, int timeoutMs);

  int Handle_;
  const std::atomic<bool>& Stopping_;
  int StopEvent_;
  ssl_st* Ssl_ = nullptr;
};

struct TPeerOptions {
  bool IPv6 = false;  // listen on ::1 instead of 127.0.0.1
  int Port = 0;       // 0: an ephemeral port
  int Backlog = 64;
  // Accept nothing: connections stay in the backlog (listen(0) plus fillers
  // make a connect that never completes).
  bool NeverAccept = false;
};

class TScriptedPeer {
 public:
  using TScript = std::function<void(TPeerConnection&)>;

  explicit TScriptedPeer(TScript script, TPeerOptions options = {});
  // Stops: ends every wait of the scripts, closes the connections, joins.
  ~TScriptedPeer();
  TScriptedPeer(const TScriptedPeer&) = delete;
  TScriptedPeer& operator=(const TScriptedPeer&) = delete;

  // The listening socket is up.
  bool Ok() const { return Listener_ >= 0; }
  std::string Error() const { return Error_; }
  int PortNumber() const { return Port_; }
  std::string Port() const { return std::to_string(Port_); }
  std::string Host() const { return Options_.IPv6 ? "::1" : "127.0.0.1"; }
  int Accepted() const { return Accepted_.load(); }
  // Waits until `count` scripts have run to their end; false on time-out.
  bool WaitForScripts(int count = 1, int timeoutMs = 10000) const;
  void Stop();

 private:
  void AcceptLoop();

  TScript Script_;
  TPeerOptions Options_;
  int Listener_ = -1;
  int Port_ = 0;
  int StopEvent_ = -1;
  std::string Error_;
  std::atomic<bool> Stopping_{false};
  std::atomic<int> Accepted_{0};
  std::atomic<int> Finished_{0};
  std::mutex Mutex_;
  std::vector<int> Connections_;
  std::vector<std::thread> Threads_;
  std::thread Acceptor_;
};

// Opens `count` connections to a NeverAccept peer until the system stops
// completing them, so that the next connect hangs. Returns the handles (to
// close); empty when the backlog could not be filled.
std::vector<int> FillBacklog(const TScriptedPeer& peer, int maxConnections = 64);

// A loopback TCP port that was free a moment ago, for programs that need one
// on their command line.
int FreeLoopbackPort();

// Waits until 127.0.0.1:`port` accepts connections; false when `server`
// ended or `timeoutMs` passed first.
bool WaitForPort(TTestProcess& server, int port, int timeoutMs = 5000);

}  // namespace vantrel::test
