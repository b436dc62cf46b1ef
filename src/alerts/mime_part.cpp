#include "alerts/mime_part.h"

#include <algorithm>
#include <atomic>
#include <cctype>

#include "text/codings.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

// A parameter goes on a line of its own, indented, within the same header.
constexpr std::string_view kParameterBreak = ";\r\n\t";
// Base64 input per line: 54 bytes make 72 characters.
constexpr std::size_t kBase64Chunk = 54;

bool SameText(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) ==
           std::toupper(static_cast<unsigned char>(y));
  });
}

const TByteSet& QuotedPrintableBytes() {
  static const TByteSet set = [] {
    TByteSet s;
    for (int b = 1; b <= 31; ++b)
      s.set(b);
    for (int b = 128; b <= 255; ++b)
      s.set(b);
    s.set('=');
    return s;
  }();
  return set;
}

std::string EncodingName(TMimeEncoding encoding) {
  switch (encoding) {
    case TMimeEncoding::SevenBit:
      return "7bit";
    case TMimeEncoding::EightBit:
      return "8bit";
    case TMimeEncoding::QuotedPrintable:
      return "Quoted-printable";
    default:
      return "Base64";  // also UU and XX, which are sent as Base64
  }
}

// The body's lines as a text file holds them: ended by CR LF, LF or CR, the
// last one also without an end.
std::vector<std::string> BodyLines(std::string_view body) {
  std::vector<std::string> lines;
  while (!body.empty()) {
    const std::size_t end = body.find_first_of("\r\n");
    lines.emplace_back(body.substr(0, end));
    if (end == std::string_view::npos)
      break;
    const bool crlf = body[end] == '\r' && end + 1 < body.size() && body[end + 1] == '\n';
    body.remove_prefix(end + (crlf ? 2 : 1));
  }
  return lines;
}

// Cuts an encoded line before its last "=" or blank within `max` characters,
// so no escape triplet is split, and ends each piece but the last with a soft
// break "=".
void AppendQuotedPrintable(std::string_view line, std::size_t max, std::vector<std::string>& out) {
  bool cut = false;
  while (line.size() >= max) {
    const std::size_t at = std::max(RPos("=", line, max), RPos(" ", line, max));
    // One at the very start would cut nothing: the piece takes `max` then.
    const std::size_t length = at > 1 ? at - 1 : max;
    std::string piece(line.substr(0, length));
    line.remove_prefix(length);
    if (!line.empty())
      piece += '=';
    out.push_back(std::move(piece));
    cut = true;
  }
  if (!line.empty() || !cut)
    out.emplace_back(line);
}

// Folds a header line of `max` characters or more: after the ";" of a "; ",
// else after the "," of a ", ", else before a blank, the last of each within
// `max` characters; the rest starts with the blank and goes on the next line.
void AppendFolded(std::string_view line, std::size_t max, std::vector<std::string>& out) {
  while (line.size() >= max) {
    const std::size_t semicolon = RPos("; ", line, max);
    const std::size_t blank = RPos(" ", line, max);
    const std::size_t comma = RPos(", ", line, max);
    std::size_t length = 0;
    if (std::max({semicolon, blank, comma}) <= 1) {
      const std::size_t next = line.find(' ', 1);
      length = next == std::string_view::npos ? line.size() : next + 1;
    } else if (semicolon > 0) {
      length = semicolon;
    } else if (comma > 0) {
      length = comma;
    } else {
      length = blank - 1;
    }
    out.emplace_back(line.substr(0, length));
    line.remove_prefix(length);
  }
  if (!line.empty())
    out.emplace_back(line);
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
  to.insert(to.end(), lines.begin(), lines.end());
}

// "=_" can appear neither in quoted-printable nor in Base64 text.
std::string NewBoundary() {
  static std::atomic<unsigned> count{0};
  return "=_vantrel_part_" + std::to_string(++count);
}

}  // namespace

TMimePrimary MimePrimaryOf(std::string_view primary) {
  if (SameText(primary, "TEXT"))
    return TMimePrimary::Text;
  if (SameText(primary, "MULTIPART"))
    return TMimePrimary::Multipart;
  if (SameText(primary, "MESSAGE"))
    return TMimePrimary::Message;
  return TMimePrimary::Binary;
}

