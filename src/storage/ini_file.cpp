#include "storage/ini_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <utility>

#include "platform/unique_fd.h"
#include "storage/file_errors.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos)
    return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

// "[Name]" (blanks allowed around it) gives Name; anything else is no header.
bool ParseSectionHeader(std::string_view line, std::string& name) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[')
    return false;
  const auto close = line.find(']');
  if (close == std::string_view::npos)
    return false;
  name = std::string(Trim(line.substr(1, close - 1)));
  return true;
}

std::string EntryKey(std::string_view line) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#')
    return {};
  const auto equals = line.find('=');
  if (equals == std::string_view::npos)
    return {};
  return std::string(Trim(line.substr(0, equals)));
}

std::string OneLine(std::string_view value) {
  std::string text(value);
  for (char& c : text) {
    if (c == '\r' || c == '\n')
      c = ' ';
  }
  return text;
}

std::string ReadWholeFile(const fs::path& path, bool& missing) {
  missing = false;
  const TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT) {
      missing = true;
      return {};
    }
    throw EInOutError(path.string(), errno, "Cannot open");
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n == 0)
      break;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      throw EInOutError(path.string(), errno, "Cannot read");
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

TIniFile::TIniFile(fs::path path) : Path_(std::move(path)) {}

TIniFile TIniFile::Load(const fs::path& path) {
  bool missing = false;
  const std::string text = ReadWholeFile(path, missing);
  return Parse(path, text);
}

TIniFile TIniFile::Parse(fs::path path, std::string_view text) {
  TIniFile ini(std::move(path));
  ini.Sections_.push_back({});
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos)
      end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    start = end + 1;

    std::string name;
    if (ParseSectionHeader(line, name)) {
      ini.Sections_.push_back({name, {}});
      ini.Sections_.back().Lines.push_back({std::string(line), {}});
    } else {
      ini.Sections_.back().Lines.push_back({std::string(line), EntryKey(line)});
    }
  }
  return ini;
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view name) const {
  // The lines before the first header belong to no section, whatever a key there says.
  for (std::size_t i = 1; i < Sections_.size(); ++i) {
    if (SameName(Sections_[i].Name, name))
      return &Sections_[i];
  }
  return nullptr;
}

TIniFile::TSection* TIniFile::FindSection(std::string_view name) {
  return const_cast<TSection*>(std::as_const(*this).FindSection(name));
}

const TIniFile::TLine* TIniFile::FindEntry(std::string_view section, std::string_view key) const {
  const TSection* found = FindSection(section);
  if (!found)
    return nullptr;
  for (const TLine& line : found->Lines) {
    if (!line.Key.empty() && SameName(line.Key, key))
      return &line;
  }
  return nullptr;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindEntry(section, key) != nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& fallback) const {
  const TLine* line = FindEntry(section, key);
  if (!line)
    return fallback;
  const std::string_view text = line->Text;
  return std::string(Trim(text.substr(text.find('=') + 1)));
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int32_t fallback) const {
  const TLine* line = FindEntry(section, key);
  if (!line)
    return fallback;
  std::string_view text = line->Text;
  text = Trim(text.substr(text.find('=') + 1));
  if (!text.empty() && text.front() == '+')
    text.remove_prefix(1);
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty())
    return fallback;
  return value;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  if (Sections_.empty())
    Sections_.push_back({});
  std::string entry = std::string(key) + "=" + OneLine(value);
  TSection* found = FindSection(section);
  if (!found) {
    // A blank line sets the new section apart from what stands before it.
    const bool fileHasText = Sections_.size() > 1 || !Sections_.front().Lines.empty();
    if (fileHasText) {
      TSection& last = Sections_.back();
      if (last.Lines.empty() || !Trim(last.Lines.back().Text).empty()) {
        last.Lines.push_back({});
      }
    }
    Sections_.push_back({std::string(section), {{"[" + std::string(section) + "]", {}}}});
    found = &Sections_.back();
  }
  for (TLine& line : found->Lines) {
    if (!line.Key.empty() && SameName(line.Key, key)) {
      line.Text = std::move(entry);
      return;
    }
  }
  // New keys go after the section's last entry, before the blank lines that
  // separate it from the next section.
  auto at = found->Lines.end();
  while (at != found->Lines.begin() + 1 && Trim(std::prev(at)->Text).empty())
    --at;
  found->Lines.insert(at, {std::move(entry), std::string(key)});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::string TIniFile::Text() const {
  std::string text;
  for (const TSection& section : Sections_) {
    for (const TLine& line : section.Lines) {
      text += line.Text;
      text += "\r\n";
    }
  }
  return text;
}

void TIniFile::Save(TFilePermissions permissions, TFileOps& ops) const {
  TAtomicFile file(Path_.string(), permissions, ops);
  file.Write(Text());
  file.Commit();
}

}  // namespace vantrel
