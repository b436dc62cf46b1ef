// Composed messages read back by Python's email package: what a mail client
// decodes must be what the alarm said.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "alerts/mime_message.h"
#include "support/test_env.h"
#include "support/test_files.h"
#include "support/test_process.h"

namespace vantrel {
namespace {

// Arguments: message file, content subtype, subject, display names joined
// with "|", then the body lines.
constexpr const char* kCheckScript = R"(
import email, email.policy, sys
path, subtype, subject, names, *lines = sys.argv[1:]
raw = open(path, 'rb').read()
msg = email.message_from_bytes(raw, policy=email.policy.default)
faults = []
def expect(what, got, want):
    if got != want:
        faults.append(f'{path}: {what}: {got!r} != {want!r}')
expect('defects', msg.defects, [])
expect('type', msg.get_content_type(), 'text/' + subtype)
expect('subject', msg['subject'], subject)
expect('names', '|'.join(a.display_name for a in msg['to'].addresses), names)
expect('reply names', '|'.join(a.display_name for a in msg['reply-to'].addresses), names)
charset = msg.get_content_charset()
body = msg.get_payload(decode=True).decode(charset).replace('\r\n', '\n')
expect('body', body, '\n'.join(lines) + '\n')
for line in raw.split(b'\r\n\r\n', 1)[1].split(b'\r\n'):
    if len(line.removesuffix(b'=')) >= 78:
        faults.append(f'{path}: long line {line!r}')
print('\n'.join(faults))
sys.exit(1 if faults else 0)
)";

TEST(MimeParseTest, MailReadersDecodeNamesSubjectAndLetters) {
  const test::TLocaleGuard locale("C.UTF-8");
  ASSERT_TRUE(locale.Ok());
  const test::TTempDir dir;
  test::WriteFileBytes(dir / "check.py", kCheckScript);

  const std::string polish = "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85";
  const std::vector<std::string> plain = {
      "Sklep " + polish + " nie odpowiada.",
      "Odpowied\xC5\xBA: 408 (limit=30 s) " + polish + " " + polish + " " + polish + " " + polish,
      ""};
  const std::string cell = "<td class=\"x\">" + polish + "</td>";
  const std::vector<std::string> html = {"<html><body><table><tr>" + cell + cell + cell + cell,
                                         "</tr></table></body></html>"};
  const struct {
    const char* File;
    const char* Subtype;
    std::vector<std::string> Body;
  } messages[] = {{"plain.eml", "plain", plain}, {"html.eml", "html", html}};

  const std::string subject = "Sklep " + polish + " is down";
  for (const auto& m : messages) {
    TxxMessage message;
    message.Header.From = "monitor@x.example";
    message.Header.FromName = "Vantrel Monitor";
    message.Header.ToList = {"Nowak, \xC5\x81ucja <ln@x.example>", "\"Doe, John\" <jd@x.example>",
                             "ops@x.example"};
    message.Header.Subject = subject;
    if (m.Subtype == std::string("html"))
      message.SetHtmlBody(m.Body);
    else
      message.SetTextBody(m.Body);
    message.EncodeMessage();
    test::WriteFileBytes(dir / m.File, message.Text());

    std::vector<std::string> argv = {
        "python3", (dir / "check.py").string(),     (dir / m.File).string(), m.Subtype,
        subject,   "Nowak, \xC5\x81ucja|Doe, John|"};
    argv.insert(argv.end(), m.Body.begin(), m.Body.end());
    test::TTestProcess check(argv);
    ASSERT_TRUE(check.Started()) << check.Error();
    const std::optional<int> status = check.Wait(30000);
    EXPECT_EQ(status, 0) << check.Output() << check.Errors();
  }
}

}  // namespace
}  // namespace vantrel