TMimeEncoding MimeEncodingOf(std::string_view encoding) {
  if (SameText(encoding, "8BIT"))
    return TMimeEncoding::EightBit;
  if (SameText(encoding, "QUOTED-PRINTABLE"))
    return TMimeEncoding::QuotedPrintable;
  if (SameText(encoding, "BASE64"))
    return TMimeEncoding::Base64;
  if (SameText(encoding, "X-UU"))
    return TMimeEncoding::UU;
  if (SameText(encoding, "X-XX"))
    return TMimeEncoding::XX;
  return TMimeEncoding::SevenBit;
}

void TxxMimePart::Clear() {
  *this = TxxMimePart();
}

TxxMimePart& TxxMimePart::AddSubPart() {
  SubParts.push_back(std::make_unique<TxxMimePart>());
  return *SubParts.back();
}

void TxxMimePart::EncodePartHeaders() {
  Headers.clear();
  const TMimePrimary primary = PrimaryCode();
  if (Secondary.empty()) {
    constexpr const char* kDefaults[] = {"plain", "mixed", "rfc822", "octet-stream"};
    Secondary = kDefaults[static_cast<int>(primary)];
  }
  std::string type = "Content-type: " + Primary + "/" + Secondary;
  switch (primary) {
    case TMimePrimary::Text:
      type += std::string(kParameterBreak) + "charset=" + CharsetName(CharsetCode);
      break;
    case TMimePrimary::Multipart:
      if (Boundary.empty())
        Boundary = NewBoundary();
      type += std::string(kParameterBreak) + "boundary=\"" + Boundary + "\"";
      break;
    case TMimePrimary::Binary:
      type += std::string(kParameterBreak) + "name=\"" + FileName + "\"";
      break;
    case TMimePrimary::Message:
      break;
  }
  Headers.push_back(std::move(type));
  if (primary == TMimePrimary::Text || primary == TMimePrimary::Binary)
    Headers.push_back("Content-Transfer-Encoding: " + EncodingName(EncodingCode));
}

void TxxMimePart::EncodeBody() {
  EncodedBody.clear();
  const TMimePrimary primary = PrimaryCode();
  if (primary == TMimePrimary::Multipart || primary == TMimePrimary::Message) {
    EncodedBody = BodyLines(Body);
    return;
  }
  const bool text = primary == TMimePrimary::Text;
  if (EncodingCode >= TMimeEncoding::Base64) {
    // Converted whole before it is cut: a chunk boundary could split a
    // character of a multi-byte charset.
    const std::string data = text ? ConvertCharset(Body, TargetCharset, CharsetCode) : Body;
    for (std::size_t at = 0; at < data.size(); at += kBase64Chunk)
      EncodedBody.push_back(EncodeBase64(std::string_view(data).substr(at, kBase64Chunk)));
    return;
  }
  // Room for one escape triplet and the soft break, whatever the caller set.
  const auto max = static_cast<std::size_t>(std::max(MaxLineLength, 4));
  for (std::string& line : BodyLines(Body)) {
    if (text && EncodingCode != TMimeEncoding::SevenBit)
      line = ConvertCharset(line, TargetCharset, CharsetCode);
    if (EncodingCode == TMimeEncoding::QuotedPrintable)
      AppendQuotedPrintable(EncodeTriplet(line, '=', QuotedPrintableBytes()), max, EncodedBody);
    else
      EncodedBody.push_back(std::move(line));
  }
}

void TxxMimePart::EncodePart() {
  Lines.clear();
  const auto max = static_cast<std::size_t>(std::max(MaxLineLength, 4));
  for (const std::string& header : Headers)
    AppendFolded(header, max, Lines);
  Lines.emplace_back();
  switch (PrimaryCode()) {
    case TMimePrimary::Multipart:
      Append(Lines, Preamble);
      Lines.emplace_back();
      for (const auto& part : SubParts) {
        Lines.push_back("--" + Boundary);
        part->EncodePart();
        Append(Lines, part->Lines);
        Lines.emplace_back();
      }
      Lines.push_back("--" + Boundary + "--");
      Append(Lines, Epilogue);
      Append(Lines, EncodedBody);
      Lines.emplace_back();
      break;
    case TMimePrimary::Message:
      if (!SubParts.empty()) {
        SubParts.front()->EncodePart();
        Append(Lines, SubParts.front()->Lines);
      }
      Lines.emplace_back();
      break;
    default:
      Append(Lines, EncodedBody);
      Lines.emplace_back();
      break;
  }
}

}  // namespace vantrel
