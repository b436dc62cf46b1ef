#include "app/data_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <system_error>
#include <utility>

namespace vantrel {

namespace {

// A lock file is a few short lines; anything beyond this is not ours to read.
constexpr std::size_t kMaxLockFileSize = 4096;

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0)
    return "unknown host";
  return name;
}

std::string HolderText(const std::string& program) {
  return "pid " + std::to_string(::getpid()) + "\nhost " + HostName() + "\nprogram " + program +
         "\n";
}

TLockHolder ParseHolder(const std::string& text) {
  TLockHolder holder;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos)
      continue;
    const std::string key = line.substr(0, blank);
    const std::string value = line.substr(blank + 1);
    if (key == "pid")
      holder.Pid = std::strtoll(value.c_str(), nullptr, 10);
    else if (key == "host")
      holder.Host = value;
    else if (key == "program")
      holder.Program = value;
  }
  return holder;
}

[[noreturn]] void ThrowFileError(int error, const std::string& what,
                                 const std::filesystem::path& file) {
  throw std::system_error(error, std::generic_category(), what + " " + file.string());
}

// The holder's lines, read through our own descriptor of the same file.
TLockHolder ReadHolder(int fd, const std::filesystem::path& file) {
  std::string text(kMaxLockFileSize, '\0');
  std::size_t filled = 0;
  while (filled < text.size()) {
    const ssize_t n =
        ::pread(fd, text.data() + filled, text.size() - filled, static_cast<off_t>(filled));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      ThrowFileError(errno, "cannot read the lock file", file);
    if (n == 0)
      break;
    filled += static_cast<std::size_t>(n);
  }
  text.resize(filled);
  return ParseHolder(text);
}

void WriteHolder(int fd, const std::string& text, const std::filesystem::path& file) {
  if (::ftruncate(fd, 0) != 0)
    ThrowFileError(errno, "cannot write the lock file", file);
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n =
        ::pwrite(fd, text.data() + written, text.size() - written, static_cast<off_t>(written));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      ThrowFileError(errno, "cannot write the lock file", file);
    written += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::string DescribeHolder(const TLockHolder& holder) {
  if (holder.Pid == 0)
    return "an unnamed process";
  std::string text = "process " + std::to_string(holder.Pid);
  std::string detail = holder.Program;
  if (!holder.Host.empty())
    detail += (detail.empty() ? "on " : " on ") + holder.Host;
  if (!detail.empty())
    text += " (" + detail + ")";
  return text;
}

std::string CurrentProgramName() {
  return program_invocation_short_name;
}

TDataFolderLock::TDataFolderLock(std::filesystem::path folder, std::string program)
    : Folder_(std::move(folder)), Program_(std::move(program)) {}

TDataFolderLock::~TDataFolderLock() {
  Unlock();
}

bool TDataFolderLock::TryLock() {
  if (Locked())
    return true;
  const std::filesystem::path file = FileName();
  // Close-on-exec: a command started by an alarm must not keep the folder
  // locked after the monitor has gone.
  TUniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd)
    ThrowFileError(errno, "cannot open the lock file", file);
  int result = 0;
  do {
    result = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    if (errno != EWOULDBLOCK)
      ThrowFileError(errno, "cannot lock", file);
    Holder_ = ReadHolder(fd.Get(), file);
    return false;
  }
  // A failure closes the descriptor, which lets the lock go again.
  WriteHolder(fd.Get(), HolderText(Program_), file);
  Fd_ = std::move(fd);
  Holder_.reset();
  return true;
}

void TDataFolderLock::Unlock() {
  if (!Locked())
    return;
  // Emptied while still held, so nobody reads our name after we have gone. A
  // failure leaves a stale name, which the next holder overwrites: the lock
  // itself ends with the close all the same.
  [[maybe_unused]] const int emptied = ::ftruncate(Fd_.Get(), 0);
  Fd_.Reset();
}

std::string TDataFolderLock::InUseMessage() const {
  return "The data folder " + Folder_.string() + " is in use by " +
         DescribeHolder(Holder_.value_or(TLockHolder{})) + ".";
}

}  // namespace vantrel
