#include "storage/private_document.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/private_folder.h"
#include "storage/atomic_file.h"

namespace vantrel {

std::filesystem::path WritePrivateDocument(std::string_view fileName, std::string_view text,
                                           std::string_view fallback) {
  // A long name is cut before its extension, which tells the desktop what
  // opens the document.
  const std::size_t dot = fileName.rfind('.');
  std::string_view extension;
  if (dot != std::string_view::npos && fileName.size() - dot <= 8 &&
      std::all_of(fileName.begin() + static_cast<std::ptrdiff_t>(dot) + 1, fileName.end(),
                  [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
    extension = fileName.substr(dot);
  const std::string name =
      SafeFileName(fileName.substr(0, fileName.size() - extension.size()), fallback) +
      std::string(extension);
  const std::filesystem::path path = PrivateTempFolder("vantrel") / name;
  TAtomicFile file(path.string(), TFilePermissions::Exactly(0600));
  file.Write(text);
  file.Commit();
  return path;
}

}  // namespace vantrel
