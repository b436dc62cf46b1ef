#pragma once

// Codings shared by the protocol code: Base64, MD5, keyed MD5 and the
// escape-triplet encoders. All work on 8-bit byte strings and keep no state,
// so any thread may call them.

#include <bitset>
#include <string>
#include <string_view>

namespace vantrel {

// A set of byte values, indexed by the byte read as unsigned.
using TByteSet = std::bitset<256>;

// Base64 with the RFC 4648 alphabet and "=" padding, on one line (no breaks).
std::string EncodeBase64(std::string_view data);

// Decodes 4-character groups without skipping anything: every character outside
// the alphabet ("=", blanks, line breaks, ...) counts as padding, so a stray
// character shifts the groups after it. Callers remove line breaks first.
// A group yields its second byte only when its third character is valid and
// its third byte only when the third and fourth are; a lone last character is
// ignored. Never fails.
std::string DecodeBase64(std::string_view text);

// The RFC 1321 digest as 16 raw bytes.
std::string MD5(std::string_view data);

// The MD5 digest as 32 lowercase hexadecimal digits.
std::string MD5Hex(std::string_view data);

// RFC 2104 HMAC-MD5 of `text` under `key`, as 32 lowercase hexadecimal digits
// (the answer to an SMTP CRAM-MD5 challenge). Keys over 64 bytes are hashed first.
std::string HMAC_MD5(std::string_view text, std::string_view key);

// Two lowercase hexadecimal digits per byte, high nibble first.
std::string StrToHex(std::string_view data);

// Writes every byte of `set` as `escape` and two uppercase hexadecimal digits;
// other bytes are copied.
std::string EncodeTriplet(std::string_view text, char escape, const TByteSet& set);

// "%XX" escaping for request parameters: escapes 00-20, '"', '%', '<', '>',
// '[', '\', ']', '^', '_', '`' and 7B-FF. Keeps '/', '?', '&', '=', '+', '#',
// ':' and '@', so it does not make a text safe as a single parameter value.
std::string EncodeURL(std::string_view text);

// "=XX" escaping for MIME encoded words: escapes 00-1F, '"', '(', ')', ',',
// '.', '/', ':', ';', '<', '=', '>', '?', '@', '[', '\', ']', '_' and 7F-FF.
// The blank is kept; callers turn it into "=20" themselves.
std::string EncodeSafeQuoted(std::string_view text);

}  // namespace vantrel
