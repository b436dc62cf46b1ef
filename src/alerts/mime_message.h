#pragma once

// An Internet message as the alarm mail sends it: the header fields, one root
// part (a text body, or a multipart one holding others) and the finished
// lines that go after the SMTP "DATA".

#include <string>
#include <vector>

#include "alerts/mime_header.h"
#include "alerts/mime_part.h"

namespace vantrel {

class TxxMessage {
 public:
  TMessHeader Header;
  TxxMimePart RootPart;
  std::vector<std::string> Lines;  // the finished message, after EncodeMessage

  // The lines as a text/plain body of the root part, or of a new sub-part of
  // `parent`, in the ISO-8859 charset that fits them best. Plain ASCII goes
  // as 7bit, unchanged; other text is converted and sent quoted-printable.
  void SetTextBody(const std::vector<std::string>& lines, TxxMimePart* parent = nullptr);

  // The lines as a text/html body in UTF-8, quoted-printable.
  void SetHtmlBody(const std::vector<std::string>& lines, TxxMimePart* parent = nullptr);

  // Lines: the header fields, the root part's content headers, an empty line
  // and the body, ending with an empty line.
  void EncodeMessage();

  // The message: Lines joined with CR LF.
  std::string Text() const;

 private:
  TxxMimePart& BodyPart(const std::vector<std::string>& lines, TxxMimePart* parent);
};

}  // namespace vantrel
