#pragma once

#include <string>

namespace vantrel {

// One alarm mail with copies of every text it needs: the sender's thread
// touches nothing else.
struct TMailJob {
  std::string Host;  // SMTP server, "host" or "host:port"
  std::string Username;
  std::string Password;    // both empty: no authentication
  std::string From;        // sender address
  std::string FromName;    // sender display name
  std::string Recipients;  // addresses separated by ";"
  std::string Organization;
  bool IsHtml = false;
  std::string Subject;
  std::string Body;
};

// Where alarm mails go: each is sent on its own, and the call returns at once.
class TMailQueue {
 public:
  virtual ~TMailQueue() = default;
  virtual void Send(TMailJob job) = 0;
};

}  // namespace vantrel
