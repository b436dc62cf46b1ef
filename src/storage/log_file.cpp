#include "storage/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "platform/date_format.h"
#include "platform/ui_pump.h"
#include "platform/version_info.h"

namespace vantrel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

TLogFile::TLogFile(std::filesystem::path fileName, TOptions options)
    : FileName_(std::move(fileName)), Options_(std::move(options)) {
  if (!Options_.LogType)
    Options_.LogType = [] { return std::uint8_t{UnlimitedLog}; };
  if (!Options_.Now)
    Options_.Now = NowDateTime;
  if (!Options_.ReportError) {
    Options_.ReportError = [](const std::string& message) { std::cerr << message << '\n'; };
  }

  std::error_code ec;
  const bool exists = std::filesystem::exists(FileName_, ec);
  if (!exists || Options_.LogType() == ResetLog)
    Write({}, true);
}

std::string TLogFile::TitleLine() {
  return std::string(kProgramTitle) + " " + kFileVersion;
}

std::string TLogFile::FormatLine(std::string_view text) const {
  return "[" + TimeStampText(Options_.Now()) + "]: " + std::string(text);
}

void TLogFile::Add(std::string_view text) {
  if (Options_.LogType() == NoLog)
    return;
  PumpUi();
  Write(FormatLine(text) + std::string(kLineEnd), false);
}

void TLogFile::Write(std::string_view text, bool truncate) {
  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0);
  const int fd = ::open(FileName_.c_str(), flags, 0644);
  if (fd < 0)
    return Failed("open", errno);

  // A log deleted between two entries starts again with its title line.
  struct stat info {};
  std::string all;
  if (::fstat(fd, &info) == 0 && info.st_size == 0) {
    all = TitleLine() + std::string(kLineEnd);
  }
  all += text;
  const bool written = WriteAll(fd, all);
  const int writeError = errno;
  const bool closed = ::close(fd) == 0;
  if (!written)
    return Failed("write", writeError);
  if (!closed)
    return Failed("close", errno);
  Failing_ = false;
}

void TLogFile::Failed(const std::string& what, int error) {
  if (Failing_)
    return;
  Failing_ = true;
  Options_.ReportError("Cannot " + what + " the event log " + FileName_.string() + ": " +
                       std::strerror(error) +
                       ". Monitoring goes on; the log is tried again at "
                       "the next entry.");
}

}  // namespace vantrel
