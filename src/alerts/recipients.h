#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The entries of a recipient text as the alarm mail reads it, for its To
// list and its RCPT TO commands alike: leading blanks are skipped; an entry
// that starts with a double quote runs to the closing one (a doubled quote
// inside stands for one); any other runs up to the next ";", blank or control
// character; blanks after an entry, then one ";" with the blanks after it,
// are skipped. A ";" at the very end adds an empty last entry.
std::vector<std::string> SplitRecipients(std::string_view text);

}  // namespace vantrel
