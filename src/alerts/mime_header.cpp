#include "alerts/mime_header.h"

#include "platform/mail_date.h"
#include "text/codings.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

constexpr std::string_view kSpecials = "\"(),./:;<=>?@[\\]_";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
    text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
    text.remove_suffix(1);
  return text;
}

std::string AddressList(const std::vector<std::string>& addresses, TCharset charset) {
  std::string out;
  for (const std::string& address : addresses) {
    if (!out.empty())
      out += ", ";
    out += EncodeAddress(address, charset);
  }
  return out;
}

}  // namespace

bool NeedsEncoding(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 1 && byte <= 31) || byte >= 128 || kSpecials.find(c) != std::string_view::npos)
      return true;
  }
  return false;
}

std::string EncodeHeaderText(std::string_view text, TCharset charset) {
  if (!NeedsEncoding(text))
    return std::string(text);
  const TCharset target = DetectCharset(text, charset, kIso8859Family);
  const std::string quoted = EncodeSafeQuoted(ConvertCharset(text, charset, target));
  return "=?" + CharsetName(target) + "?Q?" + ReplaceString(quoted, " ", "=20") + "?=";
}

std::string EncodeAddress(std::string_view address, TCharset charset) {
  const std::string name = GetEmailDesc(address);
  const std::string mailbox = GetEmailAddr(address);
  if (name.empty())
    return mailbox;
  return "\"" + EncodeHeaderText(name, charset) + "\"<" + mailbox + ">";
}

void TMessHeader::EncodeHeaders(std::vector<std::string>& lines) const {
  const TCharset charset = SystemCharset();
  std::vector<std::string> fields;
  if (!From.empty()) {
    fields.push_back(FromName.empty() ? "From: " + EncodeAddress(From, charset)
                                      : "From: " + FromName + " <" + From + ">");
  }
  if (!ToList.empty()) {
    const std::string to = AddressList(ToList, charset);
    fields.push_back("Reply-To: " + to);
    fields.push_back("To: " + to);
  }
  const std::string_view subject = Trim(Subject);
  if (!subject.empty())
    fields.push_back("Subject: " + std::string(subject));
  fields.push_back("Date: " + Rfc822DateTime(Date == 0 ? NowDateTime() : Date));
  if (!CCList.empty())
    fields.push_back("CC: " + AddressList(CCList, charset));
  if (!Organization.empty())
    fields.push_back("Organization: " + EncodeHeaderText(Organization, charset));
  if (!ProducedBy.empty()) {
    fields.push_back("MIME-Version: 1.0 (Produced by " + ProducedBy + ")");
    fields.push_back("X-MimeOLE: Produced by " + ProducedBy);
  }
  if (!XPriority.empty()) {
    fields.push_back("X-MSMail-Priority: " + XPriority);
    fields.push_back("X-Priority: " + XPriority);
  }
  if (!XMailer.empty())
    fields.push_back("X-Mailer: " + XMailer);
  for (const std::string& line : CustomHeaders) {
    if (!line.empty())
      fields.push_back(line);
  }
  lines.insert(lines.begin(), fields.begin(), fields.end());
}

}  // namespace vantrel
