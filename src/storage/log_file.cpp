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

TLogFile::~TLogFile() {
  // Entries are written through at once; a failed close can still be the
  // first sign of a lost one (NFS, quotas).
  if (File_.Close() != 0) {
    Options_.ReportError("Cannot close the event log " + FileName_.string() + ": " +
                         std::strerror(errno) + ".");
  }
}

void TLogFile::Write(std::string_view text, bool truncate) {
  const off_t size = OpenCurrent(truncate);
  if (size < 0)
    return Failed("open", errno);
  // A new, emptied or recreated log starts with its title line.
  std::string all;
  if (size == 0)
    all = TitleLine() + std::string(kLineEnd);
  all += text;
  if (!WriteAll(File_.Get(), all)) {
    const int error = errno;
    File_.Reset();  // the next entry starts from a fresh open
    return Failed("write", error);
  }
  Failing_ = false;
}

off_t TLogFile::OpenCurrent(bool truncate) {
  struct stat info {};
  if (File_ && !truncate && ::stat(FileName_.c_str(), &info) == 0 && info.st_dev == Device_ &&
      info.st_ino == Inode_)
    return info.st_size;
  // Deleted, renamed or replaced: what went into the old file is all it gets.
  if (File_.Close() != 0)
    Failed("close", errno);
  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0);
  TUniqueFd file(::open(FileName_.c_str(), flags, 0644));
  if (!file)
    return -1;
  if (::fstat(file.Get(), &info) != 0) {
    const int error = errno;
    file.Reset();
    errno = error;
    return -1;
  }
  File_ = std::move(file);
  Device_ = info.st_dev;
  Inode_ = info.st_ino;
  return info.st_size;
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
