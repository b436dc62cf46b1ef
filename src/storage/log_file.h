#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/date_time.h"

namespace vantrel {

// The event log: a text file that starts with the program's title and version,
// followed by entries "[" date time "]: " text, each line ended by CR LF.
// Whether entries are written is asked at every entry (the preferences may
// change meanwhile).
//
// A log that cannot be written must never stop monitoring: the checks write
// their entries before they record their results. So a failed write is handed
// to the error reporter once, and every later entry tries again; the next
// failure after a success is reported again.
class TLogFile {
 public:
  // The preferences' choice of log: none, one that grows, or one emptied at
  // every start.
  enum TLogType : std::uint8_t { NoLog = 0, UnlimitedLog = 1, ResetLog = 2 };
  using TLogTypeSource = std::function<std::uint8_t()>;
  using TNowSource = std::function<TDateTime()>;
  using TErrorReporter = std::function<void(const std::string& message)>;

  struct TOptions {
    TLogTypeSource LogType;      // default: every entry is written
    TNowSource Now;              // default: the system clock
    TErrorReporter ReportError;  // default: standard error
  };

  // Creates the file with its title line when it does not exist, or empties it
  // and writes the title line when the log type is "reset when started".
  explicit TLogFile(std::filesystem::path fileName, TOptions options = {});

  // Appends one entry when logging is on. The text may span several lines;
  // only the first gets the time stamp.
  void Add(std::string_view text);

  // The entry line of `text` with the current time stamp.
  std::string FormatLine(std::string_view text) const;

  // "Vantrel" and the program's version, the log's first line.
  static std::string TitleLine();

  const std::filesystem::path& FileName() const { return FileName_; }
  // True from a failed write until the next one that succeeds.
  bool Failing() const { return Failing_; }

 private:
  // Writes `text` (already CR LF ended) to the file, which is emptied first
  // when `truncate`, and gets the title line first when it is empty.
  void Write(std::string_view text, bool truncate);
  void Failed(const std::string& what, int error);

  std::filesystem::path FileName_;
  TOptions Options_;
  bool Failing_ = false;
};

}  // namespace vantrel
