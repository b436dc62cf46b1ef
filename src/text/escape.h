#pragma once

// Texts from users and remote servers (item names, URLs, pages) shown on a
// terminal or written to the log: their control characters are written as
// visible text, so that a name cannot forge a line or an escape sequence
// cannot clear the screen.

#include <string>
#include <string_view>

namespace vantrel {

// Every control character (bytes below 20 hex, and 7F) as visible text:
// "\n", "\r" and "\t" for those three, "\x1b" and the like for the others.
// Every other byte is kept.
std::string EscapeControls(std::string_view text);

// The same, but tab, CR and LF are kept: for texts whose lines are meant
// (a page written to the log).
std::string EscapeControlsKeepingLines(std::string_view text);

// True when `text` holds a control character (bytes below 20 hex, and 7F).
bool HasControls(std::string_view text);

// `text` with every control character replaced by a blank: for names, which
// are one line of plain text wherever they come from.
std::string BlankControls(std::string_view text);

}  // namespace vantrel
