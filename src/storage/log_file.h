#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/date_time.h"
#include "platform/unique_fd.h"

namespace vantrel {

// The event log: a text file that starts with the program's title and version,
// followed by entries "[" date time "]: " text, each line ended by CR LF.
// Whether entries are written is asked at every entry (the preferences may
// change meanwhile).
//
// The file stays open between entries, each written straight through, so an
// abrupt end loses nothing. Before every entry the file at the path is
// compared with the open one: when it was deleted, renamed (log rotation) or
// replaced, the entry goes to the file now at the path, and a new or emptied
// file starts again with its title line.
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
  // Closes the file; a failure is reported.
  ~TLogFile();
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

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
  // Opens the file at the path unless it is the one open already; its size,
  // or -1 with errno set when it cannot be opened.
  off_t OpenCurrent(bool truncate);
  void Failed(const std::string& what, int error);

  std::filesystem::path FileName_;
  TOptions Options_;
  bool Failing_ = false;
  TUniqueFd File_;    // appending; invalid until the first write, and after a failed one
  dev_t Device_ = 0;  // of File_
  ino_t Inode_ = 0;
};

}  // namespace vantrel
