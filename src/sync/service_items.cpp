#include "sync/service_items.h"

#include <charconv>
#include <optional>
#include <vector>

#include "text/codings.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

constexpr std::size_t kShortText = 255;

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

std::optional<std::int32_t> Number(std::string_view text) {
  text = TrimSpaces(text);
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

std::string Short(std::string_view text) {
  return std::string(text.substr(0, kShortText));
}

}  // namespace

TServiceItems ParseServiceItems(std::string_view body, std::size_t maxRecords) {
  TServiceItems result;
  const std::string text = DecodeBase64(body);
  std::vector<std::string_view> lines = Lines(text);
  // Blank lines at the end start no record; a service may well end so.
  while (!lines.empty() && TrimSpaces(lines.back()).empty())
    lines.pop_back();
  std::size_t p = 0;
  while (p < lines.size()) {
    const std::size_t record = result.Items.size() + result.Refused + 1;
    if (lines.size() - p < 10) {
      result.Error = "record " + std::to_string(record) + " is cut short";
      return result;
    }
    TServerItem item;
    const std::optional<std::int32_t> id = Number(lines[p]);
    const std::optional<std::int32_t> state = Number(lines[p + 4]);
    const std::optional<std::int32_t> checkType = Number(lines[p + 7]);
    if (!id || !state || !checkType) {
      result.Error = "record " + std::to_string(record) + " has a number line that is no number";
      return result;
    }
    item.ServiceId = *id;
    item.Username = Short(lines[p + 1]);
    item.UserEmail = Short(lines[p + 2]);
    item.UserFullName = Short(lines[p + 3]);
    item.State = *state;
    item.Name = Short(lines[p + 5]);
    item.Url = Short(lines[p + 6]);
    item.CheckType = static_cast<TCheckType>(static_cast<std::uint8_t>(*checkType));
    item.SearchText = DecodeBase64(lines[p + 8]);
    const std::string_view last = TrimSpaces(lines[p + 9]);
    if (last == "-") {
      p += 10;
    } else {
      // A frequency, then a separator line that is not looked at.
      const std::optional<std::int32_t> frequency = last.empty() ? 0 : Number(last);
      if (!frequency) {
        result.Error = "record " + std::to_string(record) + " has a frequency that is no number";
        return result;
      }
      if (p + 11 > lines.size()) {
        result.Error = "record " + std::to_string(record) + " is cut short";
        return result;
      }
      item.Frequency = *frequency;
      p += 11;
    }
    if (result.Items.size() < maxRecords)
      result.Items.push_back(std::move(item));
    else
      ++result.Refused;
  }
  return result;
}

}  // namespace vantrel
