#include "platform/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace vantrel {

namespace {

[[noreturn]] void Fail(const std::filesystem::path& folder, const std::string& why) {
  throw std::runtime_error(folder.string() + ": " + why);
}

}  // namespace

std::filesystem::path PrivateTempFolder(std::string_view name) {
  const char* tmp = std::getenv("TMPDIR");
  const std::filesystem::path base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  const std::filesystem::path folder =
      base / (std::string(name) + "-" + std::to_string(::getuid()));
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    Fail(folder, std::strerror(errno));
  // Checked through a descriptor of the folder itself, so that what is
  // checked is what is then used.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    Fail(folder, errno == ENOTDIR || errno == ELOOP ? "not a folder (a link or a file)"
                                                    : std::strerror(errno));
  struct stat info {};
  const bool ours = ::fstat(fd, &info) == 0 && info.st_uid == ::getuid();
  const bool closed = ours && ((info.st_mode & 0777) == 0700 || ::fchmod(fd, 0700) == 0);
  ::close(fd);
  if (!ours)
    Fail(folder, "the folder belongs to another user");
  if (!closed)
    Fail(folder, "cannot make the folder private");
  return folder;
}

std::string SafeFileName(std::string_view name, std::string_view fallback, std::size_t maxBytes) {
  std::string safe;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    safe += (c < 0x20 || c == 0x7F || c == '/' || c == '\\') ? '_' : ch;
  }
  if (safe.size() > maxBytes) {
    std::size_t cut = maxBytes;
    // Back to the start of a UTF-8 character.
    while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80)
      --cut;
    safe.resize(cut);
  }
  if (safe.empty())
    safe = fallback;
  // A leading dot would hide the file (or make it "." or "..").
  if (safe.front() == '.')
    safe.front() = '_';
  return safe;
}

}  // namespace vantrel
