#pragma once

// The header fields of an Internet message and the encoded words that carry
// display names and other header texts outside plain ASCII.

#include <string>
#include <string_view>
#include <vector>

#include "alerts/charsets.h"
#include "platform/date_time.h"

namespace vantrel {

struct TMessHeader {
  std::string From;      // the sender's address
  std::string FromName;  // the sender's display name, written as it is
  std::vector<std::string> ToList;
  std::vector<std::string> CCList;
  std::string Subject;  // written as it is, blanks around it trimmed
  std::string Organization;
  std::vector<std::string> CustomHeaders;  // complete lines
  TDateTime Date = 0;                      // 0: now
  std::string XMailer;
  std::string XPriority;
  std::string ProducedBy;  // for the MIME-Version and X-MimeOLE lines

  // Puts the header lines above those already in `lines`: From, Reply-To,
  // To, Subject, Date, CC, Organization, MIME-Version and X-MimeOLE,
  // X-MSMail-Priority and X-Priority, X-Mailer, then the custom lines; each
  // only when its field is set, Date always. Texts are read in the system
  // charset.
  void EncodeHeaders(std::vector<std::string>& lines) const;
};

// True for a text with a control byte (1 to 31), a byte above 127, or one of
// "(),./:;<=>?@[\]_ and the double quote.
bool NeedsEncoding(std::string_view text);

// The text as one "Q" encoded word in the ISO-8859 charset that fits it best,
// when it NeedsEncoding; otherwise unchanged. `charset` is the one it is held in.
std::string EncodeHeaderText(std::string_view text, TCharset charset);

// `"encoded name"<address>` for an address with a display name, the bare
// address otherwise.
std::string EncodeAddress(std::string_view address, TCharset charset);

}  // namespace vantrel
