#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// A command line split into the program and its parameters: trimmed; a
// program in double quotes runs to the closing quote; otherwise it ends at
// the first blank. The parameters are the rest, trimmed.
struct TCommandParts {
  std::string Program;
  std::string Parameters;
};
TCommandParts SplitCommandLine(std::string_view commandLine);

// The parameters as separate arguments, split as a POSIX shell splits words
// at blanks and tabs, with its single quotes, double quotes and backslashes,
// but nothing else of the shell: no variables, no command substitution, no
// globbing, no ";" or "|" (those stay plain text).
std::vector<std::string> SplitArguments(std::string_view parameters);

// True for a web address ("http://", "https://", "ftp://", "mailto:"), which
// is opened rather than run.
bool IsWebAddress(std::string_view text);

}  // namespace vantrel
