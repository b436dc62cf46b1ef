#include "core/response_codes.h"

#include <algorithm>
#include <iterator>

namespace vantrel {

namespace {

struct TCodeText {
  std::int32_t Code;
  const char* Text;
};

// Sorted by code.
constexpr TCodeText kCodeTexts[] = {
    {0, "Not Responded"},
    {100, "Continue"},
    {101, "Switching Protocols"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {220, "Search Content Failed"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Moved Temporarily"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "None Acceptable"},
    {407, "Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Unless True"},
    {420, "Connection Failed"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
};

static_assert(std::is_sorted(std::begin(kCodeTexts), std::end(kCodeTexts),
                             [](const TCodeText& a, const TCodeText& b) {
                               return a.Code < b.Code;
                             }));

}  // namespace

std::string HttpCodeText(std::int32_t code) {
  const auto found = std::lower_bound(
      std::begin(kCodeTexts), std::end(kCodeTexts), code,
      [](const TCodeText& entry, std::int32_t value) { return entry.Code < value; });
  if (found == std::end(kCodeTexts) || found->Code != code)
    return "";
  return found->Text;
}

}  // namespace vantrel
