#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_ops.h"
#include "storage/atomic_file.h"

namespace vantrel {

// A small INI file: "[Section]" lines followed by "Key=Value" lines. Section
// and key names compare without regard to ASCII case; keys and values are read
// trimmed of blanks and tabs. Everything the program does not know (other
// sections and keys, comments, lines it cannot parse) is kept as it stands when
// the file is written back, so a save never loses what another version wrote.
// The file is written with CR LF line ends and read with either line end.
class TIniFile {
 public:
  // An empty file that will be saved at `path`.
  explicit TIniFile(std::filesystem::path path);

  // Reads `path`; a missing file reads as empty. Throws EInOutError when the
  // file exists but cannot be read.
  static TIniFile Load(const std::filesystem::path& path);

  // Parses INI text as if it had been read from `path`.
  static TIniFile Parse(std::filesystem::path path, std::string_view text);

  const std::filesystem::path& Path() const { return Path_; }

  bool ValueExists(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& fallback) const;
  // Decimal, optionally signed, within 32 bits; anything else reads as `fallback`.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t fallback) const;
  // Stored as an integer: 0 is false, any other number true.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  // Replaces the key's value in place, or adds the key at the end of its
  // section, or adds the section at the end of the file. A line break inside a
  // value would start a new line of the file, so it is written as a blank.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // The file's text as it would be saved.
  std::string Text() const;

  // Writes the text to Path() through a temporary file renamed over the old
  // one (TAtomicFile), with the permission bits `permissions` gives. Throws
  // EInOutError; the old file is then unchanged.
  void Save(TFilePermissions permissions, TFileOps& ops = PosixFileOps()) const;

 private:
  struct TLine {
    std::string Text;  // the line as read, or as it will be written
    std::string Key;   // trimmed key; empty for a line that is not an entry
  };
  struct TSection {
    std::string Name;  // empty for the lines before the first section
    std::vector<TLine> Lines;
  };

  const TSection* FindSection(std::string_view name) const;
  TSection* FindSection(std::string_view name);
  const TLine* FindEntry(std::string_view section, std::string_view key) const;

  std::filesystem::path Path_;
  std::vector<TSection> Sections_;
};

}  // namespace vantrel
