#pragma once

// One MIME entity: its content type, transfer encoding and charset, its raw
// body and, for a multipart entity, the parts inside it. Each step writes
// into its own list (Headers, EncodedBody, Lines) for the next one to read.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "alerts/charsets.h"

namespace vantrel {

enum class TMimePrimary : std::uint8_t { Text, Multipart, Message, Binary };

enum class TMimeEncoding : std::uint8_t { SevenBit, EightBit, QuotedPrintable, Base64, UU, XX };

// "TEXT", "MULTIPART", "MESSAGE" in any case; anything else is binary.
TMimePrimary MimePrimaryOf(std::string_view primary);

// "8BIT", "QUOTED-PRINTABLE", "BASE64", "X-UU", "X-XX" in any case; anything
// else is 7bit.
TMimeEncoding MimeEncodingOf(std::string_view encoding);

class TxxMimePart {
 public:
  std::string Primary;    // "text", "multipart", ... as given
  std::string Secondary;  // "plain", "html", ...; empty: the primary's default
  TMimeEncoding EncodingCode = TMimeEncoding::SevenBit;
  std::string DefaultCharset = "US-ASCII";
  TCharset CharsetCode = TCharset::Iso8859_1;  // the body is written in it
  TCharset TargetCharset = SystemCharset();    // the body is held in it
  std::string Description;                     // kept, not written
  std::string Disposition;                     // kept, not written
  std::string Boundary;                        // multipart; one is made when empty
  std::string FileName;                        // binary
  std::vector<std::string> Preamble;           // multipart, before the first part
  std::vector<std::string> Epilogue;           // multipart, after the last part
  std::vector<std::string> Lines;              // the finished part
  std::vector<std::string> EncodedBody;
  // Header lines; one may hold a line break and a tab before a parameter.
  std::vector<std::string> Headers;
  std::string Body;  // raw bytes; text bodies as lines ended by CR LF
  std::vector<std::unique_ptr<TxxMimePart>> SubParts;
  int MaxLineLength = 78;

  TMimePrimary PrimaryCode() const { return MimePrimaryOf(Primary); }

  // Back to a new part's state; sub-parts are dropped.
  void Clear();
  TxxMimePart& AddSubPart();

  // Headers: "Content-type: " with the charset, boundary or file name on a
  // tab-indented second line, and Content-Transfer-Encoding for text and
  // binary parts.
  void EncodePartHeaders();

  // EncodedBody from Body. Text not sent as 7bit is converted from
  // TargetCharset to CharsetCode first. Quoted-printable lines are cut
  // before an "=" or a blank, ending in a soft break "=".
  void EncodeBody();

  // Lines: the headers, folded at "; ", ", " or a blank when MaxLineLength
  // long, an empty line, then the encoded body or the sub-parts between
  // boundaries, and an empty line.
  void EncodePart();
};

}  // namespace vantrel
