#include "alerts/recipients.h"

namespace vantrel {

namespace {

bool IsBlank(char c) {
  return c == ' ';
}

// Ends an unquoted entry: a separator, a blank or a control character.
bool EndsEntry(char c) {
  return c == ';' || static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

std::vector<std::string> SplitRecipients(std::string_view text) {
  std::vector<std::string> entries;
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < text.size() && IsBlank(text[i]))
      ++i;
  };
  skipBlanks();
  while (i < text.size()) {
    std::string entry;
    if (text[i] == '"') {
      ++i;
      while (i < text.size()) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            entry += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        entry += text[i++];
      }
    } else {
      while (i < text.size() && !EndsEntry(text[i]))
        entry += text[i++];
    }
    entries.push_back(std::move(entry));
    skipBlanks();
    if (i < text.size() && text[i] == ';') {
      ++i;
      skipBlanks();
      if (i == text.size())
        entries.emplace_back();
    } else if (i < text.size() && EndsEntry(text[i])) {
      ++i;  // a control character ends the entry and is not part of the next
      skipBlanks();
    }
  }
  return entries;
}

}  // namespace vantrel
