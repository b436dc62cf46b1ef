#pragma once

// Text helpers shared by the protocol code: splitting on delimiters, line-end
// search, address literal tests, URL parsing and small string tools. Texts are
// 8-bit byte strings; positions are 1-based with 0 meaning "not found".
// Nothing keeps state, so any thread may call them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The text before the first `delimiter`, or the whole text without one; either
// way with blanks and control characters (bytes up to 20 hex) trimmed from both
// ends. An empty delimiter is never found.
std::string SeparateLeft(std::string_view text, std::string_view delimiter);

// The text after the first `delimiter`, or the whole text without one; trimmed
// like SeparateLeft.
std::string SeparateRight(std::string_view text, std::string_view delimiter);

// Returns SeparateLeft and leaves SeparateRight in `text`. When that rest is the
// untouched text (no delimiter, nothing trimmed) `text` becomes empty; but a text
// without the delimiter that had blanks to trim keeps its trimmed self, so a
// loop must also stop when `text` no longer changes.
std::string Fetch(std::string& text, std::string_view delimiter);

// The position of the earliest line end (CR LF, LF CR, CR or LF), 0 when there
// is none. At one position the two-byte ends win: CR LF over CR, LF CR over LF.
// `terminator` receives the end found, empty when none.
std::size_t PosCRLF(std::string_view text, std::string& terminator);

// A dotted IPv4 address: four decimal parts of 0 to 255, leading zeros allowed.
// The parts are split with Fetch, so blanks around them are tolerated.
bool IsIP(std::string_view text);

// An IPv6 literal as the socket layer tells it from a host name: up to 8
// ":"-separated parts of 0 to FFFF in hexadecimal, at most one "::" gap, an
// optional "%zone" (hexadecimal 0 to FFFF) on the last part. Loose on purpose:
// a single hexadecimal word such as "beef" passes, a dotted IPv4 tail does not,
// and every part counts toward the 8, empty ones included.
bool IsIP6(std::string_view text);

// A URL split for the HTTP client. Nothing is decoded; a fragment stays in
// Parameters and RequestTarget.
struct TUrlParts {
  std::string Protocol;  // as written, e.g. "https"; "http" when absent
  std::string User;
  std::string Password;
  std::string Host;           // without the brackets of an IPv6 literal
  std::string Port;           // decimal text
  std::string Path;           // "/" + the path up to the first "?"
  std::string Parameters;     // what follows that "?"
  std::string RequestTarget;  // "/" + the whole path, query and fragment included
};

// Splits [protocol "://"] [user [":" password] "@"] host [":" port] ["/" path].
// The host may be an IPv6 literal in brackets. The port defaults to 443 for
// https, 21 for ftp and 80 otherwise (also when nothing follows the port
// ":"); an empty host becomes "localhost".
TUrlParts ParseURL(std::string_view url);

// Milliseconds from tick `earlier` to tick `later` of the 32-bit millisecond
// counter, correct across one wrap of the counter. When both are in the same
// half of the counter and `later` is smaller, the distance back is returned
// (never a huge forward count).
std::uint32_t TickDelta(std::uint32_t earlier, std::uint32_t later);

// Every occurrence of `search` replaced, left to right, scanning on after each
// replacement (never inside it). An empty text or search returns `text`.
std::string ReplaceString(std::string_view text, std::string_view search,
                          std::string_view replacement);

// The last position p <= start - length(needle) + 1 where `needle` lies wholly
// in `text`, i.e. the last occurrence ending at or before `start`; 0 when there
// is none or the needle is empty.
std::size_t RPos(std::string_view needle, std::string_view text, std::size_t start);

// The address of "Name <addr>", trimmed: the text between "<" and ">", from the
// start without "<", to the end without ">".
std::string GetEmailAddr(std::string_view text);

// The display name of a mail address, trimmed: between the first two double
// quotes; else before "<"; else inside "(" ")"; else empty.
std::string GetEmailDesc(std::string_view text);

// The index of the first entry of `list` that begins with `text`, ignoring
// ASCII letter case; -1 when none does.
int IndexByBegin(std::string_view text, const std::vector<std::string>& list);

// The binary digits of `value` (at least one), padded with "0" on the left to
// `digits`. A negative value is written as its 32-bit two's complement.
std::string IntToBin(int value, int digits);

// The number written by the leading "0" and "1" characters; reading stops at
// anything else ("" gives 0). Beyond 32 digits the high bits fall off.
int BinToInt(std::string_view text);

// `text` in upper case (ASCII letters only; other bytes kept).
std::string UpperCase(std::string_view text);

// True when `text` begins with `prefix`, ASCII letters compared without case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Below zero, zero or above zero as `a` sorts before, with or after `b`,
// byte by byte with ASCII letters compared without case.
int CompareNoCase(std::string_view a, std::string_view b);

// `text` without the blanks and tabs at both ends.
std::string_view TrimSpaces(std::string_view text);

}  // namespace vantrel
