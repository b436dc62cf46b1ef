#include "alerts/command_line.h"

#include "text/text_utils.h"

namespace vantrel {

TCommandParts SplitCommandLine(std::string_view commandLine) {
  const std::string_view text = TrimSpaces(commandLine);
  if (!text.empty() && text.front() == '"') {
    const auto close = text.find('"', 1);
    if (close == std::string_view::npos)
      return {std::string(text.substr(1)), ""};
    return {std::string(text.substr(1, close - 1)),
            std::string(TrimSpaces(text.substr(close + 1)))};
  }
  const auto blank = text.find(' ');
  if (blank == std::string_view::npos)
    return {std::string(text), ""};
  return {std::string(text.substr(0, blank)), std::string(TrimSpaces(text.substr(blank + 1)))};
}

std::vector<std::string> SplitArguments(std::string_view parameters) {
  std::vector<std::string> arguments;
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const char c = parameters[i];
    if (c == ' ' || c == '\t') {
      if (inWord)
        arguments.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\'') {
      // Everything up to the next single quote, as it stands.
      const auto close = parameters.find('\'', i + 1);
      const auto end = close == std::string_view::npos ? parameters.size() : close;
      word.append(parameters.substr(i + 1, end - i - 1));
      i = end;
    } else if (c == '"') {
      // A backslash keeps its meaning only before what a shell escapes there.
      for (++i; i < parameters.size() && parameters[i] != '"'; ++i) {
        if (parameters[i] == '\\' && i + 1 < parameters.size() &&
            std::string_view("\"\\$`").find(parameters[i + 1]) != std::string_view::npos)
          ++i;
        word += parameters[i];
      }
    } else if (c == '\\' && i + 1 < parameters.size()) {
      word += parameters[++i];
    } else {
      word += c;
    }
  }
  if (inWord)
    arguments.push_back(std::move(word));
  return arguments;
}

bool IsWebAddress(std::string_view text) {
  return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://") ||
         StartsWithNoCase(text, "ftp://") || StartsWithNoCase(text, "mailto:");
}

}  // namespace vantrel
