#include "text/escape.h"

namespace vantrel {

namespace {

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

std::string Escape(std::string_view text, bool keepLines) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (!IsControl(c) || (keepLines && (c == '\t' || c == '\r' || c == '\n'))) {
      out += ch;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

}  // namespace

std::string EscapeControls(std::string_view text) {
  return Escape(text, false);
}

std::string EscapeControlsKeepingLines(std::string_view text) {
  return Escape(text, true);
}

bool HasControls(std::string_view text) {
  for (const char ch : text) {
    if (IsControl(static_cast<unsigned char>(ch)))
      return true;
  }
  return false;
}

std::string BlankControls(std::string_view text) {
  std::string out(text);
  for (char& ch : out) {
    if (IsControl(static_cast<unsigned char>(ch)))
      ch = ' ';
  }
  return out;
}

}  // namespace vantrel
