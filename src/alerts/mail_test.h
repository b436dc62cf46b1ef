#pragma once

#include <string>

#include "core/monitoring_test.h"

namespace vantrel {

// The SMTP settings under test, as the user entered them.
struct TMailTestSettings {
  std::string Server;  // "host" or "host:port"
  bool ServerAuth = false;
  std::string Account;
  std::string Password;
  std::string Username;          // the sender's display name
  std::string Address;           // the sender's address, also the recipient
  std::int32_t Timeout = 60000;  // ms, for each reply
};

// Sends "Test Message" from the address to itself, step by step ("Logining: ",
// "Sending sender info: ", "Sending recipients info: ", "Sending message: ",
// "Logout: "), ending with "Test finished successfully." or "Test failed.".
// Logining fails when the server refused the account. True when it passed.
bool RunMailTest(const TMailTestSettings& settings, TTestOutput& output);

}  // namespace vantrel
