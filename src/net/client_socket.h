#pragma once

#include <cstdint>
#include <string>

#include "net/block_socket.h"

namespace vantrel {

// The common base of the protocol clients (HTTP, ping, SMTP). Each client
// owns one socket and frees it with itself.
class TxxClientSocket {
 public:
  virtual ~TxxClientSocket() = default;
  TxxClientSocket(const TxxClientSocket&) = delete;
  TxxClientSocket& operator=(const TxxClientSocket&) = delete;

  std::string TargetHost = "127.0.0.1";
  std::string TargetPort = "0";
  std::string IPInterface = "0.0.0.0";  // local address to bind
  std::int32_t Timeout = 5000;          // milliseconds

  // Ends the client's current wait at once and fails the later ones (for
  // shutdown); safe from any thread while the client lives.
  void Abort() { Socket().Abort(); }

 protected:
  TxxClientSocket() = default;
  // The socket the client owns.
  virtual TxxBlockSocket& Socket() = 0;
};

}  // namespace vantrel
