#pragma once

// The HTTP client of the page checks, the connection test, the properties
// dialog's snapshot and the synchronizer: one HTTP or HTTPS request per call,
// directly, through a forward proxy, or for HTTPS through the proxy's CONNECT
// tunnel. The response (status, header lines, body, elapsed time) stays in
// the object for the caller. Failures are reported by return values and
// codes, never by exceptions.
//
// A hostile or broken server cannot hold the caller: connecting and the TLS
// handshake are each bounded by Timeout, the whole exchange after that by a
// deadline of Timeout, and the body by kMaxHttpBodyLength.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/client_socket.h"
#include "net/http_response.h"
#include "net/tcp_socket.h"
#include "text/text_utils.h"

namespace vantrel {

// The client's default time-out (milliseconds).
inline constexpr std::int32_t kHttpDefaultTimeout = 90000;
// The socket buffers asked for the client's first connection.
inline constexpr std::int32_t kHttpSocketBufferSize = 65536;

class TxxHttp : public TxxClientSocket {
 public:
  TxxHttp();
  ~TxxHttp() override;

  // Before a call: extra request header lines. After it: the response's
  // status line, header lines and the empty line that ended them.
  std::vector<std::string> Headers;
  // Before a call: the request body. After it: the response body.
  std::string Document;
  // The request body's type; after a call the response's Content-Type value
  // ("text/html" when it had none).
  std::string MimeType = "text/html";
  // The version written in the request line. Anything but "1.1" closes the
  // connection after each response; "0.9" sends the request line alone.
  std::string Protocol = "1.0";
  bool KeepAlive = true;  // false: "Connection: Close" is sent
  // Send "Expect: 100-continue" with a body (version "1.1" only) and hold
  // the body back until the server's interim answer.
  bool ExpectContinue = false;
  // Forward proxy; empty ProxyHost means direct. HTTPS goes through its
  // CONNECT tunnel, plain HTTP to it with an absolute target.
  std::string ProxyHost;
  std::string ProxyPort = "8080";
  std::string ProxyUser;
  std::string ProxyPass;
  std::string UserAgent = "Mozilla/4.0 (compatible; Microsoft)";
  // Cookies received, as name=value; sent back with every later request.
  std::vector<std::string> Cookies;
  // Byte range to ask for; none when RangeEnd is 0.
  std::int32_t RangeStart = 0;
  std::int32_t RangeEnd = 0;

  // Sends one request and reads the response.
  //
  // False when the request could not be sent (name resolution, connection,
  // TLS, proxy tunnel or send failed): ResultCode 500, ResultString empty,
  // ElapsedTime -1, and Sock().LastError() tells why; Headers then hold the
  // request head that was built. A head with a control character in its
  // request line or a header line (from the URL, the caller's lines or
  // fields) is not sent at all: false with kSockInvalidArgument. Blanks in
  // the URL's path and query are sent as %20.
  //
  // True when it was sent and the response read as far as it came: the
  // status in ResultCode (0 when the server answered without an "HTTP/"
  // status line or its header lines never ended; when nothing at all came,
  // Document is CR LF), the header
  // lines in Headers, the body in Document, ElapsedTime from after the
  // connection was made. Headers and Document must be refilled (or Reset)
  // before the next request of the same object.
  //
  // A response cut short is returned the same way, true with the status and
  // what had arrived, and ReadError says why it ended: the peer closed, a
  // wait or the deadline of Timeout ran out (10060; the call then lasts about
  // Timeout after connecting), Abort (10004), or a header block beyond its
  // limits. A body beyond kMaxHttpBodyLength keeps its first
  // kMaxHttpBodyLength bytes and sets BodyCapped. After any of these the
  // connection is closed.
  //
  // No redirect is followed: a 301 or 302 is returned like any response.
  [[nodiscard]] bool Request(std::string_view method, std::string_view url);
  // Empties Document and Headers, sets MimeType to "text/html" and the range
  // to none.
  void Reset();

  std::int32_t ResultCode() const { return ResultCode_; }
  const std::string& ResultString() const { return ResultString_; }
  // Milliseconds of the last exchange (sending the request to the end of the
  // response), -1 when the request could not be sent.
  std::int32_t ElapsedTime() const { return ElapsedTime_; }
  // Length of the last body part read by length (the body or a chunk).
  std::int32_t DownloadSize() const { return DownloadSize_; }
  // Size of the request body sent.
  std::int32_t UploadSize() const { return UploadSize_; }
  THttpBodyMode BodyMode() const { return BodyMode_; }
  // The socket error that ended reading the last response early; 0 when it
  // ended by its own length or last chunk. An until-close body normally ends
  // with 10054 (the peer's close).
  std::int32_t ReadError() const { return ReadError_; }
  bool BodyCapped() const { return BodyCapped_; }
  // Host and port of the connection kept open from the last request; empty
  // when none is.
  const std::string& OpenHost() const { return OpenHost_; }
  const std::string& OpenPort() const { return OpenPort_; }
  TxxTcpSocket& Sock() { return *Sock_; }

 protected:
  TxxBlockSocket& Socket() override { return *Sock_; }

 private:
  // The request head: request line, Host, authorizations, connection, cookies,
  // range, agent, body description, expectation, then the caller's lines.
  void BuildRequestHead(std::string_view method, const TUrlParts& url, bool useProxy,
                        bool expectContinue);
  // No line of the head holds a control character (a tab only in a header).
  bool SafeRequestHead() const;
  // Reuses the open connection to the target or makes a new one.
  bool OpenConnection(bool https);
  // Sends within the deadline; false (connection closed) on failure.
  bool Send(std::string_view bytes);
  // Feeds the reader until it is done, waits for the body, or time is up.
  void Receive(THttpResponseReader& reader);
  // Milliseconds left before the deadline (kNoTimeout without a limit).
  std::int32_t TimeLeft() const;
  void CloseConnection();
  void TakeCookies();

  std::unique_ptr<TxxTcpSocket> Sock_;
  std::string OpenHost_;
  std::string OpenPort_;
  std::int32_t ResultCode_ = 500;
  std::string ResultString_;
  std::int32_t ElapsedTime_ = -1;
  std::int32_t DownloadSize_ = 0;
  std::int32_t UploadSize_ = 0;
  THttpBodyMode BodyMode_ = THttpBodyMode::UntilClose;
  std::int32_t ReadError_ = 0;
  bool BodyCapped_ = false;
  std::int64_t DeadlineMs_ = 0;  // steady-clock milliseconds; the exchange ends there
  std::string Unread_;           // bytes received beyond what the reader took
};

}  // namespace vantrel
