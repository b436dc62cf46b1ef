#pragma once

#include <string>

#include "alerts/mail_senders.h"
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
// Cancelling `cancel` from another thread cuts the connection: the step under
// way fails at once, and so does the test.
bool RunMailTest(const TMailTestSettings& settings, TTestOutput& output,
                 TMailCancel* cancel = nullptr);

}  // namespace vantrel
