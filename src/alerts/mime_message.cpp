#include "alerts/mime_message.h"

#include <algorithm>

#include "text/text_utils.h"

namespace vantrel {

namespace {

// The content headers a message takes over from its root part, in order.
constexpr const char* kContentHeaders[] = {"CONTENT-TYPE", "CONTENT-DESCRIPTION",
                                           "CONTENT-DISPOSITION", "CONTENT-ID",
                                           "CONTENT-TRANSFER-ENCODING"};

bool HasHighBytes(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) > 127; });
}

}  // namespace

TxxMimePart& TxxMessage::BodyPart(const std::vector<std::string>& lines, TxxMimePart* parent) {
  TxxMimePart& part = parent ? parent->AddSubPart() : RootPart;
  part.Clear();
  for (const std::string& line : lines)
    part.Body += line + "\r\n";
  part.Primary = "text";
  part.Disposition = "inline";
  return part;
}

void TxxMessage::SetTextBody(const std::vector<std::string>& lines, TxxMimePart* parent) {
  TxxMimePart& part = BodyPart(lines, parent);
  part.Secondary = "plain";
  part.Description = "Message text";
  part.CharsetCode = DetectCharset(part.Body, part.TargetCharset, kIso8859Family);
  // Letters above ASCII are converted to that charset, which 7bit cannot
  // carry; plain ASCII stays 7bit and goes unchanged.
  part.EncodingCode =
      HasHighBytes(part.Body) ? TMimeEncoding::QuotedPrintable : TMimeEncoding::SevenBit;
  part.EncodeBody();
  part.EncodePartHeaders();
}

void TxxMessage::SetHtmlBody(const std::vector<std::string>& lines, TxxMimePart* parent) {
  TxxMimePart& part = BodyPart(lines, parent);
  part.Secondary = "html";
  part.Description = "HTML text";
  part.CharsetCode = TCharset::Utf8;
  part.EncodingCode = TMimeEncoding::QuotedPrintable;
  part.EncodeBody();
  part.EncodePartHeaders();
}

void TxxMessage::EncodeMessage() {
  std::vector<std::string> headers;
  Header.EncodeHeaders(headers);
  for (const char* name : kContentHeaders) {
    const int at = IndexByBegin(name, RootPart.Headers);
    if (at >= 0)
      headers.push_back(RootPart.Headers[static_cast<std::size_t>(at)]);
  }
  RootPart.Headers = std::move(headers);
  RootPart.EncodePart();
  Lines = RootPart.Lines;
}

std::string TxxMessage::Text() const {
  std::string text;
  for (std::size_t i = 0; i < Lines.size(); ++i) {
    if (i > 0)
      text += "\r\n";
    text += Lines[i];
  }
  return text;
}

}  // namespace vantrel
