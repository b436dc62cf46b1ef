#pragma once

// Texts from users and remote servers (item names, URLs, server answers)
// placed into documents: each function makes the text stand as plain text in
// its kind of document, so that it can neither add markup nor shift columns.

#include <string>
#include <string_view>

namespace vantrel {

// For HTML element content and quoted attribute values: "&", "<", ">" and
// '"' as character references; every other byte is kept.
std::string HtmlText(std::string_view text);

// For XML 1.0 element content and attribute values: "&", "<", ">", '"' and "'"
// as character references, and what XML 1.0 does not allow in a document left
// out (control characters other than tab, LF and CR; U+FFFE and U+FFFF; bytes
// that are not UTF-8).
std::string XmlText(std::string_view text);

// One field of a comma-separated line: quoted, its quotes doubled, when it
// holds a comma, a double quote, CR or LF; otherwise as it is.
std::string CsvField(std::string_view text);

}  // namespace vantrel
